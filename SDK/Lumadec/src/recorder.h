// A live stream written to a Matroska file as it arrives, without re-encoding.
//
// The thread that feeds the stream only copies each frame into a bounded queue and returns; a
// thread of the recorder's own muxes the frames into the file with libavformat. When the queue is
// full (the disk is slower than the stream), the video frame that does not fit and every one
// after it up to the next key frame are dropped, whole groups of pictures, so that the file never
// holds a picture whose references are missing; audio that does not fit is dropped alone.
//
// The file starts at the first key frame. The stream's timestamps (microseconds) become the
// file's timing, from 0 at that key frame; where they jump against the frames' arrival by more
// than kTimestampJump (a device that restarted its clock on a reconnection), the file goes on from
// there by the arrival times instead. A write failure (a full disk, a file size limit) ends the
// recording: what was written stays in the file, which Matroska readers read up to there.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Lumadec.h"
#include "annexb.h"
#include "frame_queue.h"

struct AVFormatContext;
struct AVPacket;

namespace lumadec {

struct RecorderMedia {
    VideoCodec codec = VideoCodec::H264;
    int width = 0;
    int height = 0;
    bool audio = false;

    bool sameVideo(const RecorderMedia& other) const {
        return codec == other.codec && width == other.width && height == other.height;
    }
};

// The AAC configuration that ADTS repeats in every frame's header and Matroska keeps once for the
// track.
struct AacConfig {
    int objectType = 0;
    int rateIndex = 0;
    int channels = 0;
    bool operator==(const AacConfig& o) const {
        return objectType == o.objectType && rateIndex == o.rateIndex && channels == o.channels;
    }
};

struct RecorderLimits {
    size_t queueBytes = size_t{16} * 1024 * 1024;
    size_t queueFrames = 1024;
};

class Recorder {
  public:
    // A jump of the timestamps against the arrival clock beyond this is a new clock, not time.
    static constexpr std::chrono::seconds kTimestampJump{3};

    // Creates the file (on the calling thread, so that a path that cannot be written is told at
    // once) and starts the writing thread. nullptr with `error` (an errno value) when not.
    static std::unique_ptr<Recorder> open(const std::string& path, const RecorderMedia& media,
                                          RecorderLimits limits, int& error);
    // Closes, if that was not done.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Feeding thread: copies the frame into the queue (or drops it, see above). False once the
    // recording has ended.
    bool write(int32_t type, const uint8_t* data, int32_t length, uint64_t timestamp,
               Clock::time_point arrival);
    // Feeding thread: the stream's media information, each time it comes. Another picture size
    // or codec ends the recording after the frames queued so far.
    void mediaInformation(const RecorderMedia& media);
    // Any thread.
    void status(LumadecRecordingStatus& out) const;
    // Writes what is queued, ends the file and stops the thread; a file that never got its first
    // key frame holds nothing and is removed. False when the file could not be written to its end.
    // Once, by the owner, when no frame call runs.
    bool close();

  private:
    struct Frame {
        int32_t type = 0;
        uint64_t timestamp = 0;
        Clock::time_point arrival;
        std::vector<uint8_t> data;
    };
    Recorder(std::string path, const RecorderMedia& media, RecorderLimits limits)
        : path_(std::move(path)), media_(media), limits_(limits) {}

    void writeLoop();
    void take(Frame& frame);
    bool start(const Frame& keyFrame);
    void writeHeaderAndWaiting();
    bool writeHeader();
    int64_t fileTimeUs(const Frame& frame);
    void writeVideo(Frame& frame, int64_t timeUs);
    void writeAudio(const Frame& frame, int64_t timeUs, int rate, int headerBytes);
    bool writePacket(AVPacket* packet);
    void finish();
    void fail(int averror);

    const std::string path_;
    const RecorderMedia media_;
    const RecorderLimits limits_;

    // The queue, between the feeding thread and the writing thread.
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Frame> queue_;
    size_t queuedBytes_ = 0;
    bool videoSkipsToKeyFrame_ = false;
    bool stopping_ = false;
    int32_t endReason_ = LUMADEC_RECORDING_END_NONE;  // once set, nothing more is queued
    std::thread writer_;

    // The writing thread's own.
    AVFormatContext* context_ = nullptr;
    AVPacket* heldVideo_ = nullptr;  // written when the next one tells its duration
    std::vector<Frame> beforeHeader_;
    bool started_ = false;
    bool headerWritten_ = false;
    bool failed_ = false;
    std::vector<uint8_t> parameterSets_;  // the latest seen, Annex B
    bool haveAudioConfig_ = false;
    AacConfig audioConfig_;
    int audioStream_ = -1;
    uint64_t lastTimestamp_ = 0;
    Clock::time_point lastArrival_;
    int64_t lastTimeUs_ = 0;
    int64_t timeOffsetUs_ = 0;
    int64_t lastVideoUs_ = -1;
    int64_t lastAudioUs_ = -1;
    int64_t lastVideoDurationUs_ = 0;

    // Readable from any thread.
    std::atomic<int32_t> state_{LUMADEC_RECORDING_WAITING};
    std::atomic<int32_t> finalReason_{LUMADEC_RECORDING_END_NONE};
    std::atomic<int32_t> error_{0};
    std::atomic<uint64_t> bytesWritten_{0};
    std::atomic<uint64_t> durationUs_{0};
    std::atomic<uint64_t> picturesWritten_{0};
    std::atomic<uint64_t> audioFramesWritten_{0};
    std::atomic<uint64_t> framesDropped_{0};
};

}  // namespace lumadec
