// Firmware upload against the fake device: wire bytes, events, refusals, failing devices, and the
// session's lifetime while an upload runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "Korvex.h"
#include "fake_device.h"
#include "platform.h"
#include "send_limit.h"
#include "test_platform.h"
#include "upgrade.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::FakeDevice;
using test::OkResponse;
using test::RawSocket;
using test::Reply;
using test::WaitUntil;
using Clock = std::chrono::steady_clock;

constexpr int32_t kNoPercent = -1;

struct Event {
    int32_t code;
    int32_t percent;  // for progress events
    bool operator==(const Event& other) const {
        return code == other.code && percent == other.percent;
    }
};

void PrintTo(const Event& event, std::ostream* out) {
    *out << event.code;
    if (event.percent != kNoPercent) {
        *out << "(" << event.percent << "%)";
    }
}

const Event kStarted{KORVEX_UPGRADE_STARTED, kNoPercent};
const Event kSent{KORVEX_UPGRADE_SENT, kNoPercent};
const Event kSucceeded{KORVEX_UPGRADE_SUCCEEDED, kNoPercent};
const Event kFailed{KORVEX_UPGRADE_FAILED, kNoPercent};
Event Progress(int32_t percent) {
    return {KORVEX_UPGRADE_PROGRESS, percent};
}

// The session's callback: records every event and runs `inside` (set before the upload starts)
// within the callback, on the upload thread.
class Recorder {
  public:
    static void onEvent(KorvexSession* session, int32_t event, void* data, void* user) {
        auto* self = static_cast<Recorder*>(user);
        int32_t percent =
            event == KORVEX_UPGRADE_PROGRESS ? *static_cast<int32_t*>(data) : kNoPercent;
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->events_.push_back({event, percent});
        }
        if (self->inside) {
            self->inside(session, event);
        }
    }

    std::function<void(KorvexSession*, int32_t)> inside;

    std::vector<Event> events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    size_t count(int32_t code) const {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (const Event& event : events_) {
            n += event.code == code ? 1 : 0;
        }
        return n;
    }
    bool waitFor(int32_t code, std::chrono::milliseconds timeout) const {
        return WaitUntil([&] { return count(code) > 0; }, timeout);
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
};

KorvexSession* LoginTo(int port, Recorder& recorder) {
    KorvexLoginInfo info{};
    std::snprintf(info.host, sizeof info.host, "127.0.0.1");
    info.port = port;
    return KORVEX_Login(&info, &Recorder::onEvent, &recorder);
}

struct SessionDeleter {
    void operator()(KorvexSession* session) const { KORVEX_Logout(session); }
};
using SessionPtr = std::unique_ptr<KorvexSession, SessionDeleter>;

// A file in the test's temporary folder, removed at the end.
class TempFile {
  public:
    explicit TempFile(const std::string& contents) : path_(newPath()) {
        std::ofstream(path_, std::ios::binary) << contents;
    }
    // A sparse file: large without costing disk space; reads as zeros.
    static TempFile sparse(uint64_t size) {
        TempFile file("");
        std::filesystem::resize_file(file.path_, size);
        return file;
    }
    TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    ~TempFile() {
        if (!path_.empty()) {
            std::filesystem::remove(path_);
        }
    }
    const char* path() const { return path_.c_str(); }

  private:
    static std::string newPath() {
        static std::atomic<int> counter{0};
        return testing::TempDir() + "korvex_upgrade_" + std::to_string(test::ProcessId()) + "_" +
               std::to_string(counter++) + ".bin";
    }
    std::string path_;
};

// Bytes without a period, so that a lost or repeated piece anywhere shows.
std::string RandomBytes(size_t count) {
    std::mt19937 generator(static_cast<unsigned>(count));
    std::string bytes(count, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xff);
    }
    return bytes;
}

std::string Header(uint64_t length) {
    return "UPGRADE HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCONTENT-LENGTH:" + std::to_string(length) +
           "\r\n\r\n";
}

// Device side: reads until `enough` holds for what came, the client closes, or the deadline.
std::string ReadUntil(RawSocket socket, const std::function<bool(const std::string&)>& enough,
                      std::chrono::milliseconds timeout) {
    std::string received;
    auto deadline = Clock::now() + timeout;
    while (!enough(received) && Clock::now() < deadline) {
        pollfd wait{socket, POLLIN, 0};
        if (test::PollSockets(&wait, 1, 50) <= 0) {
            continue;
        }
        char buffer[65536];
        long count = test::ReceiveBytes(socket, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        received.append(buffer, static_cast<size_t>(count));
    }
    return received;
}

UpgradeTimeouts QuickVerdict(int verdictMs) {
    UpgradeTimeouts timeouts;
    timeouts.verdictMs = verdictMs;
    return timeouts;
}

TEST(Upgrade, SendsHeaderThenTheFileInChunksWithProgress) {
    FakeDevice device;
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    const std::string image = RandomBytes(40000);
    TempFile file(image);
    ASSERT_EQ(KORVEX_Upgrade(session.get(), file.path()), 0);
    ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_SUCCEEDED, 5s));
    ASSERT_TRUE(device.waitForClosedConnections(1, 2s));
    // No CHN line; the body is the file, unchanged. Progress after 16384, 32768 and 40000 bytes.
    EXPECT_EQ(device.requests()[0], Header(40000) + image);
    EXPECT_EQ(recorder.events(), (std::vector<Event>{kStarted, Progress(40), Progress(81),
                                                     Progress(100), kSent, kSucceeded}));
}

TEST(Upgrade, EmptyFileSendsOnlyTheHeaderAndAwaitsTheVerdict) {
    FakeDevice device;
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    TempFile file("");
    ASSERT_EQ(KORVEX_Upgrade(session.get(), file.path()), 0);
    ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_SUCCEEDED, 5s));
    EXPECT_EQ(device.requests()[0], Header(0));
    EXPECT_EQ(recorder.events(), (std::vector<Event>{kStarted, kSent, kSucceeded}));
}

TEST(Upgrade, ImagesPastFourGibibytesAnnounceTheirWholeLength) {
    FakeDevice device;
    std::mutex mutex;
    std::string header;
    Reply reply;
    reply.waitForRequest = false;
    reply.then = [&](RawSocket socket, const std::string&) {
        std::string start = ReadUntil(
            socket, [](const std::string& in) { return in.find("\r\n\r\n") != in.npos; }, 5s);
        std::lock_guard<std::mutex> lock(mutex);
        header = start.substr(0, start.find("\r\n\r\n") + 4);
    };  // then the device hangs up: the upload fails, which is all this test needs
    device.script(reply);
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    const uint64_t length = (5ull << 30) + 7;
    TempFile file = TempFile::sparse(length);
    ASSERT_EQ(KORVEX_Upgrade(session.get(), file.path()), 0);
    ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_FAILED, 10s));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(header, Header(length));
}

TEST(Upgrade, RefusedWithoutEventsOrTrafficForNoSessionAndNoRegularFile) {
    FakeDevice device;
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    TempFile file("image");
    EXPECT_EQ(KORVEX_Upgrade(nullptr, file.path()), -2);
    EXPECT_EQ(KORVEX_Upgrade(session.get(), (std::string(file.path()) + ".missing").c_str()), -1);
    EXPECT_EQ(KORVEX_Upgrade(session.get(), nullptr), -1);
    EXPECT_EQ(KORVEX_Upgrade(session.get(), ""), -1);
    EXPECT_EQ(KORVEX_Upgrade(session.get(), testing::TempDir().c_str()), -1);  // a directory
    EXPECT_EQ(KORVEX_Upgrade(session.get(), test::DevicePath()), -1);          // no file
    EXPECT_TRUE(recorder.events().empty());
    EXPECT_EQ(device.connectionCount(), 0u);
}

TEST(Upgrade, PathIsKeptWhole) {
    // A path past 127 bytes whose first 127 bytes name another existing file.
    const std::string folder =
        testing::TempDir() + "korvex_upgrade_long_" + std::to_string(test::ProcessId()) + "/";
    std::filesystem::create_directories(folder);
    std::string decoy = folder + std::string(127 - folder.size(), 'p');
    std::string real = decoy + "-the-real-image.bin";
    std::ofstream(decoy, std::ios::binary) << "wrong image";
    std::ofstream(real, std::ios::binary) << "right image";

    FakeDevice device;
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    ASSERT_EQ(KORVEX_Upgrade(session.get(), real.c_str()), 0);
    EXPECT_TRUE(recorder.waitFor(KORVEX_UPGRADE_SUCCEEDED, 5s));
    std::filesystem::remove_all(folder);
    EXPECT_EQ(device.requests()[0], Header(11) + "right image");
}

TEST(Upgrade, PathWithALetterOutsideAsciiIsTakenInTheLocalCodePage) {
    // 0xE9 is "\u00e9" in Latin-1 and in Windows' Western code page. The file is made through the
    // C library's narrow open, which reads a path as the system's narrow functions do.
    const std::string path =
        testing::TempDir() + "korvex_upgrade_caf\xe9_" + std::to_string(test::ProcessId()) + ".bin";
    std::ofstream(path, std::ios::binary) << "image";
    FakeDevice device;
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    ASSERT_EQ(KORVEX_Upgrade(session.get(), path.c_str()), 0);
    EXPECT_TRUE(recorder.waitFor(KORVEX_UPGRADE_SUCCEEDED, 5s));
    std::remove(path.c_str());
    EXPECT_EQ(device.requests()[0], Header(5) + "image");
}

// The platform's files on their own: a regular file opens with its size and reads to its end; a
// directory, a device and a missing path neither count as a file nor open.
TEST(UpgradeFile, RegularFilesReadToTheirEndOtherPathsDoNotOpen) {
    const std::string image = RandomBytes(40000);
    TempFile file(image);
    EXPECT_TRUE(IsRegularFile(file.path()));
    InputFile input;
    ASSERT_TRUE(input.open(file.path()));
    EXPECT_FALSE(input.open(file.path()));  // one file per object
    EXPECT_EQ(input.size(), 40000);
    char buffer[kUpgradeBufferSize];
    std::string read;
    for (long count; (count = input.read(buffer, sizeof buffer)) > 0;) {
        read.append(buffer, static_cast<size_t>(count));
    }
    EXPECT_TRUE(read == image);
    EXPECT_EQ(input.read(buffer, sizeof buffer), 0);

    for (const std::string& other : {testing::TempDir(), std::string(test::DevicePath()),
                                     std::string(file.path()) + ".missing", std::string()}) {
        EXPECT_FALSE(IsRegularFile(other.c_str())) << other;
        InputFile none;
        EXPECT_FALSE(none.open(other.c_str())) << other;
        EXPECT_EQ(none.size(), -1);
        EXPECT_EQ(none.read(buffer, sizeof buffer), -1);
    }
    EXPECT_FALSE(IsRegularFile(nullptr));
    EXPECT_FALSE(InputFile().open(nullptr));
}

// A path that turned into a FIFO after it was checked is refused at once: opening it for reading
// must not wait for a writer, which would hold the upload thread for good.
TEST(UpgradeFile, AFifoIsRefusedWithoutWaitingForAWriter) {
    const std::string path =
        testing::TempDir() + "korvex_upgrade_fifo_" + std::to_string(test::ProcessId());
    if (!test::MakeFifo(path)) {
        GTEST_SKIP() << "POSIX only: there are no FIFOs in Windows' file system";
    }
    EXPECT_FALSE(IsRegularFile(path.c_str()));
    auto opened = std::async(std::launch::async, [&] { return InputFile().open(path.c_str()); });
    const bool returned = opened.wait_for(2s) == std::future_status::ready;
    if (!returned) {
        std::ofstream writer(path);  // lets the hanging open return, so that the test can end
    }
    EXPECT_TRUE(returned);
    EXPECT_FALSE(opened.get());
    std::remove(path.c_str());
}

TEST(Upgrade, OneUploadPerSessionAtATimeAlsoFromItsOwnVerdictCallback) {
    FakeDevice device;
    Reply slow;
    slow.chunks = {{300, OkResponse()}};
    device.script(slow);
    device.script(Answer("HDMI/1.0 500 Busy\r\nCONTENT-LENGTH:0\r\n\r\n"));
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    TempFile file(RandomBytes(20000));
    std::vector<int> fromCallback;  // written on the upload thread, read after it finished
    recorder.inside = [&](KorvexSession* s, int32_t event) {
        if (event == KORVEX_UPGRADE_SUCCEEDED || event == KORVEX_UPGRADE_FAILED) {
            fromCallback.push_back(KORVEX_Upgrade(s, file.path()));
        }
    };
    auto finished = [&] { return session->upgradeTask->finished.load(); };

    ASSERT_EQ(KORVEX_Upgrade(session.get(), file.path()), 0);
    ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_SENT, 5s));
    EXPECT_EQ(KORVEX_Upgrade(session.get(), file.path()), -1);  // waiting for the verdict
    ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_SUCCEEDED, 5s));
    ASSERT_TRUE(WaitUntil(finished, 5s));
    // The finished task is released by the next upload, which runs in full.
    ASSERT_EQ(KORVEX_Upgrade(session.get(), file.path()), 0);
    ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_FAILED, 5s));
    ASSERT_TRUE(WaitUntil(finished, 5s));
    EXPECT_EQ(fromCallback, (std::vector<int>{-1, -1}));
    EXPECT_EQ(recorder.count(KORVEX_UPGRADE_STARTED), 2u);
    EXPECT_EQ(device.connectionCount(), 2u);
    EXPECT_EQ(device.requests()[1], device.requests()[0]);
}

TEST(Upgrade, VerdictOfTheDevice) {
    struct Case {
        const char* name;
        Reply reply;
        int verdictMs;
        Event expected;
    };
    Reply late = Answer("hdmi/1.0 200 ok\r\n\r\n");
    late.chunks[0].delayMs = 400;  // well inside one receive wait
    Reply closes;
    Reply refuses = Answer("HDMI/1.0 403 Forbidden\r\nCONTENT-LENGTH:0\r\n\r\n");
    // The status line decides at once: the rest of an answer that trickles is not waited for.
    Reply trickles = Answer("HDMI/1.0 200 OK");
    trickles.closeAfter = false;
    for (int i = 0; i < 100; ++i) {
        trickles.chunks.push_back({1000, "X"});
    }
    // ... and the whole wait for it is bounded, also for a device that trickles its status.
    Reply slowStatus;
    slowStatus.closeAfter = false;
    for (char byte : std::string("HDMI/1.0 200 OK\r\n")) {
        slowStatus.chunks.push_back({150, std::string(1, byte)});
    }
    Reply shortRefusal = Answer("HDMI/1.0 5\r\n");
    shortRefusal.closeAfter = false;
    Reply tooShort = Answer("HDMI/1");
    std::vector<Case> cases = {
        {"late lower-case OK", late, 3000, kSucceeded},
        {"other status", refuses, 3000, kFailed},
        {"six bytes", tooShort, 3000, kFailed},
        {"hangs up without answer", closes, 3000, kFailed},
        {"silent", test::Silence(), 300, kFailed},
        {"status line, then a trickle", trickles, 60000, kSucceeded},
        {"a short refusal, connection kept", shortRefusal, 60000, kFailed},
        {"status trickled past the wait", slowStatus, 600, kFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDevice device;
        device.script(c.reply);
        Recorder recorder;
        SessionPtr session(LoginTo(device.port(), recorder));
        TempFile file(RandomBytes(100));
        auto started = Clock::now();
        ASSERT_EQ(StartUpgrade(*session, file.path(), QuickVerdict(c.verdictMs)), 0);
        ASSERT_TRUE(recorder.waitFor(c.expected.code, 5s));
        EXPECT_EQ(recorder.events(),
                  (std::vector<Event>{kStarted, Progress(100), kSent, c.expected}));
        EXPECT_LT(Clock::now() - started,
                  std::chrono::milliseconds(std::min(c.verdictMs, 3000) + 1500));
        EXPECT_TRUE(device.waitForClosedConnections(1, 2s));  // the upload closed its side
    }
}

TEST(Upgrade, UnreachableDeviceFailsWithoutProgress) {
    Recorder recorder;
    SessionPtr session(LoginTo(test::RefusingPort(), recorder));
    TempFile file(RandomBytes(100));
    ASSERT_EQ(KORVEX_Upgrade(session.get(), file.path()), 0);
    ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_FAILED, 5s));
    EXPECT_EQ(recorder.events(), (std::vector<Event>{kStarted, kFailed}));
}

TEST(Upgrade, ChunksTheSocketTakesOnlyInPartAreCompleted) {
    FakeDevice device;
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    const std::string image = RandomBytes(1 << 20);
    TempFile file(image);
    {
        test::SendLimit limit(5000);  // every chunk goes out in four pieces
        ASSERT_EQ(StartUpgrade(*session, file.path(), QuickVerdict(2000)), 0);
        ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_SUCCEEDED, 10s));
    }
    ASSERT_TRUE(device.waitForClosedConnections(1, 2s));
    EXPECT_TRUE(device.requests()[0] == Header(image.size()) + image);
    EXPECT_EQ(recorder.count(KORVEX_UPGRADE_PROGRESS), 64u);
}

TEST(Upgrade, DeviceThatStopsReadingFailsTheUploadWithinTheSendWait) {
    FakeDevice device;
    std::atomic<bool> release{false};
    Reply reply;
    reply.waitForRequest = false;
    reply.then = [&](RawSocket, const std::string&) {
        WaitUntil([&] { return release.load(); }, 10s);
    };
    device.script(reply);
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    TempFile file = TempFile::sparse(64 << 20);  // far more than the socket buffers hold
    ASSERT_EQ(KORVEX_Upgrade(session.get(), file.path()), 0);
    EXPECT_TRUE(recorder.waitFor(KORVEX_UPGRADE_FAILED, 8s));
    release = true;
    EXPECT_EQ(recorder.count(KORVEX_UPGRADE_SENT), 0u);
    EXPECT_EQ(recorder.events().back(), kFailed);
}

TEST(Upgrade, ConnectionLostMidUploadFails) {
    FakeDevice device;
    Reply reply;
    reply.waitForRequest = false;
    reply.then = [](RawSocket socket, const std::string&) {
        ReadUntil(
            socket, [](const std::string& in) { return in.size() >= 100000; }, 5s);
    };  // then it closes with data unread: the connection is reset
    device.script(reply);
    Recorder recorder;
    SessionPtr session(LoginTo(device.port(), recorder));
    TempFile file = TempFile::sparse(64 << 20);
    ASSERT_EQ(KORVEX_Upgrade(session.get(), file.path()), 0);
    ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_FAILED, 8s));
    auto events = recorder.events();
    EXPECT_EQ(events.front(), kStarted);
    EXPECT_EQ(recorder.count(KORVEX_UPGRADE_SENT), 0u);
    EXPECT_NE(std::find(events.begin(), events.end(), Progress(0)), events.end());
    EXPECT_EQ(std::find(events.begin(), events.end(), Progress(100)), events.end());
}

TEST(UpgradeLogout, WaitsForTheRunningUpload) {
    FakeDevice device;
    Reply slow;
    slow.chunks = {{400, OkResponse()}};
    device.script(slow);
    Recorder recorder;
    KorvexSession* session = LoginTo(device.port(), recorder);
    TempFile file(RandomBytes(1000));
    ASSERT_EQ(KORVEX_Upgrade(session, file.path()), 0);
    ASSERT_TRUE(recorder.waitFor(KORVEX_UPGRADE_SENT, 5s));
    auto started = Clock::now();
    KORVEX_Logout(session);  // the upload still reads the session for its verdict event
    EXPECT_GE(Clock::now() - started, 200ms);
    EXPECT_EQ(recorder.events().back(), kSucceeded);
}

TEST(UpgradeLogout, FromTheVerdictCallbackNeitherBlocksNorLeaks) {
    FakeDevice device;
    Recorder recorder;
    KorvexSession* session = LoginTo(device.port(), recorder);
    std::atomic<bool> returned{false};
    recorder.inside = [&](KorvexSession* s, int32_t event) {
        if (event == KORVEX_UPGRADE_SUCCEEDED) {
            KORVEX_Logout(s);
            returned = true;
        }
    };
    TempFile file(RandomBytes(1000));
    ASSERT_EQ(KORVEX_Upgrade(session, file.path()), 0);
    EXPECT_TRUE(WaitUntil([&] { return returned.load(); }, 5s));
    EXPECT_TRUE(device.waitForClosedConnections(1, 2s));
}

TEST(UpgradeLogout, FromAProgressCallbackEndsTheUploadQuietly) {
    FakeDevice device;
    device.setDefaultReply(test::Silence());
    Recorder recorder;
    KorvexSession* session = LoginTo(device.port(), recorder);
    recorder.inside = [](KorvexSession* s, int32_t event) {
        if (event == KORVEX_UPGRADE_PROGRESS) {
            KORVEX_Logout(s);
        }
    };
    TempFile file(RandomBytes(40000));
    ASSERT_EQ(KORVEX_Upgrade(session, file.path()), 0);
    // The upload stops at once and hangs up; no event follows the logout.
    ASSERT_TRUE(device.waitForClosedConnections(1, 3s));
    EXPECT_EQ(recorder.events(), (std::vector<Event>{kStarted, Progress(40)}));
}

}  // namespace
}  // namespace korvex
