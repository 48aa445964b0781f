#include "device_server.h"

#include <chrono>

#include "config_commands.h"
#include "log.h"
#include "stream_session.h"
#include "upgrade.h"

namespace devicesim {

namespace {

constexpr int kRequestTimeoutMs = 10000;
constexpr int kAnswerTimeoutMs = 3000;
constexpr size_t kMaxConnections = 64;
constexpr int kMaxStreams = 4;

// The request's headers for the log, without the two every request carries.
std::string headerSummary(const Request& request) {
    std::string text;
    for (const auto& header : request.headers) {
        if (header.first != "AUTHORIZATION" && header.first != "CONTENT-LENGTH") {
            text += " " + header.first + ":" + header.second;
        }
    }
    return text;
}

}  // namespace

DeviceServer::DeviceServer(const DeviceIdentity& identity, Installation& installation,
                           LoopCache& loops, const Behaviour& behaviour, const StopSignal& stop)
    : state_(identity, installation), loops_(loops), behaviour_(behaviour), stop_(stop) {}

DeviceServer::~DeviceServer() {
    join();
}

bool DeviceServer::start(std::string& error) {
    listener_ = listenTcp(state_.identity.address, state_.identity.port, error);
    if (!listener_.valid()) {
        return false;
    }
    port_ = localPort(listener_.get());
    startedAt_ = std::chrono::steady_clock::now();
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void DeviceServer::join() {
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    reapConnections(true);
}

void DeviceServer::acceptLoop() {
    for (;;) {
        reapConnections(false);
        switch (waitForListener(listener_.get(), wake_, 1000, stop_)) {
            case ListenWait::Stopped:
                return;
            case ListenWait::Wake:
                wake_.consume();
                reboot();
                break;
            case ListenWait::Connection:
                acceptPending();
                break;
            case ListenWait::Timeout:
                break;
        }
    }
}

void DeviceServer::acceptPending() {
    for (;;) {
        sockaddr_in peer{};
        Fd connection = acceptConnection(listener_.get(), peer);
        if (!connection.valid()) {
            return;
        }
        // Under steady load this loop may never return to the accept loop's own reaping: count
        // only the connections still being served.
        reapConnections(false);
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        if (connections_.size() >= kMaxConnections) {
            logf("%s: %zu connections open already; closing the one from %s",
                 state_.identity.name().c_str(), connections_.size(), endpointText(peer).c_str());
            continue;
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        connections_.push_back(
            Connection{std::thread([this, done, peer, fd = connection.release()]() mutable {
                           serve(Fd(fd), peer);
                           *done = true;
                       }),
                       done});
    }
}

void DeviceServer::reapConnections(bool all) {
    std::list<Connection> finished;
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (all || *it->done) {
                finished.splice(finished.end(), connections_, it++);
            } else {
                ++it;
            }
        }
    }
    for (Connection& connection : finished) {
        connection.thread.join();
    }
}

bool DeviceServer::requestReset() {
    std::unique_lock<std::mutex> lock(resetMutex_);
    resetPending_ = true;
    wake_.notify();
    return resetTaken_.wait_for(lock, std::chrono::seconds(2),
                                [this] { return !resetPending_ || stop_.raised(); });
}

// Runs on the accept thread: closes the listener, so that connections are refused like those to a
// rebooting device, waits, and listens again on the same port.
void DeviceServer::reboot() {
    // The listener closes before the request is taken: the client that asked connects again as
    // soon as it has its answer, and must find the device rebooting.
    auto takeRequest = [this] {
        std::lock_guard<std::mutex> lock(resetMutex_);
        const bool pending = resetPending_;
        if (pending) {
            listener_.reset();
        }
        resetPending_ = false;
        resetTaken_.notify_all();
        return pending;
    };
    if (!takeRequest()) {
        return;
    }
    rebooting_ = true;
    ++resetCount_;
    logf("%s: rebooting, no connections for %d s", state_.identity.name().c_str(),
         behaviour_.resetSeconds);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(behaviour_.resetSeconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        const ListenWait wait = waitForListener(-1, wake_, static_cast<int>(left), stop_);
        if (wait == ListenWait::Stopped) {
            return;
        }
        if (wait == ListenWait::Wake) {
            wake_.consume();
            if (takeRequest()) {
                until = std::chrono::steady_clock::now() +
                        std::chrono::seconds(behaviour_.resetSeconds);
            }
        }
    }
    for (;;) {
        std::string error;
        listener_ = listenTcp(state_.identity.address, port_, error);
        if (listener_.valid()) {
            break;
        }
        logf("%s: cannot listen again yet (%s)", state_.identity.name().c_str(), error.c_str());
        if (!sleepUnlessStopped(500, stop_)) {
            return;
        }
    }
    rebooting_ = false;
    logf("%s: back after reset, listening on %s:%u", state_.identity.name().c_str(),
         state_.identity.address.c_str(), port_);
}

bool DeviceServer::muted() const {
    return behaviour_.muteAfterSeconds >= 0 &&
           std::chrono::steady_clock::now() - startedAt_ >=
               std::chrono::seconds(behaviour_.muteAfterSeconds);
}

bool DeviceServer::sendAnswer(int fd, const Answer& answer) {
    if (behaviour_.answerDelayMs > 0 && !sleepUnlessStopped(behaviour_.answerDelayMs, stop_)) {
        return false;
    }
    std::string bytes = formatAnswer(answer, behaviour_.hugeContentLength ? 1000000000LL : -1);
    if (behaviour_.closeMidAnswer) {
        bytes.resize(bytes.size() / 2);
    }
    return sendAll(fd, bytes.data(), bytes.size(), kAnswerTimeoutMs, stop_) == IoResult::Done &&
           !behaviour_.closeMidAnswer;
}

void DeviceServer::logExchange(const std::string& peer, const Request& request,
                               const Answer& answer, const std::string& note) const {
    std::string text =
        state_.identity.name() + " " + peer + ": " + request.command + headerSummary(request);
    if (!request.body.empty() && request.command != "UPGRADE") {
        text += " {" + flattenForLog(request.body) + "}";
    }
    text += " -> " + std::to_string(answer.status) + " " + statusText(answer.status);
    if (!answer.body.empty()) {
        text += " {" + flattenForLog(answer.body) + "}";
    }
    if (behaviour_.closeMidAnswer) {
        text += " (cut in half, as asked)";
    }
    if (!note.empty()) {
        text += "; " + note;
    }
    logLine(text);
}

void DeviceServer::serve(Fd connection, const sockaddr_in& peerAddress) {
    const int fd = connection.get();
    const std::string peer = endpointText(peerAddress);
    std::string head;
    std::string rest;
    if (!takeRequestHead(fd, peer, head, rest)) {
        return;
    }
    if (muted()) {
        // A hung device: the request is taken in, nothing is done and nothing comes back.
        logf("%s %s: %s -> no answer (muted after %d s, as asked)", state_.identity.name().c_str(),
             peer.c_str(), flattenForLog(head.substr(0, head.find("\r\n"))).c_str(),
             behaviour_.muteAfterSeconds);
        holdUntilClosed(fd, stop_);
        return;
    }
    Request request;
    std::string error;
    int64_t length = 0;
    if (!parseRequestHead(head, request, error) || !requestContentLength(request, length, error)) {
        logf("%s %s: malformed request (%s): %s -> 400", state_.identity.name().c_str(),
             peer.c_str(), error.c_str(), flattenForLog(head).c_str());
        sendAnswer(fd, errorAnswer(400, error));
        return;
    }
    if (request.command == "UPGRADE") {
        serveUpgrade(fd, peer, request, length, rest);
        return;
    }
    if (length > kMaxCommandBodyBytes) {
        const Answer answer = errorAnswer(413, "body larger than 16384 bytes");
        sendAnswer(fd, answer);
        logExchange(peer, request, answer, "");
        return;
    }
    request.body = rest;
    std::string note;
    if (!takeBody(fd, peer, request, length, note)) {
        return;
    }
    if (request.command == "PLAY") {
        servePlay(fd, peer, peerAddress, request);
        return;
    }
    serveCommand(fd, peer, request, note);
}

bool DeviceServer::takeRequestHead(int fd, const std::string& peer, std::string& head,
                                   std::string& rest) {
    const std::string& name = state_.identity.name();
    switch (readRequestHead(fd, kRequestTimeoutMs, stop_, head, rest)) {
        case HeadStatus::Ok:
            return true;
        case HeadStatus::Stopped:
            return false;
        case HeadStatus::Closed:
            logf("%s %s: connection closed %s", name.c_str(), peer.c_str(),
                 head.empty()
                     ? "without a request"
                     : ("in the middle of a request head: " + flattenForLog(head)).c_str());
            return false;
        case HeadStatus::Timeout:
            logf("%s %s: no complete request within %d s%s", name.c_str(), peer.c_str(),
                 kRequestTimeoutMs / 1000,
                 head.empty() ? "" : (" (got " + flattenForLog(head) + ")").c_str());
            return false;
        case HeadStatus::TooLarge:
            logf("%s %s: request head longer than %zu bytes; answering 400", name.c_str(),
                 peer.c_str(), kMaxRequestHeadBytes);
            sendAnswer(fd, errorAnswer(400, "request head too long"));
            return false;
    }
    return false;
}

void DeviceServer::serveUpgrade(int fd, const std::string& peer, const Request& request,
                                int64_t length, const std::string& rest) {
    const UpgradeResult result = receiveUpgrade(state_, behaviour_, stop_, fd, length, rest);
    if (result.answered) {
        sendAnswer(fd, result.answer);
        logExchange(peer, request, result.answer, result.note);
    } else {
        logf("%s %s: UPGRADE -> no answer; %s", state_.identity.name().c_str(), peer.c_str(),
             result.note.c_str());
    }
}

bool DeviceServer::takeBody(int fd, const std::string& peer, Request& request, int64_t length,
                            std::string& note) {
    size_t extraBytes = 0;
    const IoResult bodyResult =
        readBody(fd, length, kRequestTimeoutMs, stop_, request.body, extraBytes);
    if (bodyResult != IoResult::Done) {
        if (bodyResult != IoResult::Stopped) {
            logf("%s %s: %s with %zu of %lld body bytes; no answer", state_.identity.name().c_str(),
                 peer.c_str(), request.command.c_str(), request.body.size(),
                 static_cast<long long>(length));
        }
        return false;
    }
    if (extraBytes > 0) {
        note = std::to_string(extraBytes) + " bytes after the declared body ignored";
    }
    return true;
}

void DeviceServer::serveCommand(int fd, const std::string& peer, const Request& request,
                                std::string note) {
    Answer answer;
    if (request.command == "SYSTEM_RESET") {
        answer = requestReset() ? okAnswer() : errorAnswer(503, "busy");
    } else {
        std::string commandNote;
        answer = runConfigCommand(state_, request, commandNote);
        note += (note.empty() || commandNote.empty() ? "" : "; ") + commandNote;
    }
    // Logged first: the client may be connecting again as soon as it has the answer, and a
    // connection whose thread still waits for its turn at the log would hold its place in the
    // table; written first, the line is also in the log by the time the client reads the answer.
    logExchange(peer, request, answer, note);
    sendAnswer(fd, answer);
}

void DeviceServer::servePlay(int fd, const std::string& peer, const sockaddr_in& peerAddress,
                             const Request& request) {
    PlayRequest play;
    Answer answer;
    if (!checkPlayRequest(state_, request, behaviour_, play, answer)) {
        sendAnswer(fd, answer);
        logExchange(peer, request, answer, "");
        return;
    }
    if (++activeStreams_ > kMaxStreams) {
        --activeStreams_;
        answer =
            errorAnswer(503, "already streaming to " + std::to_string(kMaxStreams) + " clients");
        sendAnswer(fd, answer);
        logExchange(peer, request, answer, "");
        return;
    }
    answer = okAnswer();
    const bool answered = sendAnswer(fd, answer);
    sockaddr_in target = peerAddress;
    target.sin_port = htons(static_cast<uint16_t>(play.rport));
    logExchange(peer, request, answer,
                answered
                    ? (play.transport == 1 ? "streaming as datagrams to " + endpointText(target)
                                           : std::string("streaming on this connection"))
                    : std::string());
    if (answered) {
        const StreamEnvironment environment{state_, loops_, behaviour_, stop_, resetCount_};
        runStream(environment, fd, play, peerAddress);
    }
    --activeStreams_;
}

}  // namespace devicesim
