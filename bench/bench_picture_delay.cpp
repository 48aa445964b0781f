// How far behind its arrival the live picture is drawn, at any load.
//
// Recorded streams (devicesim's flat and detailed pictures, encoded once and kept beside this
// program) are played at their real pace, with their sound, into a Lumadec player that draws into
// a 1280x720 window on the X server and plays into a private sound server. Each case runs in a
// child process that `taskset` keeps on one or on two processors. Per case: the delay from a
// frame's arrival to the end of its picture's drawing (median of the per-second medians, the
// largest per-second 95th percentile, the maximum), the share of frames dropped to stay live, how
// far the sound is heard after its picture (the sound server's latency against the picture's
// median delay; ITU-R BT.1359 finds -45 ms to +125 ms undetectable) and the decoder's threads.
// The baseline, measured in the same child: libavcodec's decode time per picture of the same
// stream on one thread.
//
// Targets: a case whose decoder keeps up (nothing dropped) draws with a p95 delay of at most one
// frame interval; an overloaded one keeps its maximum delay at 200 ms or less, and its delay does
// not grow (the long run compares its first and last ten seconds).
//
// Usage: bench_picture_delay [--seconds N] [--long-seconds N]
//        (needs an X server: scripts/bench runs it under xvfb-run)
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "Lumadec.h"
#include "audio_encoder.h"
#include "media_loop.h"
#include "support/test_display.h"
#include "support/test_sound_server.h"
#include "video_encoder.h"

using Clock = std::chrono::steady_clock;

namespace {

struct StreamCase {
    const char* name;
    int videoCodec;  // 0 H.264, 1 H.265
    int width;
    int height;
    int fps;
    devicesim::Picture picture;
    int bitrateKbps;
};

const StreamCase kCases[] = {
    {"1080p30 H.264 flat", 0, 1920, 1080, 30, devicesim::Picture::Flat, 8000},
    {"1080p30 H.264 detailed", 0, 1920, 1080, 30, devicesim::Picture::Detailed, 8000},
    {"1080p60 H.264 flat", 0, 1920, 1080, 60, devicesim::Picture::Flat, 8000},
    {"1080p60 H.264 detailed", 0, 1920, 1080, 60, devicesim::Picture::Detailed, 8000},
    {"2160p30 H.265 flat", 1, 3840, 2160, 30, devicesim::Picture::Flat, 40000},
    {"2160p30 H.265 detailed", 1, 3840, 2160, 30, devicesim::Picture::Detailed, 40000},
    {"2160p60 H.265 flat", 1, 3840, 2160, 60, devicesim::Picture::Flat, 40000},
    {"2160p60 H.265 detailed", 1, 3840, 2160, 60, devicesim::Picture::Detailed, 40000},
};
constexpr size_t kLongCase = 7;  // the heaviest, on one processor

devicesim::LoopKey KeyOf(const StreamCase& c) {
    devicesim::LoopKey key;
    key.videoCodec = c.videoCodec;
    key.width = c.width;
    key.height = c.height;
    key.fps = c.fps;
    key.keyGop = 2 * c.fps;
    key.bitrateKbps = c.bitrateKbps;
    key.audioChannels = 2;
    return key;
}

std::string ProgramFolder() {
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string program(path, length > 0 ? static_cast<size_t>(length) : 0);
    return program.substr(0, program.rfind('/'));
}

struct Recording {
    std::vector<devicesim::EncodedFrame> video;  // two seconds, from a key frame
    std::vector<std::vector<uint8_t>> audio;     // AAC frames of 1024 samples at 48 kHz
};

void WriteBlock(std::ofstream& out, int type, const std::vector<uint8_t>& bytes) {
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    out.put(static_cast<char>(type));
    out.write(reinterpret_cast<const char*>(&size), sizeof size);
    out.write(reinterpret_cast<const char*>(bytes.data()), size);
}

// The case's recording: read from beside the program, or encoded and kept there.
bool LoadRecording(size_t index, Recording& recording) {
    const std::string path = ProgramFolder() + "/picture-delay-" + std::to_string(index) + ".rec";
    std::ifstream in(path, std::ios::binary);
    if (in) {
        for (int type; (type = in.get()) != EOF;) {
            uint32_t size = 0;
            in.read(reinterpret_cast<char*>(&size), sizeof size);
            std::vector<uint8_t> bytes(size);
            in.read(reinterpret_cast<char*>(bytes.data()), size);
            if (type == KORVEX_PACKET_AUDIO) {
                recording.audio.push_back(std::move(bytes));
            } else {
                recording.video.push_back({type, std::move(bytes)});
            }
        }
        return !recording.video.empty() && !recording.audio.empty();
    }
    const StreamCase& c = kCases[index];
    std::fprintf(stderr, "recording %s ...\n", c.name);
    const std::atomic<bool> abort{false};
    std::string error;
    if (!devicesim::encodeVideoLoop(KeyOf(c), 2 * c.fps, c.picture, abort, recording.video,
                                    error) ||
        !devicesim::encodeAudioLoop(KeyOf(c), recording.audio, error)) {
        std::fprintf(stderr, "cannot record %s: %s\n", c.name, error.c_str());
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& frame : recording.video) {
        WriteBlock(out, frame.type, frame.data);
    }
    for (const auto& frame : recording.audio) {
        WriteBlock(out, KORVEX_PACKET_AUDIO, frame);
    }
    return true;
}

// libavcodec on one thread over the recording's pictures, best of two: milliseconds per picture.
double BaselineMsPerPicture(const StreamCase& c, const Recording& recording) {
    const AVCodec* codec =
        avcodec_find_decoder(c.videoCodec == 1 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    double best = 1e9;
    for (int round = 0; round < 2; ++round) {
        AVCodecContext* context = avcodec_alloc_context3(codec);
        context->thread_count = 1;
        avcodec_open2(context, codec, nullptr);
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        int pictures = 0;
        const auto start = Clock::now();
        for (const auto& unit : recording.video) {
            av_new_packet(packet, static_cast<int>(unit.data.size()));
            std::memcpy(packet->data, unit.data.data(), unit.data.size());
            avcodec_send_packet(context, packet);
            av_packet_unref(packet);
            while (avcodec_receive_frame(context, frame) == 0) {
                ++pictures;
            }
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best = std::min(best, ms / std::max(1, pictures));
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&context);
    }
    return best;
}

struct Result {
    double baselineMs = 0;
    double p50Ms = 0;
    double p95Ms = 0;
    double maxMs = 0;
    double firstMaxMs = 0;  // largest delay of the first and of the last ten seconds
    double lastMaxMs = 0;
    double droppedShare = 0;
    double audioOffsetMs = 0;
    int threads = 0;
    int frameThreading = 0;
    bool soundKnown = false;
};

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::nth_element(values.begin(),
                     values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The child: plays the case for `seconds` and prints one RESULT line.
int PlayCase(size_t index, int seconds) {
    const StreamCase& c = kCases[index];
    Recording recording;
    if (!LoadRecording(index, recording)) {
        return 1;
    }
    Result result;
    result.baselineMs = BaselineMsPerPicture(c, recording);
    lumadec_test::TestWindow window(1280, 720);
    const LumadecVideoDescription video{c.width, c.height, c.videoCodec};
    const LumadecAudioDescription audio{48000, 2, 0, 0, 0};
    LumadecPlayer* player = LUMADEC_OpenPlayer(window.valid() ? window.id() : 0, &video, &audio);
    if (player == nullptr) {
        std::fprintf(stderr, "no player\n");
        return 1;
    }
    const auto picture = std::chrono::microseconds(1000000 / c.fps);
    const auto sound = std::chrono::microseconds(1024 * 1000000 / 48000);
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    size_t pictures = 0;
    size_t sounds = 0;
    Clock::time_point nextSample = start + std::chrono::seconds(1);
    std::vector<double> p50s, p95s, maxes, offsets;
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        const Clock::time_point nextPicture = start + static_cast<long>(pictures) * picture;
        const Clock::time_point nextSound = start + static_cast<long>(sounds) * sound;
        const bool pictureFirst = nextPicture <= nextSound;
        std::this_thread::sleep_until(std::min({nextPicture, nextSound, nextSample}));
        if (Clock::now() >= nextSample) {
            LumadecStatistics s{};
            LUMADEC_GetStatistics(player, &s);
            p50s.push_back(s.delayP50Us / 1000.0);
            p95s.push_back(s.delayP95Us / 1000.0);
            maxes.push_back(s.delayMaxUs / 1000.0);
            if (s.soundLatencyUs >= 0) {
                offsets.push_back((s.soundLatencyUs - static_cast<double>(s.delayP50Us)) / 1000.0);
            }
            nextSample += std::chrono::seconds(1);
            continue;
        }
        if (pictureFirst) {
            const auto& frame = recording.video[pictures++ % recording.video.size()];
            const LumadecFrame record{frame.type, static_cast<int32_t>(frame.data.size()), 0,
                                      frame.data.data()};
            LUMADEC_WriteFrame(player, &record);
        } else {
            const auto& frame = recording.audio[sounds++ % recording.audio.size()];
            const LumadecFrame record{KORVEX_PACKET_AUDIO, static_cast<int32_t>(frame.size()), 0,
                                      frame.data()};
            LUMADEC_WriteFrame(player, &record);
        }
    }
    LumadecStatistics s{};
    LUMADEC_GetStatistics(player, &s);
    LUMADEC_ClosePlayer(player);
    // The first second holds the start (the first key frame, the sound connecting): left out.
    const size_t skip = std::min<size_t>(1, maxes.size());
    auto from = [&](const std::vector<double>& values) {
        return std::vector<double>(values.begin() + static_cast<long>(skip), values.end());
    };
    result.p50Ms = Median(from(p50s));
    const auto p95 = from(p95s);
    const auto max = from(maxes);
    result.p95Ms = p95.empty() ? 0 : *std::max_element(p95.begin(), p95.end());
    result.maxMs = max.empty() ? 0 : *std::max_element(max.begin(), max.end());
    const size_t ten = std::min<size_t>(10, max.size());
    result.firstMaxMs =
        ten ? *std::max_element(max.begin(), max.begin() + static_cast<long>(ten)) : 0;
    result.lastMaxMs = ten ? *std::max_element(max.end() - static_cast<long>(ten), max.end()) : 0;
    result.droppedShare = s.framesReceived ? double(s.framesDropped) / double(s.framesReceived) : 0;
    result.soundKnown = !offsets.empty();
    result.audioOffsetMs = Median(offsets);
    result.threads = s.decoderThreads;
    result.frameThreading = s.frameThreading;
    std::printf("RESULT %f %f %f %f %f %f %f %f %d %d %d\n", result.baselineMs, result.p50Ms,
                result.p95Ms, result.maxMs, result.firstMaxMs, result.lastMaxMs,
                result.droppedShare, result.audioOffsetMs, result.threads, result.frameThreading,
                result.soundKnown ? 1 : 0);
    return 0;
}

// Runs a case in a child on `cores` processors.
bool Measure(size_t index, int cores, int seconds, Result& result) {
    const std::string command = std::string("taskset -c ") + (cores == 1 ? "0" : "0,1") + " '" +
                                ProgramFolder() + "/bench_picture_delay' --play " +
                                std::to_string(index) + " --seconds " + std::to_string(seconds);
    // NOLINTNEXTLINE(cert-env33-c): taskset and this program, from the program's own folder
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
        return false;
    }
    char line[512];
    bool found = false;
    while (std::fgets(line, sizeof line, child) != nullptr) {
        int soundKnown = 0;
        // NOLINTNEXTLINE(cert-err34-c): the child's own RESULT line, taken only when all 11 fit
        found = found || std::sscanf(line, "RESULT %lf %lf %lf %lf %lf %lf %lf %lf %d %d %d",
                                     &result.baselineMs, &result.p50Ms, &result.p95Ms,
                                     &result.maxMs, &result.firstMaxMs, &result.lastMaxMs,
                                     &result.droppedShare, &result.audioOffsetMs, &result.threads,
                                     &result.frameThreading, &soundKnown) == 11;
        result.soundKnown = soundKnown != 0;
    }
    return pclose(child) == 0 && found;
}

void PrintRow(const StreamCase& c, int cores, const Result& r) {
    const double interval = 1000.0 / c.fps;
    const bool keptUp = r.droppedShare == 0;
    const bool met = keptUp ? r.p95Ms <= interval : r.maxMs <= 200;
    char offset[16] = "-";
    if (r.soundKnown) {
        std::snprintf(offset, sizeof offset, "%+.0f", r.audioOffsetMs);
    }
    std::printf("%-24s %5d %9.1f %9.1f %7.1f %7.1f %7.1f %8.1f %8s %6s %2d  %s (%s)\n", c.name,
                cores, r.baselineMs, interval, r.p50Ms, r.p95Ms, r.maxMs, 100 * r.droppedShare,
                offset, r.frameThreading ? "frame" : "slice", r.threads, met ? "met" : "NOT met",
                keptUp ? "keeps up: p95 <= interval" : "overloaded: max <= 200 ms");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    int seconds = 10;
    int longSeconds = 60;
    long play = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(3, static_cast<int>(std::strtol(argv[i + 1], nullptr, 10)));
        } else if (std::strcmp(argv[i], "--long-seconds") == 0) {
            longSeconds = std::max(20, static_cast<int>(std::strtol(argv[i + 1], nullptr, 10)));
        } else if (std::strcmp(argv[i], "--play") == 0) {
            play = std::strtol(argv[i + 1], nullptr, 10);
        }
    }
    if (play >= 0 && static_cast<size_t>(play) < std::size(kCases)) {
        return PlayCase(static_cast<size_t>(play), seconds);
    }
    if (std::getenv("DISPLAY") == nullptr) {
        std::printf("no DISPLAY: run under xvfb-run\n");
        return 0;
    }
    lumadec_test::TestSoundServer sound;
    std::string error;
    if (!sound.start(&error)) {
        std::printf("no private sound server (%s): the sound offset is not measured\n",
                    error.c_str());
    }
    for (size_t index = 0; index < std::size(kCases); ++index) {
        Recording recording;
        if (!LoadRecording(index, recording)) {
            return 1;
        }
    }
    std::printf("%-24s %5s %9s %9s %7s %7s %7s %8s %8s %9s  %s\n", "stream", "cores", "1-thread",
                "interval", "p50", "p95", "max", "dropped", "sound", "threads", "target");
    std::printf("%-24s %5s %9s %9s %7s %7s %7s %8s %8s %9s\n", "", "", "ms/pic", "ms", "ms", "ms",
                "ms", "%", "+ms", "");
    for (size_t index = 0; index < std::size(kCases); ++index) {
        for (int cores : {1, 2}) {
            Result result;
            if (!Measure(index, cores, seconds, result)) {
                std::printf("%-24s %5d   failed\n", kCases[index].name, cores);
                continue;
            }
            PrintRow(kCases[index], cores, result);
        }
    }
    Result result;
    if (Measure(kLongCase, 1, longSeconds, result)) {
        std::printf(
            "\n%s on 1 processor for %d s: largest delay %.1f ms in the first 10 s, "
            "%.1f ms in the last 10 s (%s), %.1f %% dropped\n",
            kCases[kLongCase].name, longSeconds, result.firstMaxMs, result.lastMaxMs,
            result.lastMaxMs <= std::max(result.firstMaxMs, 200.0) ? "no growth" : "GROWS",
            100 * result.droppedShare);
    }
    return 0;
}
