#include "stream_test_support.h"

#include <cstdlib>
#include <cstring>
#include <thread>

#include "stream.h"
#include "test_platform.h"

namespace korvex::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStartWait = std::chrono::seconds(10);

}  // namespace

std::string Report::text() const {
    switch (kind) {
        case kEvent:
            return "event " + std::to_string(value);
        case kMediaInfo:
            return "media " + std::to_string(info.width) + "x" + std::to_string(info.height);
        case kFrame:
            return "frame " + std::to_string(value) + " ts=" + std::to_string(timestamp) +
                   " bytes=" + std::to_string(data.size());
        case kStreamEnd:
            return "end";
    }
    return "?";
}

KorvexSession* StreamRecorder::login(int port) {
    KorvexLoginInfo info{};
    std::strncpy(info.host, "127.0.0.1", sizeof info.host - 1);
    info.port = port;
    return KORVEX_Login(&info, &StreamRecorder::onEvent, this);
}

KorvexPlayParams StreamRecorder::params(int transport, bool mediaInfo, bool frames,
                                        bool streamEnd) {
    KorvexPlayParams params{};
    params.channel = 0;
    params.transport = transport;
    params.onMediaInfo = mediaInfo ? &StreamRecorder::onMediaInfo : nullptr;
    params.onFrame = frames ? &StreamRecorder::onFrame : nullptr;
    params.onStreamEnd = streamEnd ? &StreamRecorder::onStreamEnd : nullptr;
    params.user = this;
    return params;
}

void StreamRecorder::onEvent(KorvexSession*, int32_t event, void*, void* user) {
    Report report{Report::kEvent};
    report.value = event;
    static_cast<StreamRecorder*>(user)->add(std::move(report));
}

int StreamRecorder::onMediaInfo(KorvexSession*, KorvexStream*, const KorvexMediaInfo* info,
                                void* user) {
    Report report{Report::kMediaInfo};
    report.info = *info;
    static_cast<StreamRecorder*>(user)->add(std::move(report));
    return 0;
}

int StreamRecorder::onFrame(KorvexSession*, KorvexStream* stream, const KorvexFrameInfo* frame,
                            void* user) {
    Report report{Report::kFrame};
    report.value = frame->type;
    report.timestamp = frame->timestamp;
    report.data.assign(reinterpret_cast<const char*>(frame->data),
                       static_cast<size_t>(frame->length));
    // The stream thread is the only one touching the buffer, and this runs on it. (Parser tests
    // run without a stream.)
    if (stream != nullptr) {
        const uint8_t* begin = stream->buffer.get();
        report.dataInBuffer =
            frame->data >= begin && frame->data + frame->length <= begin + stream->capacity;
    }
    static_cast<StreamRecorder*>(user)->add(std::move(report));
    return 0;
}

void StreamRecorder::onStreamEnd(KorvexSession*, KorvexStream*, void* user) {
    static_cast<StreamRecorder*>(user)->add(Report{Report::kStreamEnd});
}

void StreamRecorder::add(Report report) {
    report.at = Clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(std::move(report));
    changed_.notify_all();
}

std::vector<Report> StreamRecorder::reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
}

std::vector<std::string> StreamRecorder::texts() const {
    std::vector<std::string> out;
    for (const Report& report : reports()) {
        out.push_back(report.text());
    }
    return out;
}

size_t StreamRecorder::countLocked(Report::Kind kind, int value) const {
    size_t n = 0;
    for (const Report& report : reports_) {
        n += report.kind == kind && (value < 0 || report.value == value);
    }
    return n;
}

size_t StreamRecorder::count(Report::Kind kind, int value) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return countLocked(kind, value);
}

bool StreamRecorder::waitFor(Report::Kind kind, int value, size_t n,
                             std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return countLocked(kind, value) >= n; });
}

Reply StreamTcp(const StreamRecorder& recorder, size_t started, std::vector<std::string> chunks,
                int gapMs, bool keepOpen) {
    Reply reply = Answer(OkResponse());
    reply.closeAfter = !keepOpen;
    reply.then = [&recorder, started, chunks = std::move(chunks), gapMs](RawSocket socket,
                                                                         const std::string&) {
        // Only what is sent after event 2 reaches the stream's parser; earlier bytes could
        // share the one receive of the PLAY answer and be dropped with it.
        if (!recorder.waitFor(Report::kEvent, KORVEX_STREAM_STARTED, started, kStartWait)) {
            return;
        }
        for (size_t i = 0; i < chunks.size(); ++i) {
            if (i > 0 && gapMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
            }
            SendAll(socket, chunks[i]);
        }
    };
    return reply;
}

Reply StreamUdp(const StreamRecorder& recorder, size_t started, std::vector<Datagram> datagrams,
                int gapMs) {
    Reply reply = Answer(OkResponse());
    reply.closeAfter = false;
    reply.then = [&recorder, started, datagrams = std::move(datagrams), gapMs](
                     RawSocket, const std::string& request) {
        int port = RequestedPort(request);
        if (port <= 0 ||
            !recorder.waitFor(Report::kEvent, KORVEX_STREAM_STARTED, started, kStartWait)) {
            return;
        }
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(static_cast<uint16_t>(port));
        target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (size_t i = 0; i < datagrams.size(); ++i) {
            if (i > 0 && gapMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
            }
            RawSocket sender = DatagramSocketOn(datagrams[i].from);
            const std::string& bytes = datagrams[i].bytes;
            ::sendto(sender, bytes.data(), static_cast<int>(bytes.size()), 0,
                     reinterpret_cast<const sockaddr*>(&target), sizeof target);
            CloseRawSocket(sender);
        }
    };
    return reply;
}

int RequestedPort(const std::string& request) {
    size_t key = request.find("\r\nRPORT:");
    if (key == std::string::npos) {
        return -1;
    }
    return std::atoi(request.c_str() + key + 8);
}

}  // namespace korvex::test
