// Drawing into real windows of a private Xvfb, read back with GetImage.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "player.h"
#include "support/feed.h"
#include "support/test_display.h"

using namespace lumadec_test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTolerance = 12;  // colour conversion and bilinear scaling round a little

bool Near(const Pixel& p, const Rgb& c) {
    return std::abs(p.r - c.r) <= kTolerance && std::abs(p.g - c.g) <= kTolerance &&
           std::abs(p.b - c.b) <= kTolerance;
}
bool Black(const Pixel& p) {
    return p.r <= 2 && p.g <= 2 && p.b <= 2;
}

std::string Describe(const Pixel& p) {
    return "(" + std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + ")";
}

class Render : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("PULSE_SERVER", "unix:/nonexistent/lumadec-test", 1);
        server_ = new TestXServer();
        if (!server_->start(&serverError_)) {
            delete server_;
            server_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(server_, nullptr) << serverError_;
        setenv("DISPLAY", server_->display().c_str(), 1);
    }

    // The server runs the player's requests on its own connection: read back until the
    // condition holds or a second has passed.
    static bool captureUntil(TestWindow& window, const std::function<bool()>& condition) {
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        do {
            if (window.capture() && condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (Clock::now() < deadline);
        return false;
    }

    static void saveCapture(const TestWindow& window, const std::string& name) {
        if (const char* dir = std::getenv("LUMADEC_TEST_CAPTURE_DIR")) {
            window.savePpm(std::string(dir) + "/" + name + ".ppm");
        }
    }

    static TestXServer* server_;
    static std::string serverError_;
};

TestXServer* Render::server_ = nullptr;
std::string Render::serverError_;

std::vector<EncodedFrame> SolidStream(int width, int height, Rgb colour, int frames,
                                      bool hevc = false) {
    VideoStreamOptions options;
    options.hevc = hevc;
    options.width = width;
    options.height = height;
    options.frames = frames;
    options.keyFrameInterval = frames;
    options.colour = colour;
    return Video(options);
}

TEST_F(Render, SolidPictureWithBarsAboveAndBelow) {
    const Rgb colour{200, 40, 60};
    const auto stream = SolidStream(640, 360, colour, 8);
    TestWindow window(320, 240);
    ASSERT_TRUE(window.valid());
    const LumadecVideoDescription video = Description(640, 360);
    LumadecPlayer* player = LUMADEC_OpenPlayer(window.id(), &video, nullptr);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(Statistics(player).windowState, LUMADEC_WINDOW_DRAWING);
    for (const auto& frame : stream) {
        ASSERT_EQ(Write(player, frame), 0);
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_GE(s.framesDrawn, 8u - kMaxDecoderDelay);
    EXPECT_EQ(s.framesDrawn, s.framesDecoded);
    EXPECT_EQ(s.outputWidth, 320);
    EXPECT_EQ(s.outputHeight, 180);
    // The picture fills rows 30 to 209; rows 0 to 29 and 210 to 239 are bars.
    EXPECT_TRUE(captureUntil(window, [&] { return Near(window.at(160, 120), colour); }))
        << Describe(window.at(160, 120));
    for (int x : {0, 160, 319}) {
        EXPECT_TRUE(Black(window.at(x, 0))) << x << " " << Describe(window.at(x, 0));
        EXPECT_TRUE(Black(window.at(x, 29))) << x << " " << Describe(window.at(x, 29));
        EXPECT_TRUE(Near(window.at(x, 31), colour)) << x << " " << Describe(window.at(x, 31));
        EXPECT_TRUE(Near(window.at(x, 208), colour)) << x << " " << Describe(window.at(x, 208));
        EXPECT_TRUE(Black(window.at(x, 210))) << x << " " << Describe(window.at(x, 210));
        EXPECT_TRUE(Black(window.at(x, 239))) << x << " " << Describe(window.at(x, 239));
    }
    saveCapture(window, "letterbox");
    LUMADEC_ClosePlayer(player);
}

TEST_F(Render, NarrowPictureWithBarsLeftAndRight) {
    const Rgb colour{30, 160, 220};
    const auto stream = SolidStream(320, 240, colour, 8);
    TestWindow window(640, 360);
    const LumadecVideoDescription video = Description(320, 240);
    LumadecPlayer* player = LUMADEC_OpenPlayer(window.id(), &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (const auto& frame : stream) {
        ASSERT_EQ(Write(player, frame), 0);
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.outputWidth, 480);
    EXPECT_EQ(s.outputHeight, 360);
    // The picture fills columns 80 to 559.
    EXPECT_TRUE(captureUntil(window, [&] { return Near(window.at(320, 180), colour); }))
        << Describe(window.at(320, 180));
    for (int y : {0, 180, 359}) {
        EXPECT_TRUE(Black(window.at(0, y))) << Describe(window.at(0, y));
        EXPECT_TRUE(Black(window.at(79, y))) << Describe(window.at(79, y));
        EXPECT_TRUE(Near(window.at(81, y), colour)) << Describe(window.at(81, y));
        EXPECT_TRUE(Near(window.at(558, y), colour)) << Describe(window.at(558, y));
        EXPECT_TRUE(Black(window.at(560, y))) << Describe(window.at(560, y));
        EXPECT_TRUE(Black(window.at(639, y))) << Describe(window.at(639, y));
    }
    saveCapture(window, "pillarbox");
    LUMADEC_ClosePlayer(player);
}

TEST_F(Render, H265PictureIsDrawn) {
    const Rgb colour{60, 190, 70};
    const auto stream = SolidStream(320, 240, colour, 8, true);
    TestWindow window(320, 240);
    const LumadecVideoDescription video = Description(320, 240, true);
    LumadecPlayer* player = LUMADEC_OpenPlayer(window.id(), &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (const auto& frame : stream) {
        ASSERT_EQ(Write(player, frame), 0);
    }
    EXPECT_GE(Statistics(player).framesDrawn, 8u - kMaxDecoderDelay);
    EXPECT_TRUE(captureUntil(window, [&] {
        return Near(window.at(5, 5), colour) && Near(window.at(314, 234), colour);
    })) << Describe(window.at(5, 5));
    LUMADEC_ClosePlayer(player);
}

TEST_F(Render, FollowsTheWindowSize) {
    const Rgb colour{220, 200, 40};
    const auto stream = SolidStream(640, 360, colour, 30);
    TestWindow window(320, 240);
    const LumadecVideoDescription video = Description(640, 360);
    LumadecPlayer* player = LUMADEC_OpenPlayer(window.id(), &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(Write(player, stream[i]), 0);
    }
    EXPECT_EQ(Statistics(player).outputWidth, 320);
    window.resize(640, 240);
    for (int i = 10; i < 30; ++i) {
        ASSERT_EQ(Write(player, stream[i]), 0);
    }
    // 640x360 in 640x240: 427 wide (240 * 16 / 9), columns 106 to 532.
    const LumadecStatistics s = Statistics(player);
    EXPECT_EQ(s.outputWidth, 427);
    EXPECT_EQ(s.outputHeight, 240);
    EXPECT_TRUE(captureUntil(window,
                             [&] {
                                 return Near(window.at(320, 120), colour) &&
                                        Black(window.at(50, 120)) && Black(window.at(600, 120));
                             }))
        << Describe(window.at(320, 120)) << Describe(window.at(50, 120));
    LUMADEC_ClosePlayer(player);
}

TEST_F(Render, KeepsDecodingWhenTheWindowIsDestroyed) {
    VideoStreamOptions options;
    options.width = 640;
    options.height = 360;
    options.frames = 60;
    options.keyFrameInterval = 30;
    options.content = Content::Moving;
    const auto stream = Video(options);
    auto window = std::make_unique<TestWindow>(320, 180);
    const LumadecVideoDescription video = Description(640, 360);
    LumadecPlayer* player = LUMADEC_OpenPlayer(window->id(), &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(Write(player, stream[i]), 0);
    }
    EXPECT_GE(Statistics(player).framesDrawn, 20u - kMaxDecoderDelay);
    window->destroy();
    for (int i = 20; i < 60; ++i) {
        ASSERT_EQ(Write(player, stream[i]), 0);
    }
    const LumadecStatistics s = Statistics(player);
    EXPECT_GE(s.framesDecoded, 60u - kMaxDecoderDelay);
    EXPECT_LE(s.framesDrawn, 22u);  // at most the pictures drawn before the news arrived
    EXPECT_EQ(s.windowState, LUMADEC_WINDOW_GONE);
    EXPECT_EQ(s.outputWidth, 0);
    EXPECT_EQ(s.decodeErrors, 0u);
    EXPECT_EQ(LUMADEC_ClosePlayer(player), 0);
}

TEST_F(Render, UnknownWindowMeansDecodeOnly) {
    const auto stream = SolidStream(320, 240, Rgb{1, 2, 3}, 5);
    const LumadecVideoDescription video = Description(320, 240);
    for (uint64_t id : {uint64_t{0x1ffffff0}, uint64_t{1} << 40}) {
        LumadecPlayer* player = LUMADEC_OpenPlayer(id, &video, nullptr);
        ASSERT_NE(player, nullptr);
        for (const auto& frame : stream) {
            ASSERT_EQ(Write(player, frame), 0);
        }
        const LumadecStatistics s = Statistics(player);
        EXPECT_EQ(s.windowState, LUMADEC_WINDOW_NONE);
        EXPECT_GE(s.framesDecoded, 5u - kMaxDecoderDelay);
        EXPECT_EQ(s.framesDrawn, 0u);
        LUMADEC_ClosePlayer(player);
    }
}

TEST_F(Render, DrawsThroughPutImageWithoutSharedMemory) {
    const Rgb colour{120, 60, 200};
    const auto stream = SolidStream(640, 360, colour, 6);
    TestWindow window(322, 182);  // an odd row length
    for (auto transfer :
         {lumadec::ImageTransfer::PutImageOnly, lumadec::ImageTransfer::SharedMemory}) {
        lumadec::PlayerOptions options;
        options.window = window.id();
        options.transfer = transfer;
        auto player = lumadec::Player::create(std::move(options));
        ASSERT_TRUE(player);
        LumadecStatistics s{};
        player->getStatistics(s);
        EXPECT_EQ(s.windowState, LUMADEC_WINDOW_DRAWING);
        EXPECT_EQ(s.sharedMemory, 0);  // nothing drawn yet
        for (const auto& frame : stream) {
            ASSERT_EQ(
                player->writeFrame(frame.type, frame.data.data(),
                                   static_cast<int32_t>(frame.data.size()), lumadec::Clock::now()),
                0);
            ASSERT_TRUE(WaitFor([&] {
                player->getStatistics(s);
                return s.framesPending == 0;
            }));
        }
        EXPECT_EQ(s.sharedMemory, transfer == lumadec::ImageTransfer::SharedMemory ? 1 : 0);
        EXPECT_EQ(s.outputWidth, 322);
        EXPECT_EQ(s.outputHeight, 181);
        EXPECT_TRUE(captureUntil(window, [&] {
            return Near(window.at(1, 1), colour) && Near(window.at(320, 180), colour) &&
                   Black(window.at(160, 181));
        })) << Describe(window.at(320, 180));
        // Paint it black again for the next round.
        window.resize(322, 182);
    }
}

TEST_F(Render, TwoPlayersOnTwoThreads) {
    const Rgb colours[2] = {{210, 30, 30}, {30, 30, 210}};
    const std::vector<EncodedFrame> streams[2] = {SolidStream(320, 180, colours[0], 20),
                                                  SolidStream(320, 180, colours[1], 20)};
    TestWindow first(320, 180, 0, 0);
    TestWindow second(320, 180, 400, 0);
    TestWindow* windows[2] = {&first, &second};
    LumadecStatistics results[2] = {};
    std::thread threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i] = std::thread([&, i] {
            const LumadecVideoDescription video = Description(320, 180);
            LumadecPlayer* player = LUMADEC_OpenPlayer(windows[i]->id(), &video, nullptr);
            if (player == nullptr) {
                return;
            }
            for (const auto& frame : streams[i]) {
                Write(player, frame);
            }
            LUMADEC_GetStatistics(player, &results[i]);
            LUMADEC_ClosePlayer(player);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < 2; ++i) {
        EXPECT_GE(results[i].framesDrawn, 20u - kMaxDecoderDelay);
        EXPECT_TRUE(
            captureUntil(*windows[i], [&] { return Near(windows[i]->at(160, 90), colours[i]); }))
            << i << " " << Describe(windows[i]->at(160, 90));
    }
}

TEST_F(Render, MovingPictureChangesInTheWindow) {
    VideoStreamOptions options;
    options.width = 1280;
    options.height = 720;
    options.frames = 30;
    options.keyFrameInterval = 30;
    options.content = Content::Moving;
    const auto stream = Video(options);
    TestWindow window(640, 400);
    const LumadecVideoDescription video = Description(1280, 720);
    LumadecPlayer* player = LUMADEC_OpenPlayer(window.id(), &video, nullptr);
    ASSERT_NE(player, nullptr);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(Write(player, stream[i]), 0);
    }
    ASSERT_TRUE(captureUntil(window, [&] { return !Black(window.at(320, 200)); }));
    std::vector<Pixel> before;
    for (int x = 0; x < 640; x += 7) {
        before.push_back(window.at(x, 200));
    }
    for (int i = 10; i < 30; ++i) {
        ASSERT_EQ(Write(player, stream[i]), 0);
    }
    // 1280x720 in 640x400: 640x360 from row 20.
    EXPECT_TRUE(captureUntil(window, [&] {
        int changed = 0;
        for (int x = 0, k = 0; x < 640; x += 7, ++k) {
            const Pixel p = window.at(x, 200);
            changed += p.r != before[k].r || p.g != before[k].g || p.b != before[k].b;
        }
        return changed > 20 && Black(window.at(320, 10)) && Black(window.at(320, 390));
    }));
    saveCapture(window, "moving");
    LUMADEC_ClosePlayer(player);
}

}  // namespace
