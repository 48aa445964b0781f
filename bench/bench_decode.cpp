// Decode and draw throughput of Lumadec on a 1080p60 H.264 stream.
//
// 1. Decode only: the stream through a player (no window) against a bare libavcodec send/receive
//    loop over the same access units, already padded, with the same decoder settings (slice
//    threads), in the same run. The ratio is Lumadec's throughput over the bare loop's (target: at
//    least 0.9). The player takes the whole stream into its queue at once and is timed until it
//    has decoded the last frame: throughput is measured here, not staying live.
// 2. Decode, scale and draw into a 1280x720 window (needs DISPLAY; scripts/bench runs this under
//    Xvfb), through MIT-SHM and through plain put-image: pictures per second and the extra cost
//    per picture over decoding alone.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "Lumadec.h"
#include "player.h"
#include "support/stream_encoder.h"
#include "support/test_display.h"
#include "video_decoder.h"

using Clock = std::chrono::steady_clock;
using lumadec_test::EncodedFrame;

namespace {

constexpr int kFrames = 240;  // four seconds of 1080p60
constexpr int kRounds = 3;    // best of, for drawing
// Decode only is quick: more rounds, alternating which loop goes first, so that a busy moment of
// a shared machine hits both alike.
constexpr int kDecodeRounds = 10;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// CPU time of the whole process (all decoder threads): the work done, which other programs on a
// shared machine disturb much less than the wall clock.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Timing {
    double wall = 1e9;
    double cpu = 1e9;
    void keep(double wallSeconds, double cpuSeconds) {
        wall = std::min(wall, wallSeconds);
        cpu = std::min(cpu, cpuSeconds);
    }
};

// The bare loop: what any program would write around libavcodec, with nothing on top.
void BareDecode(const std::vector<AVPacket*>& packets, uint64_t& pictures, Timing& timing) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    lumadec::VideoDecoder::applyLiveSettings(context, lumadec::DecoderThreading::Slice);
    avcodec_open2(context, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    pictures = 0;
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    for (AVPacket* packet : packets) {
        if (avcodec_send_packet(context, packet) < 0) {
            continue;
        }
        while (avcodec_receive_frame(context, frame) == 0) {
            ++pictures;
            av_frame_unref(frame);
        }
    }
    timing.keep(Seconds(Clock::now() - start), CpuSeconds() - cpuStart);
    av_frame_free(&frame);
    avcodec_free_context(&context);
}

// A player that queues the whole stream and keeps slice threads, as the bare loop does.
std::unique_ptr<lumadec::Player> ThroughputPlayer(uint64_t window,
                                                  lumadec::ImageTransfer transfer) {
    lumadec::PlayerOptions options;
    options.window = window;
    options.width = 1920;
    options.height = 1080;
    options.transfer = transfer;
    options.queue = lumadec::LiveQueueLimits{std::chrono::hours(1), kFrames};
    options.fixedThreading = lumadec::DecoderThreading::Slice;
    auto player = lumadec::Player::create(std::move(options));
    if (!player) {
        std::fprintf(stderr, "no player\n");
        std::exit(1);
    }
    return player;
}

// Writes the stream and waits until the player has decoded (and drawn) all of it.
void play(lumadec::Player& player, const std::vector<EncodedFrame>& stream,
          LumadecStatistics& statistics) {
    for (const EncodedFrame& frame : stream) {
        player.writeFrame(frame.type, frame.data.data(), static_cast<int32_t>(frame.data.size()),
                          Clock::now());
    }
    do {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        player.getStatistics(statistics);
    } while (statistics.framesPending > 0);
}

void LumadecDecode(const std::vector<EncodedFrame>& stream, LumadecStatistics& statistics,
                   Timing& timing) {
    auto player = ThroughputPlayer(0, lumadec::ImageTransfer::SharedMemory);
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    play(*player, stream, statistics);
    timing.keep(Seconds(Clock::now() - start), CpuSeconds() - cpuStart);
}

double PlayerDraw(const std::vector<EncodedFrame>& stream, uint64_t window,
                  lumadec::ImageTransfer transfer, uint64_t& drawn, bool& shm) {
    auto player = ThroughputPlayer(window, transfer);
    LumadecStatistics statistics{};
    const auto start = Clock::now();
    play(*player, stream, statistics);
    const double seconds = Seconds(Clock::now() - start);
    drawn = statistics.framesDrawn;
    shm = statistics.sharedMemory != 0;
    return seconds;
}

}  // namespace

int main() {
    av_log_set_level(AV_LOG_ERROR);
    // Sound plays no part here.
    setenv("PULSE_SERVER", "unix:/nonexistent/lumadec-bench", 1);

    lumadec_test::VideoStreamOptions options;
    options.width = 1920;
    options.height = 1080;
    options.framesPerSecond = 60;
    options.frames = kFrames;
    options.keyFrameInterval = 60;
    options.content = lumadec_test::Content::Moving;
    std::string error;
    auto encodeStart = Clock::now();
    const std::vector<EncodedFrame> stream = lumadec_test::EncodeVideo(options, &error);
    if (stream.empty()) {
        std::fprintf(stderr, "cannot encode the test stream: %s\n", error.c_str());
        return 1;
    }
    size_t bytes = 0;
    for (const auto& frame : stream) {
        bytes += frame.data.size();
    }
    std::printf(
        "stream: 1920x1080 H.264, %zu frames at 60 fps, %.1f Mbit/s, key frame every 60 "
        "(encoded in %.1f s)\n",
        stream.size(),
        static_cast<double>(bytes) * 8.0 * 60 / static_cast<double>(stream.size()) / 1e6,
        Seconds(Clock::now() - encodeStart));

    // The bare loop gets its packets padded before the clock starts.
    std::vector<AVPacket*> packets;
    for (const auto& frame : stream) {
        AVPacket* packet = av_packet_alloc();
        av_new_packet(packet, static_cast<int>(frame.data.size()));
        std::copy(frame.data.begin(), frame.data.end(), packet->data);
        packets.push_back(packet);
    }

    Timing bare, through;
    uint64_t barePictures = 0;
    LumadecStatistics statistics{};
    for (int round = 0; round < kDecodeRounds; ++round) {
        if (round % 2 == 0) {
            BareDecode(packets, barePictures, bare);
            LumadecDecode(stream, statistics, through);
        } else {
            LumadecDecode(stream, statistics, through);
            BareDecode(packets, barePictures, bare);
        }
    }
    for (AVPacket* packet : packets) {
        av_packet_free(&packet);
    }
    const double bareFps = kFrames / bare.wall;
    const double lumadecFps = kFrames / through.wall;
    std::printf("\n%-44s %10s %12s %14s\n", "decode only (best of 10)", "frames/s", "ms/frame",
                "CPU ms/frame");
    std::printf("%-44s %10.1f %12.2f %14.2f   (%llu pictures)\n", "bare libavcodec loop", bareFps,
                1000.0 / bareFps, 1000.0 * bare.cpu / kFrames,
                static_cast<unsigned long long>(barePictures));
    std::printf("%-44s %10.1f %12.2f %14.2f   (%llu pictures, %llu errors)\n",
                "Lumadec player, no window", lumadecFps, 1000.0 / lumadecFps,
                1000.0 * through.cpu / kFrames,
                static_cast<unsigned long long>(statistics.framesDecoded),
                static_cast<unsigned long long>(statistics.decodeErrors));
    const double ratio = lumadecFps / bareFps;
    std::printf("ratio Lumadec / bare, throughput: %.3f (target >= 0.9: %s)\n", ratio,
                ratio >= 0.9 ? "met" : "NOT met");
    std::printf("ratio Lumadec / bare, CPU work:   %.3f (less disturbed by a busy machine)\n",
                bare.cpu / through.cpu);

    if (std::getenv("DISPLAY") == nullptr) {
        std::printf("\nno DISPLAY: drawing not measured (run under xvfb-run)\n");
        return 0;
    }
    lumadec_test::TestWindow window(1280, 720);
    if (!window.valid()) {
        std::printf("\ncannot open a window on DISPLAY: drawing not measured\n");
        return 0;
    }
    std::printf("\n%-44s %10s %12s %14s\n", "decode + scale + draw into 1280x720 (best of 3)",
                "frames/s", "ms/frame", "extra ms/frame");
    for (auto transfer :
         {lumadec::ImageTransfer::SharedMemory, lumadec::ImageTransfer::PutImageOnly}) {
        double best = 1e9;
        uint64_t drawn = 0;
        bool shm = false;
        for (int round = 0; round < kRounds; ++round) {
            best = std::min(best, PlayerDraw(stream, window.id(), transfer, drawn, shm));
        }
        const double fps = kFrames / best;
        std::printf("%-44s %10.1f %12.2f %14.2f   (%llu drawn)\n", shm ? "MIT-SHM" : "put-image",
                    fps, 1000.0 / fps, 1000.0 / fps - 1000.0 / lumadecFps,
                    static_cast<unsigned long long>(drawn));
    }
    return 0;
}
