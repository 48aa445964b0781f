// Recording through the public calls: the file read back with libavformat and decoded with
// libavcodec, its start, its timing, its end on a failed write and on a new picture size.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "support/feed.h"

using namespace lumadec_test;

namespace {

constexpr uint64_t kStreamStartUs = 1700000000000000;  // a device's clock: the Unix time
constexpr int kFps = 30;
constexpr double kFrameSeconds = 1.0 / kFps;

// A folder of its own for each test's files, removed with them.
class Folder {
  public:
    Folder() {
        char pattern[] = "/tmp/lumadec-recording-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~Folder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Video at kFps and, when given, AAC, in the order a device sends them, with its timestamps in
// microseconds.
std::vector<EncodedFrame> DeviceStream(const VideoStreamOptions& options, int audioRate) {
    std::vector<EncodedFrame> frames = Video(options);
    for (auto& frame : frames) {
        frame.timestamp = kStreamStartUs + frame.timestamp * 1000000 / options.framesPerSecond;
    }
    if (audioRate > 0) {
        std::string error;
        const int audioFrames = options.frames * audioRate / 1024 / options.framesPerSecond;
        std::vector<EncodedFrame> audio = EncodeAac(audioRate, 2, audioFrames, &error);
        EXPECT_FALSE(audio.empty()) << error;
        // One frame every 1024 samples from the stream's start (the encoder's own times begin
        // before 0, with its priming).
        for (size_t i = 0; i < audio.size(); ++i) {
            audio[i].timestamp = kStreamStartUs + i * 1024 * 1000000 / audioRate;
        }
        frames.insert(frames.end(), audio.begin(), audio.end());
        std::stable_sort(
            frames.begin(), frames.end(),
            [](const EncodedFrame& a, const EncodedFrame& b) { return a.timestamp < b.timestamp; });
    }
    return frames;
}

int WriteRecording(LumadecRecorder* recorder, const EncodedFrame& frame) {
    const LumadecFrame record{frame.type, static_cast<int32_t>(frame.data.size()), frame.timestamp,
                              frame.data.data()};
    return LUMADEC_WriteRecording(recorder, &record);
}

LumadecRecordingStatus RecordingStatus(const LumadecRecorder* recorder) {
    LumadecRecordingStatus status{};
    EXPECT_EQ(LUMADEC_GetRecordingStatus(recorder, &status), 0);
    return status;
}

// What a player finds in a recorded file.
struct FileContents {
    bool opened = false;
    AVCodecID videoCodec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    AVCodecID audioCodec = AV_CODEC_ID_NONE;
    int sampleRate = 0;
    int channels = 0;
    double durationSeconds = 0;  // as the file says; 0 when it does not
    int videoPackets = 0;
    int audioPackets = 0;
    bool firstVideoIsKey = false;
    bool videoTimesRise = true;
    int picturesDecoded = 0;
    int decodeErrors = 0;
};

FileContents ReadBack(const std::string& path) {
    FileContents contents;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return contents;
    }
    contents.opened = avformat_find_stream_info(format, nullptr) >= 0;
    const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* decoder = nullptr;
    if (video >= 0) {
        const AVCodecParameters* par = format->streams[video]->codecpar;
        contents.videoCodec = par->codec_id;
        contents.width = par->width;
        contents.height = par->height;
        decoder = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
        avcodec_parameters_to_context(decoder, par);
        avcodec_open2(decoder, nullptr, nullptr);
    }
    if (audio >= 0) {
        const AVCodecParameters* par = format->streams[audio]->codecpar;
        contents.audioCodec = par->codec_id;
        contents.sampleRate = par->sample_rate;
        contents.channels = par->ch_layout.nb_channels;
    }
    if (format->duration != AV_NOPTS_VALUE) {
        contents.durationSeconds = double(format->duration) / AV_TIME_BASE;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* picture = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(decoder, picture) == 0) {
            ++contents.picturesDecoded;
        }
    };
    int64_t lastVideoPts = AV_NOPTS_VALUE;
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == video) {
            if (contents.videoPackets++ == 0) {
                contents.firstVideoIsKey = (packet->flags & AV_PKT_FLAG_KEY) != 0;
            }
            if (lastVideoPts != AV_NOPTS_VALUE && packet->pts <= lastVideoPts) {
                contents.videoTimesRise = false;
            }
            lastVideoPts = packet->pts;
            if (avcodec_send_packet(decoder, packet) < 0) {
                ++contents.decodeErrors;
            }
            receive();
        } else if (packet->stream_index == audio) {
            ++contents.audioPackets;
        }
        av_packet_unref(packet);
    }
    if (decoder != nullptr) {
        avcodec_send_packet(decoder, nullptr);
        receive();
    }
    av_frame_free(&picture);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return contents;
}

class Recording : public ::testing::Test {
  protected:
    Folder folder_;
};

// Joined between key frames, the file starts at the next one with the sound of the same moment,
// holds every picture from there, decodes without an error and lasts as long as its pictures.
TEST_F(Recording, H264AndAacFromTheNextKeyFrame) {
    VideoStreamOptions options;
    options.content = Content::Moving;
    options.width = 320;
    options.height = 180;
    options.frames = 3 * kFps;
    options.keyFrameInterval = kFps;
    const std::vector<EncodedFrame> stream = DeviceStream(options, 48000);
    const std::string path = folder_.file("ch1.mkv");
    const LumadecVideoDescription video = Description(320, 180);
    const LumadecAudioDescription audio{48000, 16, 2, 3, 1};
    int32_t error = -1;
    LumadecRecorder* recorder = LUMADEC_OpenRecording(path.c_str(), &video, &audio, &error);
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(error, 0);

    // From the tenth picture on: the first key frame to come is the one of second 1.
    const uint64_t joinedAt = kStreamStartUs + 10 * 1000000 / kFps;
    const uint64_t keyFrameAt = kStreamStartUs + 1000000;
    int audioFromKeyFrame = 0;
    for (const auto& frame : stream) {
        if (frame.timestamp < joinedAt) {
            continue;
        }
        if (frame.type == LUMADEC_FRAME_AUDIO && frame.timestamp >= keyFrameAt) {
            ++audioFromKeyFrame;
        }
        ASSERT_EQ(WriteRecording(recorder, frame), 0);
    }
    ASSERT_TRUE(WaitFor([&] { return RecordingStatus(recorder).picturesWritten == 2 * kFps; }));
    const LumadecRecordingStatus running = RecordingStatus(recorder);
    EXPECT_EQ(running.state, LUMADEC_RECORDING_RUNNING);
    EXPECT_EQ(running.endReason, LUMADEC_RECORDING_END_NONE);
    EXPECT_EQ(running.framesDropped, 0u);
    EXPECT_GT(running.bytesWritten, 0u);
    EXPECT_EQ(LUMADEC_CloseRecording(recorder), 0);

    const FileContents file = ReadBack(path);
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.videoCodec, AV_CODEC_ID_H264);
    EXPECT_EQ(file.width, 320);
    EXPECT_EQ(file.height, 180);
    EXPECT_EQ(file.videoPackets, 2 * kFps);
    EXPECT_TRUE(file.firstVideoIsKey);
    EXPECT_EQ(file.picturesDecoded, 2 * kFps);
    EXPECT_EQ(file.decodeErrors, 0);
    EXPECT_EQ(file.audioCodec, AV_CODEC_ID_AAC);
    EXPECT_EQ(file.sampleRate, 48000);
    EXPECT_EQ(file.channels, 2);
    EXPECT_EQ(file.audioPackets, audioFromKeyFrame);
    EXPECT_NEAR(file.durationSeconds, 2.0, kFrameSeconds);
}

// H.265 without sound; a device clock that starts again (a reconnection) moves nothing back: the
// file goes on from where it was.
TEST_F(Recording, H265AcrossAClockThatStartsAgain) {
    VideoStreamOptions options;
    options.hevc = true;
    options.width = 320;
    options.height = 240;
    options.content = Content::Moving;
    options.frames = 2 * kFps;
    options.keyFrameInterval = kFps;
    std::vector<EncodedFrame> stream = DeviceStream(options, 0);
    // The second second comes with timestamps from 0, as after a device's restart.
    for (size_t i = kFps; i < stream.size(); ++i) {
        stream[i].timestamp -= kStreamStartUs;
    }
    const std::string path = folder_.file("ch2.mkv");
    const LumadecVideoDescription video = Description(320, 240, true);
    LumadecRecorder* recorder = LUMADEC_OpenRecording(path.c_str(), &video, nullptr, nullptr);
    ASSERT_NE(recorder, nullptr);
    for (const auto& frame : stream) {
        ASSERT_EQ(WriteRecording(recorder, frame), 0);
    }
    EXPECT_EQ(LUMADEC_CloseRecording(recorder), 0);

    const FileContents file = ReadBack(path);
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.videoCodec, AV_CODEC_ID_HEVC);
    EXPECT_EQ(file.audioCodec, AV_CODEC_ID_NONE);
    EXPECT_EQ(file.videoPackets, 2 * kFps);
    EXPECT_EQ(file.picturesDecoded, 2 * kFps);
    EXPECT_EQ(file.decodeErrors, 0);
    EXPECT_TRUE(file.videoTimesRise);
    // The jump itself takes the time that passed between the two frames' arrival (next to none
    // here): one frame less than the pictures' length at most.
    EXPECT_GE(file.durationSeconds, 2.0 - 2 * kFrameSeconds);
    EXPECT_LE(file.durationSeconds, 2.0 + kFrameSeconds);
}

// A write that fails (here the process's file size limit, as a full disk would) ends the
// recording; the file keeps what was written and reads and decodes up to there.
TEST_F(Recording, AFailedWriteLeavesAReadableFile) {
    VideoStreamOptions options;
    options.content = Content::Moving;
    options.width = 640;
    options.height = 360;
    options.frames = 3 * kFps;
    options.keyFrameInterval = kFps;
    const std::vector<EncodedFrame> stream = DeviceStream(options, 48000);
    size_t streamBytes = 0;
    for (const auto& frame : stream) {
        streamBytes += frame.data.size();
    }
    const std::string path = folder_.file("full.mkv");
    const LumadecVideoDescription video = Description(640, 360);
    const LumadecAudioDescription audio{48000, 16, 2, 3, 1};
    LumadecRecorder* recorder = LUMADEC_OpenRecording(path.c_str(), &video, &audio, nullptr);
    ASSERT_NE(recorder, nullptr);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = streamBytes / 2;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    int refused = 0;
    for (const auto& frame : stream) {
        if (WriteRecording(recorder, frame) != 0) {
            ++refused;
        }
        // At the pace of a stream, so that the failure comes while it is fed.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(
        WaitFor([&] { return RecordingStatus(recorder).state == LUMADEC_RECORDING_ENDED; }));
    const LumadecRecordingStatus ended = RecordingStatus(recorder);
    EXPECT_EQ(LUMADEC_CloseRecording(recorder), -1);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(ended.endReason, LUMADEC_RECORDING_END_WRITE_FAILED);
    EXPECT_EQ(ended.error, EFBIG);
    EXPECT_GT(refused, 0);
    const FileContents file = ReadBack(path);
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.videoCodec, AV_CODEC_ID_H264);
    EXPECT_TRUE(file.firstVideoIsKey);
    EXPECT_GE(file.videoPackets, kFps / 2);
    EXPECT_LT(file.videoPackets, 3 * kFps);
    // The last packet may be cut short by the failed write; every one before it decodes.
    EXPECT_GE(file.picturesDecoded, file.videoPackets - 1);
    EXPECT_GT(file.audioPackets, 0);
}

// Another picture size ends the recording after what came before it, and a new one does not
// start by itself; the same size changes nothing.
TEST_F(Recording, AnotherPictureSizeEndsIt) {
    VideoStreamOptions options;
    options.width = 320;
    options.height = 180;
    options.frames = 2 * kFps;
    options.keyFrameInterval = kFps;
    const std::vector<EncodedFrame> stream = DeviceStream(options, 0);
    const std::string path = folder_.file("resized.mkv");
    const LumadecVideoDescription video = Description(320, 180);
    const LumadecVideoDescription larger = Description(640, 360);
    LumadecRecorder* recorder = LUMADEC_OpenRecording(path.c_str(), &video, nullptr, nullptr);
    ASSERT_NE(recorder, nullptr);
    for (int i = 0; i < kFps + 5; ++i) {
        if (stream[static_cast<size_t>(i)].type == LUMADEC_FRAME_KEY) {
            ASSERT_EQ(LUMADEC_RecordingMediaInfo(recorder, &video), 0);
        }
        ASSERT_EQ(WriteRecording(recorder, stream[static_cast<size_t>(i)]), 0);
    }
    ASSERT_EQ(LUMADEC_RecordingMediaInfo(recorder, &larger), 0);
    EXPECT_EQ(WriteRecording(recorder, stream[kFps + 5]), -1);
    ASSERT_TRUE(
        WaitFor([&] { return RecordingStatus(recorder).state == LUMADEC_RECORDING_ENDED; }));
    const LumadecRecordingStatus ended = RecordingStatus(recorder);
    EXPECT_EQ(ended.endReason, LUMADEC_RECORDING_END_MEDIA_CHANGED);
    EXPECT_EQ(ended.picturesWritten, static_cast<uint64_t>(kFps + 5));
    EXPECT_EQ(LUMADEC_CloseRecording(recorder), 0);

    const FileContents file = ReadBack(path);
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.width, 320);
    EXPECT_EQ(file.videoPackets, kFps + 5);
    EXPECT_EQ(file.picturesDecoded, kFps + 5);
    EXPECT_NEAR(file.durationSeconds, (kFps + 5) * kFrameSeconds, kFrameSeconds);
}

// A file that cannot be made is told at once; a recording that never saw a key frame leaves no
// file behind.
TEST_F(Recording, NoFileWithoutAPlaceOrAPicture) {
    const LumadecVideoDescription video = Description(320, 180);
    const std::string notAFolder = folder_.file("plain");
    std::ofstream(notAFolder) << "x";
    int32_t error = 0;
    EXPECT_EQ(LUMADEC_OpenRecording((notAFolder + "/ch1.mkv").c_str(), &video, nullptr, &error),
              nullptr);
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_EQ(LUMADEC_OpenRecording(nullptr, &video, nullptr, &error), nullptr);
    EXPECT_EQ(LUMADEC_OpenRecording(notAFolder.c_str(), nullptr, nullptr, nullptr), nullptr);

    VideoStreamOptions options;
    options.width = 320;
    options.height = 180;
    options.frames = 20;
    options.keyFrameInterval = 20;
    const std::vector<EncodedFrame> stream = DeviceStream(options, 0);
    const std::string path = folder_.file("empty.mkv");
    LumadecRecorder* recorder = LUMADEC_OpenRecording(path.c_str(), &video, nullptr, nullptr);
    ASSERT_NE(recorder, nullptr);
    for (size_t i = 1; i < stream.size(); ++i) {
        ASSERT_EQ(WriteRecording(recorder, stream[i]), 0);
    }
    EXPECT_EQ(RecordingStatus(recorder).state, LUMADEC_RECORDING_WAITING);
    EXPECT_EQ(LUMADEC_CloseRecording(recorder), 0);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    EXPECT_EQ(LUMADEC_CloseRecording(nullptr), 0);
    EXPECT_EQ(LUMADEC_WriteRecording(nullptr, nullptr), -1);
}

}  // namespace
