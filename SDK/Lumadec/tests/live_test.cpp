// Staying live: the queue's drop rule on its own, the choice of decoder threads, and a player
// whose pictures take longer to show than the stream leaves them, against one that keeps up.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "decoder_load.h"
#include "frame_queue.h"
#include "player.h"
#include "support/feed.h"

using namespace lumadec_test;
using lumadec::Clock;
using lumadec::LiveFrameQueue;
using lumadec::QueuedFrame;
using namespace std::chrono_literals;

namespace {

// What a queue holds, in order: 'K' for a key frame, 'P' for another, '|' before a frame that
// follows dropped ones. Takes everything out.
std::string Drain(LiveFrameQueue& queue) {
    std::string order;
    // Once a frame is taken, pending() counts it until the next Pop.
    for (size_t taken = 0; queue.pending() > taken; taken = 1) {
        QueuedFrame frame;
        if (!queue.pop(frame)) {
            break;
        }
        order += std::string(frame.afterGap ? "|" : "") + (frame.keyFrame ? "K" : "P");
    }
    return order;
}

TEST(LiveFrameQueue, DropsWholeGroupsOfPicturesOnceFramesWaitTooLong) {
    const uint8_t bytes[] = {9, 9, 9, 9};
    const auto start = Clock::now();
    auto at = [&](int milliseconds) { return start + std::chrono::milliseconds(milliseconds); };
    using Admission = LiveFrameQueue::Admission;

    // In time: everything is kept, in order.
    LiveFrameQueue queue(lumadec::VideoCodec::H264, {60ms, 32});
    EXPECT_EQ(queue.push(bytes, 4, true, at(0)), Admission::Queued);
    EXPECT_EQ(queue.push(bytes, 4, false, at(20)), Admission::Queued);
    EXPECT_EQ(queue.push(bytes, 4, false, at(40)), Admission::Queued);
    EXPECT_EQ(Drain(queue), "KPP");

    // Late with a key frame queued: what comes before it goes, the key frame starts afresh.
    LiveFrameQueue late(lumadec::VideoCodec::H264, {60ms, 32});
    late.push(bytes, 4, false, at(0));
    late.push(bytes, 4, false, at(20));
    late.push(bytes, 4, true, at(40));
    late.push(bytes, 4, false, at(50));
    EXPECT_EQ(late.push(bytes, 4, false, at(70)), Admission::Queued);
    EXPECT_EQ(late.dropped(), 2u);
    EXPECT_EQ(Drain(late), "|KPP");

    // Late with no key frame queued: everything goes, and so does what follows up to the next
    // key frame, which is kept.
    LiveFrameQueue lost(lumadec::VideoCodec::H264, {60ms, 32});
    lost.push(bytes, 4, true, at(0));
    lost.push(bytes, 4, false, at(20));
    EXPECT_EQ(lost.push(bytes, 4, false, at(70)), Admission::Dropped);
    EXPECT_EQ(lost.push(bytes, 4, false, at(71)), Admission::Dropped);
    EXPECT_EQ(lost.dropped(), 4u);
    EXPECT_EQ(lost.push(bytes, 4, true, at(72)), Admission::Queued);
    EXPECT_EQ(lost.push(bytes, 4, false, at(73)), Admission::Queued);
    EXPECT_EQ(Drain(lost), "|KP");

    // Young frames are late too when the decoder's time for them adds up past the limit.
    LiveFrameQueue slow(lumadec::VideoCodec::H264, {60ms, 32});
    slow.setFrameCost(25ms);
    slow.push(bytes, 4, true, at(0));
    EXPECT_EQ(slow.push(bytes, 4, false, at(1)), Admission::Queued);   // 50 ms to go
    EXPECT_EQ(slow.push(bytes, 4, false, at(2)), Admission::Dropped);  // 75 ms: behind
    EXPECT_EQ(slow.dropped(), 3u);

    // A full queue counts as late, however young its frames.
    LiveFrameQueue full(lumadec::VideoCodec::H264, {60ms, 4});
    for (int i = 0; i < 4; ++i) {
        full.push(bytes, 4, i == 0, at(i));
    }
    EXPECT_EQ(full.push(bytes, 4, false, at(5)), Admission::Dropped);
    EXPECT_EQ(full.dropped(), 5u);
    EXPECT_EQ(full.pending(), 0u);
}

TEST(LiveFrameQueue, AnUnmarkedRandomAccessPictureIsAKeyFrameToo) {
    const uint8_t idr[] = {0, 0, 0, 1, 0x65, 0x88, 0x80};
    const uint8_t other[] = {0, 0, 0, 1, 0x41, 0x9a, 0x02};
    const auto start = Clock::now();
    LiveFrameQueue queue(lumadec::VideoCodec::H264, {60ms, 32});
    queue.push(other, sizeof other, false, start);
    EXPECT_EQ(queue.push(other, sizeof other, false, start + 100ms),
              LiveFrameQueue::Admission::Dropped);
    EXPECT_EQ(queue.push(idr, sizeof idr, false, start + 110ms), LiveFrameQueue::Admission::Queued);
    EXPECT_EQ(Drain(queue), "|K");
}

TEST(DecoderLoad, BehindRelaxedAndWhenFrameThreadsHelp) {
    const auto start = Clock::now();
    // A 60 fps stream whose frames each take `busy`.
    auto measured = [&](int processors, std::chrono::microseconds busy) {
        lumadec::DecoderLoad load(processors);
        for (size_t i = 0; i < lumadec::DecoderLoad::kFrames; ++i) {
            EXPECT_FALSE(load.behind() || load.relaxed()) << "decided after " << i << " frames";
            load.noteFrame(start + i * 16667us, i % 30 == 0, busy);
        }
        return load;
    };
    const auto easy = measured(2, 5000us);  // 30 % of a frame's time
    EXPECT_TRUE(easy.relaxed());
    EXPECT_FALSE(easy.behind());
    const auto fair = measured(2, 10000us);  // 60 %
    EXPECT_FALSE(fair.relaxed());
    EXPECT_FALSE(fair.behind());
    auto hard = measured(2, 15000us);  // 90 %
    EXPECT_TRUE(hard.behind());
    EXPECT_TRUE(hard.frameThreadsWanted());
    EXPECT_FALSE(measured(1, 30000us).frameThreadsWanted());  // nothing to spread over

    // A drop is behind at once; a reset forgets it and the measurements.
    hard.reset();
    EXPECT_FALSE(hard.behind());
    hard.noteDrop();
    EXPECT_TRUE(hard.behind());
    EXPECT_FALSE(hard.relaxed());
}

// Shows pictures after a set time, as a slow decoder or display would, and keeps what it was
// shown: each picture's frame (by its arrival) and whether it was a key frame.
class RecordingOutput final : public lumadec::PictureOutput {
  public:
    struct Shown {
        int64_t arrivalUs;
        bool keyFrame;
        Clock::time_point began;  // when the player handed it over
        Clock::time_point at;     // when it was shown
    };

    // The first `slowPictures` pictures take `showTime` each, the others none.
    explicit RecordingOutput(std::chrono::milliseconds showTime, size_t slowPictures = SIZE_MAX)
        : showTime_(showTime), slowPictures_(slowPictures) {}

    bool draw(const AVFrame& picture) override {
        const Clock::time_point began = Clock::now();
        if (draws_++ < slowPictures_) {
            std::this_thread::sleep_for(showTime_);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        shown_.push_back({picture.pts, picture.key_frame != 0, began, Clock::now()});
        return true;
    }
    lumadec::Rect output() const override { return {0, 0, 16, 9}; }
    bool windowGone() const override { return false; }
    bool sharedMemory() const override { return false; }

    std::vector<Shown> shown() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_;
    }

  private:
    const std::chrono::milliseconds showTime_;
    const size_t slowPictures_;
    size_t draws_ = 0;  // only the decoding thread draws
    mutable std::mutex mutex_;
    std::vector<Shown> shown_;
};

struct Fed {
    std::vector<int64_t> arrivalsUs;  // of the video frames, in the order written
    std::vector<bool> keyFrames;
    Clock::duration longestWrite{};
    Clock::duration allWrites{};
    int audioWritten = 0;
};

// Writes the video at `framesPerSecond`, as it arrives from a device, with an audio frame after
// every third picture.
Fed FeedLive(lumadec::Player& player, const std::vector<EncodedFrame>& video,
             const std::vector<EncodedFrame>& audio, int framesPerSecond) {
    Fed fed;
    const auto start = Clock::now();
    for (size_t i = 0; i < video.size(); ++i) {
        std::this_thread::sleep_until(start + i * 1000000us / framesPerSecond);
        const EncodedFrame& frame = video[i];
        const auto before = Clock::now();
        EXPECT_EQ(player.writeFrame(frame.type, frame.data.data(),
                                    static_cast<int32_t>(frame.data.size()), before),
                  0);
        const auto took = Clock::now() - before;
        fed.longestWrite = std::max(fed.longestWrite, took);
        fed.allWrites += took;
        fed.arrivalsUs.push_back(lumadec::ClockMicroseconds(before));
        fed.keyFrames.push_back(frame.type == 1);
        if (i % 3 == 2 && static_cast<size_t>(fed.audioWritten) < audio.size()) {
            const EncodedFrame& sound = audio[static_cast<size_t>(fed.audioWritten++)];
            player.writeFrame(sound.type, sound.data.data(),
                              static_cast<int32_t>(sound.data.size()), Clock::now());
        }
    }
    return fed;
}

LumadecStatistics StatisticsWhenDone(const lumadec::Player& player) {
    LumadecStatistics s{};
    EXPECT_TRUE(WaitFor([&] {
        player.getStatistics(s);
        return s.framesPending == 0;
    }));
    return s;
}

class Live : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        setenv("PULSE_SERVER", "unix:/nonexistent/lumadec-test", 1);
        VideoStreamOptions options;
        options.width = 160;
        options.height = 90;
        options.framesPerSecond = 60;
        options.frames = 180;
        options.keyFrameInterval = 30;
        options.content = Content::Moving;
        video_ = Video(options);
        std::string error;
        audio_ = EncodeAac(48000, 2, 60, &error);
        ASSERT_EQ(audio_.size(), 60u) << error;
    }

    std::unique_ptr<lumadec::Player> open(std::unique_ptr<RecordingOutput> recording,
                                          lumadec::PlayerOptions options = {}) {
        options.width = 160;
        options.height = 90;
        options.audio = true;
        options.output = std::move(recording);
        return lumadec::Player::create(std::move(options));
    }

    std::vector<EncodedFrame> video_;
    std::vector<EncodedFrame> audio_;
};

TEST_F(Live, ASlowDecoderDropsWholeGroupsOfPicturesAndStaysLive) {
    // Half the pictures of a 60 fps stream at most, and every picture drawn however late: as far
    // as the queue can tell, a decoder that takes 30 ms a picture.
    auto recording = std::make_unique<RecordingOutput>(30ms);
    RecordingOutput* output = recording.get();
    lumadec::PlayerOptions options;
    options.queue.maxDelay = 120ms;
    options.maxDrawDelay = std::chrono::hours(1);
    auto player = open(std::move(recording), std::move(options));
    ASSERT_TRUE(player);
    const Fed fed = FeedLive(*player, video_, audio_, 60);
    const LumadecStatistics s = StatisticsWhenDone(*player);
    const auto shown = output->shown();

    // The writer never waited for the decoder.
    EXPECT_LT(fed.longestWrite, 100ms);
    EXPECT_LT(fed.allWrites, 500ms);
    // What was shown was never far behind its arrival; without the drops it would have been
    // more than a second behind by the end.
    ASSERT_FALSE(shown.empty());
    for (const auto& picture : shown) {
        EXPECT_LT(picture.at - lumadec::FromClockMicroseconds(picture.arrivalUs), 400ms);
    }
    // Pictures were dropped in whole groups: after every gap the next picture shown is a key
    // frame, and within a group nothing is skipped.
    EXPECT_GT(s.framesDropped, 0u);
    size_t next = 0;
    for (const auto& picture : shown) {
        const auto frame = static_cast<size_t>(
            std::find(fed.arrivalsUs.begin(), fed.arrivalsUs.end(), picture.arrivalUs) -
            fed.arrivalsUs.begin());
        ASSERT_LT(frame, fed.arrivalsUs.size()) << "a picture of no written frame";
        ASSERT_GE(frame, next) << "out of order";
        if (frame != next) {
            EXPECT_TRUE(fed.keyFrames[frame]) << "shown after a gap: frame " << frame;
            EXPECT_TRUE(picture.keyFrame);
        }
        next = frame + 1;
    }
    // Audio is never dropped for the video's sake; the counts add up (frame threads, which the
    // player may have turned to, keep their last pictures).
    EXPECT_EQ(s.audioFramesDecoded, static_cast<uint64_t>(fed.audioWritten));
    EXPECT_EQ(s.framesReceived, video_.size());
    EXPECT_EQ(s.framesDecoded, shown.size());
    EXPECT_EQ(s.framesDrawn, shown.size());
    const uint64_t accounted = s.framesDropped + s.framesDecoded + s.decodeErrors;
    const uint64_t heldBack = s.frameThreading != 0 ? s.decoderThreads - 1 : 0;
    EXPECT_LE(accounted, video_.size());
    EXPECT_GE(accounted + heldBack, video_.size());
}

TEST_F(Live, AfterAHoldUpLatePicturesAreNotDrawnAndDecodingCatchesUp) {
    // The first ten pictures take 60 ms each to show (a busy moment), the rest nothing.
    auto recording = std::make_unique<RecordingOutput>(60ms, 10);
    RecordingOutput* output = recording.get();
    auto player = open(std::move(recording));
    ASSERT_TRUE(player);
    const Fed fed = FeedLive(*player, video_, audio_, 60);
    const LumadecStatistics s = StatisticsWhenDone(*player);
    const auto shown = output->shown();
    // Nothing was handed over to be drawn older than the limit (give or take the scheduling of a
    // loaded machine; without the limit, the tenth picture would be handed over 400 ms late) ...
    for (const auto& picture : shown) {
        EXPECT_LT(picture.began - lumadec::FromClockMicroseconds(picture.arrivalUs), 150ms + 100ms);
    }
    // ... the late ones were decoded but not drawn, no frame was dropped undecoded, and the
    // picture went on within the same group of pictures: the last second is shown whole (up to
    // the pictures that frame threads, should the hold-up have made the player turn to them,
    // keep back at the end).
    const uint64_t heldBack = s.frameThreading != 0 ? s.decoderThreads - 1 : 0;
    EXPECT_GT(s.framesDropped, 0u);
    EXPECT_EQ(s.framesDecoded + heldBack, video_.size());
    EXPECT_EQ(s.framesDrawn + s.framesDropped + heldBack, video_.size());
    ASSERT_GE(shown.size(), 60u);
    const size_t out = video_.size() - heldBack;
    for (size_t i = 0; i < 60; ++i) {
        EXPECT_EQ(shown[shown.size() - 60 + i].arrivalUs, fed.arrivalsUs[out - 60 + i]);
    }
}

TEST_F(Live, ADecoderThatKeepsUpDropsNothingAndHoldsNoPictureBack) {
    // Each picture is out by the time the decoder has done with its frame.
    auto recording = std::make_unique<RecordingOutput>(0ms);
    RecordingOutput* output = recording.get();
    auto stepped = open(std::move(recording));
    ASSERT_TRUE(stepped);
    for (size_t i = 0; i < 30; ++i) {
        const EncodedFrame& frame = video_[i];
        ASSERT_EQ(stepped->writeFrame(frame.type, frame.data.data(),
                                      static_cast<int32_t>(frame.data.size()), Clock::now()),
                  0);
        StatisticsWhenDone(*stepped);
        ASSERT_EQ(output->shown().size(), i + 1);
    }

    // At the stream's pace, every frame is shown, in order. (With the limits a loaded machine's
    // scheduling cannot reach: what is tested is that keeping up drops nothing.)
    recording = std::make_unique<RecordingOutput>(0ms);
    output = recording.get();
    lumadec::PlayerOptions relaxed;
    relaxed.maxDrawDelay = 2s;
    relaxed.queue.maxDelay = 2s;
    auto player = open(std::move(recording), std::move(relaxed));
    ASSERT_TRUE(player);
    const Fed fed = FeedLive(*player, video_, audio_, 60);
    const LumadecStatistics s = StatisticsWhenDone(*player);
    const auto shown = output->shown();
    ASSERT_EQ(shown.size(), video_.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].arrivalUs, fed.arrivalsUs[i]) << "picture " << i;
    }
    EXPECT_EQ(s.framesDropped, 0u);
    EXPECT_EQ(s.frameThreading, 0);
    EXPECT_EQ(s.framesDecoded, video_.size());
    EXPECT_EQ(s.audioFramesDecoded, static_cast<uint64_t>(fed.audioWritten));
    EXPECT_GT(s.delayMaxUs, 0u);
    EXPECT_GE(s.delayMaxUs, s.delayP95Us);
    EXPECT_GE(s.delayP95Us, s.delayP50Us);
    EXPECT_NE(s.firstPictureTimeUs, 0u);
}

}  // namespace
