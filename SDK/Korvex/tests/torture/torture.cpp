// korvex_torture: one case of the library's public calls, run against a device in a child
// process, with the fallible calls of the library numbered (faults.h) and one of them failing.
//
//   korvex_torture --list          the cases, one a line
//   korvex_torture CASE 0          runs the case with no failure; prints "calls N"
//   korvex_torture CASE N          runs it with call N failing
//
// Each run checks that every public call ended with a documented result (0 only when the work
// was really done, else -1, or the failure events), that streams recover from the failure and
// report in a valid order, that every thread and descriptor the library opened is gone, and
// (under the AddressSanitizer) that nothing leaked. Exit status 0 when the checks held.
//
// The device runs in a child process forked before the library starts, so that the calls and
// allocations numbered in this process are the library's and this driver's, and the driver makes
// none of its own while the numbering runs (its callbacks only store numbers).
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "Korvex.h"
#include "fake_device.h"
#include "faults.h"
#include "stream_bytes.h"
#include "stream_test_support.h"

namespace korvex::torture {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kFrameBytes = 1000;
constexpr int kFramesWanted = 3;
constexpr int kImageBytes = 40000;
// A stream recovers from one failure within a pause of 3 s and a connection or two.
constexpr auto kStreamBound = 20s;
constexpr auto kUploadBound = 30s;
constexpr auto kThreadsBound = 10s;

// ---- the device (child process) -------------------------------------------------------------

uint8_t ImageByte(size_t index) {
    return static_cast<uint8_t>(index * 7 % 251);
}

std::string CommandWord(const std::string& request) {
    return request.substr(0, request.find(' '));
}

// Waits up to `milliseconds` for the client to close `socket`; true once it has.
bool ClientClosed(test::RawSocket socket, int milliseconds) {
    pollfd entry{socket, POLLIN, 0};
    if (test::PollSockets(&entry, 1, milliseconds) <= 0) {
        return false;
    }
    char byte;
    return test::ReceiveBytes(socket, &byte, 1) <= 0;
}

// Stream packets until the client closes the control connection (bounded: about 10 s).
void Stream(test::RawSocket socket, const std::string& request) {
    const bool udp = request.find("TRANSPORT:1") != std::string::npos;
    test::SendAll(socket, test::OkResponse());
    // Packets right behind the answer may share its one receive and be dropped with it; a
    // connection whose first whole packet is a frame ends before it has begun.
    if (ClientClosed(socket, 50)) {
        return;
    }
    const std::string payload = test::Payload(kFrameBytes);
    test::RawSocket sender = udp ? test::DatagramSocketOn("127.0.0.1") : test::kNoRawSocket;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<uint16_t>(udp ? test::RequestedPort(request) : 0));
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (uint32_t frame = 1; frame <= 2000; ++frame) {
        const std::string packet =
            test::Packet(KORVEX_PACKET_KEY_FRAME, payload, frame, frame, test::kWholeFrame);
        if (udp) {
            ::sendto(sender, packet.data(), packet.size(), 0,
                     reinterpret_cast<const sockaddr*>(&target), sizeof target);
        } else {
            test::SendAll(
                socket, test::Packet(KORVEX_PACKET_MEDIA_INFO, test::MediaInfoPayload(1920, 1080)) +
                            packet);
        }
        if (ClientClosed(socket, 5)) {
            break;
        }
    }
    test::CloseRawSocket(sender);
}

// 200 OK when the body is the whole image, anything else otherwise.
void Upgrade(test::RawSocket socket, const std::string& request) {
    const size_t body = request.find("\r\n\r\n") + 4;
    bool whole = request.size() == body + kImageBytes;
    for (size_t i = 0; whole && i < kImageBytes; ++i) {
        whole = static_cast<uint8_t>(request[body + i]) == ImageByte(i);
    }
    test::SendAll(socket, whole ? test::OkResponse() : "HDMI/1.0 500 Broken Image\r\n\r\n");
}

std::string Answer(const std::string& word) {
    if (word == "GET_VIDEOSRC") {
        return "WIDTH=1920\r\nHEIGHT=1080\r\nFREQ=60\r\nSCAN=1\r\n";
    }
    if (word == "GET_SYSINFO") {
        return "SOFTVER=V1.2\r\nHARDVER=H3\r\nSERIAL=0001\r\nMODEL=TX\r\n";
    }
    if (word == "GET_VIDEOENC") {
        return "CODEC=1\r\nWIDTH=1280\r\nHEIGHT=720\r\nBITRATE=4000\r\nKEYGOP=30\r\n"
               "FRAMERATE=25\r\nRC=1\r\nQUALITY=5\r\nPROFILE=2\r\n";
    }
    if (word == "GET_AUDIOSRC") {
        return "SAMPLES=48000\r\nCHANNEL=2\r\n";
    }
    if (word == "GET_AUDIOENC") {
        return "ENABLE=1\r\nCODEC=2\r\nSAMPLES=44100\r\nBITRATE=128\r\nBITWIDTH=16\r\nCHANNEL="
               "2\r\n";
    }
    if (word == "GET_TTL") {
        return "MODE=1\r\nCLIENT=0\r\nBAUDRATE=115200\r\nPORT=5000\r\nPEER_PORT=6000\r\n"
               "PEER_ADDR=10.0.0.9\r\n";
    }
    if (word == "GET_RECV") {
        return "RPORT=30000\r\nTRANSPORT=1\r\nRENDPT=239.1.1.1\r\n";
    }
    if (word == "GET_DISPLAY") {
        return "AUDIO=2\r\nRESOLUTION=1080P60\r\nDISPLAY=[1:0,0,50,100 -a 2:50,0,50,100]\r\n";
    }
    return "";
}

void Serve(test::RawSocket socket, const std::string& request) {
    const std::string word = CommandWord(request);
    if (word == "PLAY") {
        Stream(socket, request);
    } else if (word == "UPGRADE") {
        Upgrade(socket, request);
    } else {
        test::SendAll(socket, test::OkResponse(Answer(word)));
    }
}

// Forks the device; returns its port and the pipe whose closing ends it.
int StartDevice(int* keepAlive, pid_t* child) {
    int toChild[2];
    int toParent[2];
    if (pipe(toChild) != 0 || pipe(toParent) != 0) {
        return -1;
    }
    *child = fork();
    if (*child == 0) {
        close(toChild[1]);
        close(toParent[0]);
        int port = -1;
        {
            test::FakeDevice device;
            test::Reply reply;
            reply.then = Serve;
            device.setDefaultReply(reply);
            port = device.port();
            (void)!write(toParent[1], &port, sizeof port);
            char byte;
            while (read(toChild[0], &byte, 1) > 0) {
            }
        }
        _exit(0);
    }
    close(toChild[0]);
    close(toParent[1]);
    int port = -1;
    if (read(toParent[0], &port, sizeof port) != sizeof port) {
        port = -1;
    }
    close(toParent[0]);
    *keepAlive = toChild[1];
    return port;
}

// ---- what the library reports (no allocation: numbers only) ---------------------------------

constexpr int kMediaInfo = 100;
constexpr int kGoodFrame = 101;
constexpr int kBadFrame = 102;
constexpr int kStreamEnd = 103;
constexpr int kLate = 104;  // a callback after KORVEX_StopPlay or the end of the upload

class Log {
  public:
    void add(int value) {
        if (closed_.load(std::memory_order_acquire)) {
            value = kLate;
        }
        const int index = size_.fetch_add(1);
        if (index < kCapacity) {
            values_[index].store(value, std::memory_order_release);
        }
    }
    void close() { closed_.store(true, std::memory_order_release); }
    int size() const { return std::min(size_.load(), kCapacity); }
    int at(int index) const { return values_[index].load(std::memory_order_acquire); }
    int count(int value) const {
        int n = 0;
        for (int i = 0; i < size(); ++i) {
            n += at(i) == value;
        }
        return n;
    }
    bool waitFor(int value, int n, Clock::duration bound) const {
        const auto end = Clock::now() + bound;
        while (count(value) < n) {
            if (Clock::now() >= end) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

  private:
    static constexpr int kCapacity = 65536;
    std::atomic<int> values_[kCapacity]{};
    std::atomic<int> size_{0};
    std::atomic<bool> closed_{false};
};

Log gLog;
KorvexSession* gLogoutInCallback = nullptr;  // the session to log out at the first progress event
std::atomic<bool> gLoggedOutInCallback{false};

void KORVEX_CALL OnEvent(KorvexSession* session, int32_t event, void*, void*) {
    gLog.add(event);
    if (event == KORVEX_UPGRADE_PROGRESS && session == gLogoutInCallback &&
        !gLoggedOutInCallback.exchange(true)) {
        KORVEX_Logout(session);
    }
}

int KORVEX_CALL OnMediaInfo(KorvexSession*, KorvexStream*, const KorvexMediaInfo*, void*) {
    gLog.add(kMediaInfo);
    return 0;
}

int KORVEX_CALL OnFrame(KorvexSession*, KorvexStream*, const KorvexFrameInfo* frame, void*) {
    bool good = frame->type == KORVEX_PACKET_KEY_FRAME && frame->length == kFrameBytes;
    for (int i = 0; good && i < frame->length; ++i) {
        good = frame->data[i] == static_cast<uint8_t>((1 + i) & 0x7f);
    }
    gLog.add(good ? kGoodFrame : kBadFrame);
    return 0;
}

void KORVEX_CALL OnStreamEnd(KorvexSession*, KorvexStream*, void*) {
    gLog.add(kStreamEnd);
}

// ---- the cases ------------------------------------------------------------------------------

char gProblem[512];

bool Problem(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(gProblem, sizeof gProblem, format, arguments);
    va_end(arguments);
    return false;
}

bool Faulted() {
    return FailedCall() != nullptr;
}

struct Context {
    int port;
    const char* image;
};

KorvexSession* Login(const Context& context) {
    KorvexLoginInfo info{};
    std::strcpy(info.host, "127.0.0.1");
    info.port = context.port;
    return KORVEX_Login(&info, OnEvent, nullptr);
}

// A command's result: 0 only with `done`, -1 only after a failure.
bool CheckResult(const char* call, int result, bool done) {
    if (result != 0 && result != -1) {
        return Problem("%s returned %d", call, result);
    }
    if (result == 0 && !done) {
        return Problem("%s returned 0 but its work was not done", call);
    }
    if (result == -1 && !Faulted()) {
        return Problem("%s returned -1 without a failure", call);
    }
    return true;
}

template <typename Record>
bool Get(const Context& context, int code, const Record& expected) {
    KorvexSession* session = Login(context);
    if (session == nullptr) {
        return Faulted() || Problem("KORVEX_Login failed without a failure");
    }
    Record record{};
    const int result = KORVEX_GetConfig(session, code, &record, sizeof record, 2000, 0);
    KORVEX_Logout(session);
    return CheckResult("KORVEX_GetConfig", result,
                       std::memcmp(&record, &expected, sizeof record) == 0);
}

template <typename Record>
bool Set(const Context& context, int code, Record record) {
    KorvexSession* session = Login(context);
    if (session == nullptr) {
        return Faulted() || Problem("KORVEX_Login failed without a failure");
    }
    // The device answers 200 OK only to a whole request: 0 means it was delivered.
    const int result = KORVEX_SetConfig(session, code, &record, sizeof record, 2000, 0);
    KORVEX_Logout(session);
    return CheckResult("KORVEX_SetConfig", result, true);
}

bool GetVideoSource(const Context& context) {
    return Get(context, CFG_GET_VIDEOSRC, VideoSourceInfo{1920, 1080, 60, 1});
}

bool GetSystemInfo(const Context& context) {
    SystemInfo expected{};
    std::strcpy(expected.softVer, "V1.2");
    std::strcpy(expected.hardVer, "H3");
    std::strcpy(expected.serial, "0001");
    std::strcpy(expected.model, "TX");
    return Get(context, CFG_GET_SYSINFO, expected);
}

bool GetVideoEncode(const Context& context) {
    return Get(context, CFG_GET_VIDEOENC, VideoEncodeConfig{1, 1280, 720, 25, 4000, 1, 30, 5, 2});
}

bool GetAudioSource(const Context& context) {
    return Get(context, CFG_GET_AUDIOSRC, AudioSourceInfo{48000, 2});
}

bool GetAudioEncode(const Context& context) {
    return Get(context, CFG_GET_AUDIOENC, AudioEncodeConfig{1, 2, 44100, 2, 16, 128});
}

bool GetTtl(const Context& context) {
    TtlConfig expected{0, 0, 1, 115200, 5000, 6000, {}};
    std::strcpy(expected.peerAddr, "10.0.0.9");
    return Get(context, CFG_GET_TTL, expected);
}

bool GetReceive(const Context& context) {
    ReceiveConfig expected{0, {}, 30000, 1};
    std::strcpy(expected.rendpt, "239.1.1.1");
    return Get(context, CFG_GET_RECV, expected);
}

bool GetDisplay(const Context& context) {
    DisplayConfig expected{};
    expected.audio = 2;
    std::strcpy(expected.resolution, "1080P60");
    expected.count = 2;
    expected.windows[0] = {1, 0, 0, 50, 100};
    expected.windows[1] = {2, 50, 0, 50, 100};
    return Get(context, CFG_GET_DISPLAY, expected);
}

bool SetActuator(const Context& context) {
    return Set(context, CFG_ACTUATOR_MOVE, ActuatorMoveRequest{1, 2, 45});
}

bool SetVideoEncode(const Context& context) {
    return Set(context, CFG_SET_VIDEOENC, VideoEncodeConfig{1, 1280, 720, 25, 4000, 1, 30, 5, 2});
}

bool SetAudioEncode(const Context& context) {
    return Set(context, CFG_SET_AUDIOENC, AudioEncodeConfig{1, 2, 44100, 2, 16, 128});
}

bool SetTtl(const Context& context) {
    return Set(context, CFG_SET_TTL, TtlConfig{1, 0, 1, 9600, 5000, 6000, "10.0.0.9"});
}

bool SetReceive(const Context& context) {
    return Set(context, CFG_SET_RECV, ReceiveConfig{1, "239.1.1.1", 30000, 1});
}

bool SetDisplay(const Context& context) {
    DisplayConfig record{};
    record.audio = -1;
    std::strcpy(record.resolution, "1080P60");
    record.count = 1;
    record.windows[0] = {4, 0, 0, 100, 100};
    return Set(context, CFG_SET_DISPLAY, record);
}

bool Reset(const Context& context) {
    KorvexSession* session = Login(context);
    if (session == nullptr) {
        return Faulted() || Problem("KORVEX_Login failed without a failure");
    }
    const int result = KORVEX_Reset(session);
    KORVEX_Logout(session);
    return CheckResult("KORVEX_Reset", result, true);
}

bool RemoteKey(const Context& context) {
    KorvexSession* session = Login(context);
    if (session == nullptr) {
        return Faulted() || Problem("KORVEX_Login failed without a failure");
    }
    const int result = KORVEX_SendRemoteKey(session, -1);
    KORVEX_Logout(session);
    return CheckResult("KORVEX_SendRemoteKey", result, true);
}

// The order of a stream's reports: each attempt is event 0, then 1 (no connection), nothing (no
// PLAY answer), or 2 followed by what was received and finally 3 and the stream-end callback.
bool CheckStreamOrder(bool tcp) {
    enum { kIdle, kConnecting, kReceiving, kEnded } state = kIdle;
    bool mediaSeen = false;
    for (int i = 0; i < gLog.size(); ++i) {
        const int value = gLog.at(i);
        const bool inOrder = [&] {
            switch (value) {
                case KORVEX_STREAM_CONNECTING:
                    if (state == kReceiving || state == kEnded) {
                        return false;
                    }
                    state = kConnecting;
                    return true;
                case KORVEX_STREAM_CONNECT_FAILED:
                    return state == kConnecting && (state = kIdle, true);
                case KORVEX_STREAM_STARTED:
                    mediaSeen = false;
                    return state == kConnecting && (state = kReceiving, true);
                case KORVEX_STREAM_ENDED:
                    return state == kReceiving && (state = kEnded, true);
                case kStreamEnd:
                    return state == kEnded && (state = kIdle, true);
                case kMediaInfo:
                    mediaSeen = true;
                    return state == kReceiving;
                case kGoodFrame:
                    return state == kReceiving && (!tcp || mediaSeen);
                case KORVEX_STREAM_DATA_LOST:
                    return state == kReceiving && !tcp;
                default:
                    return false;
            }
        }();
        if (!inOrder) {
            return Problem("stream report %d (#%d) out of order", value, i);
        }
    }
    return state != kReceiving && state != kEnded ? true
                                                  : Problem("the stream ended without event 3");
}

bool RunStream(const Context& context, int transport, bool stopAtOnce) {
    KorvexSession* session = Login(context);
    if (session == nullptr) {
        return Faulted() || Problem("KORVEX_Login failed without a failure");
    }
    KorvexPlayParams params{7, transport, OnMediaInfo, OnFrame, OnStreamEnd, nullptr};
    KorvexStream* stream = KORVEX_StartPlay(session, &params);
    if (stream == nullptr) {
        KORVEX_Logout(session);
        return Faulted() || Problem("KORVEX_StartPlay failed without a failure");
    }
    const bool received = stopAtOnce || gLog.waitFor(kGoodFrame, kFramesWanted, kStreamBound);
    KORVEX_StopPlay(session, stream);
    gLog.close();
    KORVEX_Logout(session);
    if (!received) {
        return Problem("no %d whole frames within the bound (%d reports)", kFramesWanted,
                       gLog.size());
    }
    if (gLog.count(kBadFrame) != 0) {
        return Problem("a frame arrived damaged");
    }
    if (gLog.count(kLate) != 0) {
        return Problem("a callback after KORVEX_StopPlay");
    }
    return CheckStreamOrder(transport == KORVEX_TRANSPORT_TCP);
}

bool StreamTcp(const Context& context) {
    return RunStream(context, KORVEX_TRANSPORT_TCP, false);
}

bool StreamUdp(const Context& context) {
    return RunStream(context, KORVEX_TRANSPORT_UDP, false);
}

bool StreamTcpStoppedAtOnce(const Context& context) {
    return RunStream(context, KORVEX_TRANSPORT_TCP, true);
}

bool StreamUdpStoppedAtOnce(const Context& context) {
    return RunStream(context, KORVEX_TRANSPORT_UDP, true);
}

// An upload's events: 1000, rising progress, 1002 once all is sent, and exactly one verdict, 1003
// only after the whole image went out (the device accepts nothing else).
bool CheckUploadEvents(bool loggedOutEarly) {
    int verdicts = 0;
    bool sent = false;
    for (int i = 0; i < gLog.size(); ++i) {
        const int value = gLog.at(i);
        if ((i == 0) != (value == KORVEX_UPGRADE_STARTED)) {
            return Problem("upload event %d at #%d", value, i);
        }
        if (value == KORVEX_UPGRADE_SENT) {
            sent = true;
        } else if (value == KORVEX_UPGRADE_SUCCEEDED || value == KORVEX_UPGRADE_FAILED) {
            ++verdicts;
            if (value == KORVEX_UPGRADE_SUCCEEDED && !sent) {
                return Problem("event 1003 before the image was sent");
            }
            if (value == KORVEX_UPGRADE_FAILED && !Faulted()) {
                return Problem("event 1004 without a failure");
            }
        } else if (value != KORVEX_UPGRADE_STARTED && value != KORVEX_UPGRADE_PROGRESS) {
            return Problem("upload event %d", value);
        }
    }
    if (loggedOutEarly) {
        return verdicts <= 1 || Problem("%d verdicts", verdicts);
    }
    return verdicts == 1 || Problem("%d verdicts", verdicts);
}

// Threads of this process other than the main one.
int OtherThreads() {
    DIR* tasks = opendir("/proc/self/task");
    int count = 0;
    while (tasks != nullptr && readdir(tasks) != nullptr) {
        ++count;
    }
    if (tasks != nullptr) {
        closedir(tasks);
    }
    return count - 3;  // ".", ".." and the main thread
}

bool WaitForThreadsToEnd() {
    const auto end = Clock::now() + kThreadsBound;
    while (OtherThreads() > 0) {
        if (Clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

enum class UploadEnd { kWaitForVerdict, kLogoutAtOnce, kLogoutInCallback };

bool RunUpload(const Context& context, UploadEnd end) {
    KorvexSession* session = Login(context);
    if (session == nullptr) {
        return Faulted() || Problem("KORVEX_Login failed without a failure");
    }
    if (end == UploadEnd::kLogoutInCallback) {
        gLogoutInCallback = session;
    }
    const int result = KORVEX_Upgrade(session, context.image);
    if (result != 0) {
        KORVEX_Logout(session);
        return CheckResult("KORVEX_Upgrade", result, false);
    }
    auto verdicts = [] {
        return gLog.count(KORVEX_UPGRADE_SUCCEEDED) + gLog.count(KORVEX_UPGRADE_FAILED);
    };
    if (end != UploadEnd::kLogoutAtOnce) {
        const auto bound = Clock::now() + kUploadBound;
        while (verdicts() == 0 && !gLoggedOutInCallback.load() && Clock::now() < bound) {
            std::this_thread::sleep_for(2ms);
        }
    }
    if (!gLoggedOutInCallback.load()) {
        KORVEX_Logout(session);  // waits for the upload
        if (verdicts() != 1) {
            return Problem("KORVEX_Logout returned before the upload's verdict");
        }
    }
    if (!WaitForThreadsToEnd()) {
        return Problem("the upload thread did not end");
    }
    gLog.close();
    return CheckUploadEvents(gLoggedOutInCallback.load());
}

bool UploadToVerdict(const Context& context) {
    return RunUpload(context, UploadEnd::kWaitForVerdict);
}

bool UploadWithLogout(const Context& context) {
    return RunUpload(context, UploadEnd::kLogoutAtOnce);
}

bool UploadWithLogoutInCallback(const Context& context) {
    return RunUpload(context, UploadEnd::kLogoutInCallback);
}

struct Case {
    const char* name;
    bool (*run)(const Context&);
};

constexpr Case kCases[] = {
    {"reset", Reset},
    {"remote_key", RemoteKey},
    {"get_videosrc", GetVideoSource},
    {"get_sysinfo", GetSystemInfo},
    {"get_videoenc", GetVideoEncode},
    {"get_audiosrc", GetAudioSource},
    {"get_audioenc", GetAudioEncode},
    {"get_ttl", GetTtl},
    {"get_recv", GetReceive},
    {"get_display", GetDisplay},
    {"set_actuator", SetActuator},
    {"set_videoenc", SetVideoEncode},
    {"set_audioenc", SetAudioEncode},
    {"set_ttl", SetTtl},
    {"set_recv", SetReceive},
    {"set_display", SetDisplay},
    {"stream_tcp", StreamTcp},
    {"stream_udp", StreamUdp},
    {"stream_tcp_stopped_at_once", StreamTcpStoppedAtOnce},
    {"stream_udp_stopped_at_once", StreamUdpStoppedAtOnce},
    {"upload", UploadToVerdict},
    {"upload_logout", UploadWithLogout},
    {"upload_logout_in_callback", UploadWithLogoutInCallback},
};

int OpenDescriptors() {
    DIR* descriptors = opendir("/proc/self/fd");
    int count = 0;
    while (descriptors != nullptr && readdir(descriptors) != nullptr) {
        ++count;
    }
    if (descriptors != nullptr) {
        closedir(descriptors);
    }
    return count;
}

bool WriteImage(const char* path) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    for (size_t i = 0; i < kImageBytes; ++i) {
        std::fputc(ImageByte(i), file);
    }
    return std::fclose(file) == 0;
}

int Run(const Case& chosen, long failAt) {
    char image[] = "/tmp/korvex-torture-image.XXXXXX";
    const int imageFile = mkstemp(image);
    if (imageFile < 0 || close(imageFile) != 0 || !WriteImage(image)) {
        std::fprintf(stderr, "korvex_torture: cannot write the image file\n");
        return 2;
    }
    int keepAlive = -1;
    pid_t child = -1;
    const int port = StartDevice(&keepAlive, &child);
    if (port <= 0) {
        std::fprintf(stderr, "korvex_torture: the device did not start\n");
        return 2;
    }
    KORVEX_Init();
    const int descriptors = OpenDescriptors();
    const Context context{port, image};

    StartCounting(failAt);
    bool passed = chosen.run(context);
    const long calls = StopCounting();

    passed = passed && (WaitForThreadsToEnd() || Problem("a thread of the library is left"));
    passed = passed && (OpenDescriptors() == descriptors ||
                        Problem("%d descriptors left open", OpenDescriptors() - descriptors));
    KORVEX_Exit();
    close(keepAlive);
    waitpid(child, nullptr, 0);
    unlink(image);

    const char* failed = FailedCall();
    if (failAt == 0) {
        std::printf("%s calls %ld\n", chosen.name, calls);
    }
    std::printf("%s %ld %s: %s\n", chosen.name, failAt, failed != nullptr ? failed : "-",
                passed ? "ok" : gProblem);
    return passed ? 0 : 1;
}

}  // namespace

}  // namespace korvex::torture

int main(int argc, char** argv) {
    using korvex::torture::kCases;
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const auto& entry : kCases) {
            std::printf("%s\n", entry.name);
        }
        return 0;
    }
    if (argc == 3) {
        for (const auto& entry : kCases) {
            if (std::strcmp(argv[1], entry.name) == 0) {
                return korvex::torture::Run(entry, std::atol(argv[2]));
            }
        }
    }
    std::fprintf(stderr, "usage: korvex_torture --list | CASE FAIL_AT (0: count only)\n");
    return 2;
}
