// play: the device's live stream, with its media information, a running line of counts and bit
// rate, and the video and audio written as files that players open.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "commands.h"
#include "device.h"
#include "elementary_stream.h"
#include "output.h"
#include "platform.h"

namespace korvexctl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 100;
constexpr int kLineEveryMs = 1000;

struct Counts {
    long long frames = 0;  // video frames, key frames included
    long long keyFrames = 0;
    long long audioFrames = 0;
    long long bytes = 0;  // payload bytes of every frame
    long long dataLost = 0;
};

// Shared between the stream thread (callbacks) and the main thread; everything under `mutex`.
struct PlayState {
    std::mutex mutex;
    Counts counts;
    std::deque<int> events;  // session events 0..3, for the main thread to report
    bool mediaChanged = false;
    bool mediaSeen = false;
    KorvexMediaInfo media{};
    std::unique_ptr<ElementaryStreamFile> video;
    std::unique_ptr<ElementaryStreamFile> audio;
};

void KORVEX_CALL onSessionEvent(KorvexSession*, int32_t event, void*, void* user) {
    auto* state = static_cast<PlayState*>(user);
    std::lock_guard<std::mutex> lock(state->mutex);
    if (event == KORVEX_STREAM_DATA_LOST) {
        ++state->counts.dataLost;
    } else if (event >= KORVEX_STREAM_CONNECTING && event <= KORVEX_STREAM_ENDED) {
        state->events.push_back(event);
    }
}

int KORVEX_CALL onMediaInfo(KorvexSession*, KorvexStream*, const KorvexMediaInfo* info,
                            void* user) {
    auto* state = static_cast<PlayState*>(user);
    std::lock_guard<std::mutex> lock(state->mutex);
    if (!state->mediaSeen || std::memcmp(&state->media, info, sizeof *info) != 0) {
        state->media = *info;
        state->mediaSeen = true;
        state->mediaChanged = true;
    }
    if (state->video) {
        state->video->setVideoCodec(info->videoCodec);
    }
    return 0;
}

int KORVEX_CALL onFrame(KorvexSession*, KorvexStream*, const KorvexFrameInfo* frame, void* user) {
    auto* state = static_cast<PlayState*>(user);
    const size_t length = frame->length > 0 ? static_cast<size_t>(frame->length) : 0;
    std::lock_guard<std::mutex> lock(state->mutex);
    state->counts.bytes += static_cast<long long>(length);
    if (frame->type == KORVEX_PACKET_AUDIO) {
        ++state->counts.audioFrames;
        if (state->audio) {
            state->audio->write(frame->data, length, false);
        }
        return 0;
    }
    ++state->counts.frames;
    const bool key = frame->type == KORVEX_PACKET_KEY_FRAME;
    if (key) {
        ++state->counts.keyFrames;
    }
    if (state->video) {
        state->video->write(frame->data, length, key);
    }
    return 0;
}

const char* codecName(int videoCodec) {
    return videoCodec == 1 ? "H.265" : "H.264";
}

Value mediaValue(const KorvexMediaInfo& m) {
    Value content = Value::integer(m.contentMask);
    if (m.contentMask == 1) {
        content.shownAs("1 (video)");
    } else if (m.contentMask == 3) {
        content.shownAs("3 (video and audio)");
    }
    Value codec = Value::integer(m.videoCodec);
    codec.shownAs(std::to_string(m.videoCodec) + " (" + codecName(m.videoCodec) + ")");
    return Value()
        .add("contentMask", content)
        .add("width", m.width)
        .add("height", m.height)
        .add("videoCodec", codec)
        .add("audioParam0", m.audioParam0)
        .add("audioParam1", m.audioParam1)
        .add("audioParam2", m.audioParam2)
        .add("audioParam3", m.audioParam3)
        .add("audioParam4", m.audioParam4);
}

std::string megabytes(long long bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

std::string rateText(double kbps) {
    char text[32];
    if (kbps >= 1000) {
        std::snprintf(text, sizeof text, "%.2f Mbit/s", kbps / 1000);
    } else {
        std::snprintf(text, sizeof text, "%.0f kbit/s", kbps);
    }
    return text;
}

Value countsValue(const Counts& c, double seconds, double kbps) {
    return Value()
        .add("seconds", Value::real(seconds, 1))
        .add("frames", c.frames)
        .add("keyFrames", c.keyFrames)
        .add("audioFrames", c.audioFrames)
        .add("bytes", c.bytes)
        .add("dataLost", c.dataLost)
        .add("bitrateKbps", Value::real(kbps, 0));
}

std::string countsLine(const Counts& c, double kbps) {
    return "frames " + std::to_string(c.frames) + "  key " + std::to_string(c.keyFrames) +
           "  audio " + std::to_string(c.audioFrames) + "  " + megabytes(c.bytes) + "  lost " +
           std::to_string(c.dataLost) + "  " + rateText(kbps);
}

// What the main thread shows: the running line (rewritten in place on a terminal) and the
// diagnostics beside it.
class PlayDisplay {
  public:
    PlayDisplay(bool json, bool terminal) : json_(json), terminal_(terminal) {}

    void diagnostic(const std::string& text) {
        clearLine();
        std::fprintf(stderr, "%s korvexctl: %s\n", localTimestamp().c_str(), text.c_str());
    }
    void result(const Value& value) {
        clearLine();
        printResult(value, json_);
    }
    void running(const Counts& counts, double seconds, double kbps) {
        if (json_) {
            printResult(Value().add("stats", countsValue(counts, seconds, kbps)), true);
        } else if (terminal_) {
            std::printf("\r%s\033[K", countsLine(counts, kbps).c_str());
            lineShown_ = true;
        } else {
            std::printf("%s\n", countsLine(counts, kbps).c_str());
        }
        std::fflush(stdout);
    }
    void clearLine() {
        if (lineShown_) {
            std::printf("\r\033[K");
            std::fflush(stdout);
            lineShown_ = false;
        }
    }

  private:
    bool json_;
    bool terminal_;
    bool lineShown_ = false;
};

struct PlayOptions {
    bool udp = false;
    int seconds = 0;  // 0: until Ctrl-C
    std::string videoPath;
    std::string audioPath;
};

// play's words after the command name; false for --help.
bool parsePlayOptions(const Arguments& arguments, PlayOptions& play) {
    const std::string command = "play";
    OptionParser parser(command);
    parser.flag("--udp", [&] { play.udp = true; });
    parser.value("--seconds", [&](const std::string& v) {
        play.seconds = static_cast<int>(parseInteger(v, 1, 86400, "--seconds", command));
    });
    parser.value("--output", [&](const std::string& v) {
        if (v.empty()) {
            throw UsageError("--output needs a file name", command);
        }
        play.videoPath = v;
    });
    parser.value("--audio", [&](const std::string& v) {
        if (v.empty()) {
            throw UsageError("--audio needs a file name", command);
        }
        if (v == "-") {
            throw UsageError("--audio cannot go to standard output (only --output can)", command);
        }
        play.audioPath = v;
    });
    Arguments positional;
    if (!parser.parse(arguments, positional)) {
        return false;
    }
    if (!positional.empty()) {
        throw UsageError("unexpected \"" + positional[0] + "\"", command);
    }
    if (!play.videoPath.empty() && play.videoPath == play.audioPath) {
        throw UsageError("--output and --audio name the same file", command);
    }
    return true;
}

// What the main thread takes over from the stream thread at each tick.
struct PlaySnapshot {
    std::deque<int> events;
    bool mediaChanged = false;
    KorvexMediaInfo media{};
    Counts counts;
};

PlaySnapshot takeSnapshot(PlayState& state) {
    PlaySnapshot snapshot;
    std::lock_guard<std::mutex> lock(state.mutex);
    snapshot.events.swap(state.events);
    snapshot.mediaChanged = state.mediaChanged;
    state.mediaChanged = false;
    snapshot.media = state.media;
    snapshot.counts = state.counts;
    return snapshot;
}

// The main thread's account of the stream while it plays: the session's events, each kind told
// once until the stream starts, the media information when it changes, and the running line.
class PlayFollower {
  public:
    PlayFollower(PlayDisplay& display, std::string deviceName, Clock::time_point begin)
        : display_(display),
          deviceName_(std::move(deviceName)),
          begin_(begin),
          nextLine_(begin + std::chrono::milliseconds(kLineEveryMs)),
          lastLineAt_(begin) {}

    // `stop`: this is the last tick.
    void tell(const PlaySnapshot& snapshot, bool stop, const ElementaryStreamFile* video) {
        for (int event : snapshot.events) {
            tellEvent(event, stop);
            previousEvent_ = event;
        }
        if (snapshot.mediaChanged) {
            tellMedia(snapshot.media, video);
        }
        tellCounts(snapshot.counts, stop);
    }

    int starts() const { return starts_; }
    Clock::time_point firstStart() const { return firstStart_; }

  private:
    void tellEvent(int event, bool stop) {
        switch (event) {
            case KORVEX_STREAM_CONNECTING:
                // Two attempts without a result between them: the PLAY went unanswered.
                if (previousEvent_ == KORVEX_STREAM_CONNECTING && !refusalTold_) {
                    display_.diagnostic(
                        "the device refused PLAY or did not answer it; trying again every second");
                    refusalTold_ = true;
                }
                break;
            case KORVEX_STREAM_CONNECT_FAILED:
                if (!unreachableTold_) {
                    display_.diagnostic("cannot connect to " + deviceName_ + "; trying again");
                    unreachableTold_ = true;
                }
                break;
            case KORVEX_STREAM_STARTED:
                if (starts_++ == 0) {
                    firstStart_ = Clock::now();
                }
                refusalTold_ = unreachableTold_ = false;
                display_.diagnostic(starts_ == 1 ? "stream started" : "stream started again");
                break;
            case KORVEX_STREAM_ENDED:
                if (!stop) {
                    display_.diagnostic("stream ended; reconnecting");
                }
                break;
            default:
                break;
        }
    }

    void tellMedia(const KorvexMediaInfo& media, const ElementaryStreamFile* video) {
        display_.result(Value().add("mediaInfo", mediaValue(media)));
        if (video != nullptr && !nameChecked_) {
            nameChecked_ = true;
            const int named = video->codecOfName();
            if (named >= 0 && named != (media.videoCodec == 1 ? 1 : 0)) {
                display_.diagnostic(video->name() + " will hold " + codecName(media.videoCodec) +
                                    " video, the stream's codec, whatever its name says");
            }
        }
    }

    void tellCounts(const Counts& counts, bool stop) {
        const auto now = Clock::now();
        if (now < nextLine_ && !stop) {
            return;
        }
        const double interval = std::chrono::duration<double>(now - lastLineAt_).count();
        const double kbps = interval > 0 ? static_cast<double>(counts.bytes - lastCounts_.bytes) *
                                               8 / 1000.0 / interval
                                         : 0;
        if (!stop) {
            display_.running(counts, std::chrono::duration<double>(now - begin_).count(), kbps);
        }
        lastCounts_ = counts;
        lastLineAt_ = now;
        nextLine_ = now + std::chrono::milliseconds(kLineEveryMs);
    }

    PlayDisplay& display_;
    const std::string deviceName_;
    const Clock::time_point begin_;
    Clock::time_point nextLine_;
    Clock::time_point lastLineAt_;
    Clock::time_point firstStart_{};
    int starts_ = 0;
    int previousEvent_ = -1;
    bool refusalTold_ = false;
    bool unreachableTold_ = false;
    bool nameChecked_ = false;
    Counts lastCounts_;
};

// The summary once the stream has stopped: the counts over the whole run (the bit rate over the
// time since the first start) and the files written. False when a file could not be written.
bool printSummary(PlayState& state, PlayDisplay& display, const PlayFollower& follower,
                  Clock::time_point begin, bool json) {
    const auto end = Clock::now();
    Counts counts;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        counts = state.counts;
        for (auto* file : {state.video.get(), state.audio.get()}) {
            if (file != nullptr) {
                file->close();
            }
        }
    }
    const double total = std::chrono::duration<double>(end - begin).count();
    const double streamed = follower.starts() > 0
                                ? std::chrono::duration<double>(end - follower.firstStart()).count()
                                : 0;
    const double averageKbps =
        streamed > 0 ? static_cast<double>(counts.bytes) * 8 / 1000.0 / streamed : 0;

    Value summary = countsValue(counts, total, averageKbps);
    summary.add("connections", follower.starts());
    std::string written;
    bool fileFailed = false;
    for (auto* file : {state.video.get(), state.audio.get()}) {
        if (file == nullptr) {
            continue;
        }
        const bool isVideo = file == state.video.get();
        summary.add(isVideo ? "videoFramesWritten" : "audioFramesWritten", file->written());
        written += std::string(written.empty() ? "" : ", ") + std::to_string(file->written()) +
                   (isVideo ? " video" : " audio") + " frames to " + file->name();
        if (file->skipped() > 0) {
            display.diagnostic(std::to_string(file->skipped()) + (isVideo ? " video" : " audio") +
                               " frames were not " + (isVideo ? "Annex B" : "ADTS") +
                               " and were left out of " + file->name());
        }
        if (!file->endReason().empty()) {
            display.diagnostic(file->endReason());
        }
        fileFailed = fileFailed || file->failed();
    }
    if (json) {
        printResult(Value().add("summary", summary), true);
    } else {
        std::printf("%.1f s: %s on average\n", total, countsLine(counts, averageKbps).c_str());
        if (!written.empty()) {
            std::printf("wrote %s\n", written.c_str());
        }
        std::fflush(stdout);
    }
    return !fileFailed;
}

}  // namespace

std::string playHelp() {
    return R"(Usage: korvexctl --host ADDR play [--udp] [--seconds N] [--output FILE.h264|.h265]
                                   [--audio FILE.aac]

Receives the device's live stream (PLAY) and prints its media information, then a running
line of video frames, key frames, audio frames, bytes, data-loss events (UDP) and the bit
rate; at the end a summary. Korvex reconnects by itself when the stream ends.

  --udp            receive the stream as UDP datagrams (default: on the TCP connection)
  --seconds N      stop after N seconds, 1..86400 (default: run until Ctrl-C)
  --output FILE    write the video as an Annex B elementary stream, from the first key
                   frame on; name it .h264 or .h265 after the stream's codec. FILE "-" is
                   standard output (video only; every message and result then goes to
                   standard error), for a player or converter reading a pipe:
                     korvexctl --host tx1 play --output - | ffplay -
                     korvexctl --host tx1 play --output - | ffmpeg -i - -c copy clip.mkv
  --audio FILE     write the audio as ADTS (.aac)

Any player opens the files (e.g. ffplay FILE.h264). Exit status 1 when no stream came at all
(device unreachable, PLAY refused) or a file could not be written. With --json: one object
per result, {"mediaInfo":{...}}, {"stats":{...}} every second, {"summary":{...}} at the end.
)";
}

int runPlay(const GlobalOptions& options, const Arguments& arguments) {
    const std::string command = "play";
    PlayOptions play;
    if (!parsePlayOptions(arguments, play)) {
        return printHelp(playHelp());
    }

    PlayState state;
    if (!play.videoPath.empty()) {
        state.video = std::make_unique<ElementaryStreamFile>(ElementaryStreamFile::Kind::Video,
                                                             play.videoPath);
    }
    if (!play.audioPath.empty()) {
        state.audio = std::make_unique<ElementaryStreamFile>(ElementaryStreamFile::Kind::Audio,
                                                             play.audioPath);
    }
    Device device(options, command, onSessionEvent, &state);
    for (auto* file : {state.video.get(), state.audio.get()}) {
        if (file != nullptr) {
            file->open();
        }
    }

    PlayDisplay display(options.json, platform::stdoutIsTerminal());
    platform::setInterruptMode(platform::InterruptMode::Stop);
    const KorvexPlayParams params{
        0,           play.udp ? KORVEX_TRANSPORT_UDP : KORVEX_TRANSPORT_TCP,
        onMediaInfo, onFrame,
        nullptr,     &state};
    KorvexStream* stream = KORVEX_StartPlay(device.session(), &params);
    if (stream == nullptr) {
        throw DeviceFailure("Korvex did not start the stream (out of memory or threads)");
    }
    display.diagnostic("playing " + device.name() + (play.udp ? " over UDP" : " over TCP") +
                       (play.seconds > 0 ? " for " + std::to_string(play.seconds) + " s"
                                         : std::string(" until Ctrl-C")));

    const auto begin = Clock::now();
    const auto deadline = begin + std::chrono::seconds(play.seconds);
    PlayFollower follower(display, device.name(), begin);
    bool stop = false;
    while (!stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
        stop = platform::interruptRequested() || (play.seconds > 0 && Clock::now() >= deadline);
        follower.tell(takeSnapshot(state), stop, state.video.get());
    }

    KORVEX_StopPlay(device.session(), stream);
    display.clearLine();
    const bool filesWritten = printSummary(state, display, follower, begin, options.json);
    if (follower.starts() == 0) {
        throw DeviceFailure("no stream from " + device.name() +
                            ": it cannot be reached, refused PLAY or did not answer it");
    }
    return filesWritten ? kExitOk : kExitFailed;
}

}  // namespace korvexctl
