#include "recorder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <system_error>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace lumadec {

namespace {

constexpr int64_t kMicroseconds = 1000000;
constexpr AVRational kMicrosecondBase{1, 1000000};
// With a key frame and no audio yet, the header waits this long (of stream time) for the first
// audio frame, whose ADTS header tells the track's configuration.
constexpr int64_t kAudioWaitUs = 1000000;
// ... and this many frames at most, whatever their timestamps say.
constexpr size_t kMaxFramesBeforeHeader = 256;
// A cluster a second long at most, so that the file on disk follows the stream closely.
constexpr const char* kClusterTimeLimitMs = "1000";
constexpr int kSamplesPerAacFrame = 1024;
constexpr int kAdtsRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                              22050, 16000, 12000, 11025, 8000,  7350};

bool IsParameterSet(VideoCodec codec, uint8_t header) {
    if (codec == VideoCodec::H264) {
        const int type = header & 0x1f;
        return type == 7 || type == 8;  // SPS, PPS
    }
    const int type = (header >> 1) & 0x3f;
    return type >= 32 && type <= 34;  // VPS, SPS, PPS
}

// The access unit's parameter sets, each behind a four-byte start code; empty when it has none.
std::vector<uint8_t> ParameterSets(VideoCodec codec, const std::vector<uint8_t>& unit) {
    std::vector<uint8_t> sets;
    const size_t size = unit.size();
    size_t i = 0;
    while (i + 3 < size) {
        if (unit[i] != 0 || unit[i + 1] != 0 || unit[i + 2] != 1) {
            ++i;
            continue;
        }
        const size_t begin = i + 3;
        size_t end = begin;
        while (end + 2 < size && !(unit[end] == 0 && unit[end + 1] == 0 && unit[end + 2] <= 1)) {
            ++end;
        }
        if (end + 2 >= size) {
            end = size;
        }
        if (IsParameterSet(codec, unit[begin])) {
            sets.insert(sets.end(), {0, 0, 0, 1});
            sets.insert(sets.end(), unit.begin() + static_cast<std::ptrdiff_t>(begin),
                        unit.begin() + static_cast<std::ptrdiff_t>(end));
        }
        i = end;
    }
    return sets;
}

struct AdtsHeader {
    AacConfig config;
    int headerBytes = 0;  // 0: not an ADTS frame
    size_t frameLength = 0;
    int rawBlocks = 0;
};

bool ReadAdts(const std::vector<uint8_t>& frame, AdtsHeader& out) {
    const uint8_t* d = frame.data();
    if (frame.size() < 7 || d[0] != 0xff || (d[1] & 0xf6) != 0xf0) {
        return false;
    }
    out.config = {(d[2] >> 6) + 1, (d[2] >> 2) & 0xf, ((d[2] & 1) << 2) | (d[3] >> 6)};
    if (out.config.rateIndex >= static_cast<int>(std::size(kAdtsRates))) {
        return false;
    }
    out.headerBytes = (d[1] & 1) != 0 ? 7 : 9;  // protection absent: no CRC
    out.frameLength = ((d[3] & 3u) << 11) | (static_cast<size_t>(d[4]) << 3) | (d[5] >> 5);
    out.rawBlocks = (d[6] & 3) + 1;
    return true;
}

int ErrnoOf(int averror) {
    return averror < 0 && averror > -4096 ? -averror : EIO;
}

}  // namespace

std::unique_ptr<Recorder> Recorder::open(const std::string& path, const RecorderMedia& media,
                                         RecorderLimits limits, int& error) {
    error = 0;
    std::unique_ptr<Recorder> self(new Recorder(path, media, limits));
    if (avformat_alloc_output_context2(&self->context_, nullptr, "matroska", path.c_str()) < 0) {
        return nullptr;
    }
    av_opt_set(self->context_->priv_data, "cluster_time_limit", kClusterTimeLimitMs, 0);
    // Each cluster goes to the file when it is complete, not when an I/O buffer happens to fill.
    self->context_->flush_packets = 1;
    const int opened = avio_open(&self->context_->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) {
        error = ErrnoOf(opened);
        return nullptr;
    }
    self->heldVideo_ = av_packet_alloc();
    if (self->heldVideo_ == nullptr) {
        return nullptr;
    }
    try {
        self->writer_ = std::thread(&Recorder::writeLoop, self.get());
    } catch (const std::system_error&) {
        return nullptr;
    }
    return self;
}

Recorder::~Recorder() {
    close();
}

bool Recorder::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    arrived_.notify_one();
    if (writer_.joinable()) {
        writer_.join();
    }
    if (context_ != nullptr) {
        // Opened, never started: the file is empty.
        const bool empty = !headerWritten_;
        if (avio_closep(&context_->pb) < 0 && !empty) {
            fail(AVERROR(EIO));
        }
        avformat_free_context(context_);
        context_ = nullptr;
        if (empty) {
            std::remove(path_.c_str());
        }
    }
    av_packet_free(&heldVideo_);
    return !failed_;
}

bool Recorder::write(int32_t type, const uint8_t* data, int32_t length, uint64_t timestamp,
                     Clock::time_point arrival) {
    const bool video = type != LUMADEC_FRAME_AUDIO;
    const bool key = video && (type == LUMADEC_FRAME_KEY ||
                               ContainsRandomAccessPicture(media_.codec, data, length));
    std::unique_lock<std::mutex> lock(mutex_);
    if (endReason_ != LUMADEC_RECORDING_END_NONE || stopping_) {
        return false;
    }
    if (video && videoSkipsToKeyFrame_ && !key) {
        framesDropped_.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    const size_t bytes = static_cast<size_t>(length);
    if (queue_.size() >= limits_.queueFrames || queuedBytes_ + bytes > limits_.queueBytes) {
        framesDropped_.fetch_add(1, std::memory_order_relaxed);
        if (video) {
            videoSkipsToKeyFrame_ = true;
        }
        return true;
    }
    if (video) {
        videoSkipsToKeyFrame_ = false;
    }
    lock.unlock();
    // The copy is made outside the lock; the writer only takes whole frames.
    Frame frame;
    frame.type = key ? LUMADEC_FRAME_KEY : type;
    frame.timestamp = timestamp;
    frame.arrival = arrival;
    frame.data.assign(data, data + length);
    lock.lock();
    queuedBytes_ += bytes;
    queue_.push_back(std::move(frame));
    lock.unlock();
    arrived_.notify_one();
    return true;
}

void Recorder::mediaInformation(const RecorderMedia& media) {
    if (media_.sameVideo(media)) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (endReason_ == LUMADEC_RECORDING_END_NONE) {
            endReason_ = LUMADEC_RECORDING_END_MEDIA_CHANGED;
        }
    }
    arrived_.notify_one();
}

void Recorder::status(LumadecRecordingStatus& out) const {
    out.state = state_.load(std::memory_order_relaxed);
    out.endReason = finalReason_.load(std::memory_order_relaxed);
    out.error = error_.load(std::memory_order_relaxed);
    out.bytesWritten = bytesWritten_.load(std::memory_order_relaxed);
    out.durationUs = durationUs_.load(std::memory_order_relaxed);
    out.picturesWritten = picturesWritten_.load(std::memory_order_relaxed);
    out.audioFramesWritten = audioFramesWritten_.load(std::memory_order_relaxed);
    out.framesDropped = framesDropped_.load(std::memory_order_relaxed);
}

void Recorder::writeLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        arrived_.wait(lock, [this] {
            return !queue_.empty() || stopping_ || endReason_ != LUMADEC_RECORDING_END_NONE;
        });
        if (queue_.empty()) {
            break;  // stopped, or ended with everything before the end written
        }
        Frame frame = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= frame.data.size();
        lock.unlock();
        if (!failed_) {
            take(frame);
        }
        lock.lock();
    }
    const int32_t reason = endReason_;
    lock.unlock();
    finish();
    if (reason != LUMADEC_RECORDING_END_NONE && !failed_) {
        finalReason_.store(reason, std::memory_order_relaxed);
        state_.store(LUMADEC_RECORDING_ENDED, std::memory_order_relaxed);
    }
}

// One frame from the queue, on the writing thread.
void Recorder::take(Frame& frame) {
    const bool video = frame.type != LUMADEC_FRAME_AUDIO;
    AdtsHeader adts;
    if (video) {
        std::vector<uint8_t> sets = ParameterSets(media_.codec, frame.data);
        if (!sets.empty()) {
            parameterSets_ = std::move(sets);
        }
    } else if (ReadAdts(frame.data, adts) && !headerWritten_) {
        audioConfig_ = adts.config;
        haveAudioConfig_ = true;
    }
    if (!started_ && !(video && frame.type == LUMADEC_FRAME_KEY && start(frame))) {
        return;  // before the first key frame: not in the file
    }
    if (!headerWritten_) {
        beforeHeader_.push_back(std::move(frame));
        const int64_t waitedUs =
            static_cast<int64_t>(beforeHeader_.back().timestamp - beforeHeader_.front().timestamp);
        if (media_.audio && !haveAudioConfig_ && waitedUs < kAudioWaitUs &&
            beforeHeader_.size() < kMaxFramesBeforeHeader) {
            return;
        }
        writeHeaderAndWaiting();
        return;
    }
    const int64_t timeUs = fileTimeUs(frame);
    if (video) {
        writeVideo(frame, timeUs);
        return;
    }
    // One raw block per frame, whole, in the track's configuration: anything else is left out.
    if (audioStream_ < 0 || adts.headerBytes == 0 || adts.rawBlocks != 1 ||
        adts.frameLength != frame.data.size() ||
        frame.data.size() <= static_cast<size_t>(adts.headerBytes) ||
        !(adts.config == audioConfig_) || timeUs < 0) {
        framesDropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    writeAudio(frame, timeUs, kAdtsRates[adts.config.rateIndex], adts.headerBytes);
}

// The first key frame: the video track can be described once its parameter sets are known.
bool Recorder::start(const Frame& keyFrame) {
    if (parameterSets_.empty()) {
        framesDropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    started_ = true;
    lastTimestamp_ = keyFrame.timestamp;
    lastArrival_ = keyFrame.arrival;
    lastTimeUs_ = 0;
    timeOffsetUs_ = -static_cast<int64_t>(keyFrame.timestamp);
    return true;
}

void Recorder::writeHeaderAndWaiting() {
    if (!writeHeader()) {
        return;
    }
    std::vector<Frame> waiting = std::move(beforeHeader_);
    beforeHeader_.clear();
    for (Frame& frame : waiting) {
        take(frame);
    }
}

bool Recorder::writeHeader() {
    AVStream* video = avformat_new_stream(context_, nullptr);
    if (video == nullptr) {
        fail(AVERROR(ENOMEM));
        return false;
    }
    video->time_base = kMicrosecondBase;
    AVCodecParameters* par = video->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = media_.codec == VideoCodec::Hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
    par->width = media_.width;
    par->height = media_.height;
    // Annex B parameter sets: the muxer turns them and the access units into Matroska's form.
    par->extradata =
        static_cast<uint8_t*>(av_mallocz(parameterSets_.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (par->extradata == nullptr) {
        fail(AVERROR(ENOMEM));
        return false;
    }
    std::copy(parameterSets_.begin(), parameterSets_.end(), par->extradata);
    par->extradata_size = static_cast<int>(parameterSets_.size());

    if (media_.audio && haveAudioConfig_) {
        AVStream* audio = avformat_new_stream(context_, nullptr);
        if (audio == nullptr) {
            fail(AVERROR(ENOMEM));
            return false;
        }
        audio->time_base = kMicrosecondBase;
        AVCodecParameters* a = audio->codecpar;
        a->codec_type = AVMEDIA_TYPE_AUDIO;
        a->codec_id = AV_CODEC_ID_AAC;
        a->sample_rate = kAdtsRates[audioConfig_.rateIndex];
        av_channel_layout_default(&a->ch_layout, audioConfig_.channels);
        a->frame_size = kSamplesPerAacFrame;
        // AudioSpecificConfig: object type, rate index, channel configuration.
        a->extradata = static_cast<uint8_t*>(av_mallocz(2 + AV_INPUT_BUFFER_PADDING_SIZE));
        if (a->extradata == nullptr) {
            fail(AVERROR(ENOMEM));
            return false;
        }
        a->extradata[0] =
            static_cast<uint8_t>((audioConfig_.objectType << 3) | (audioConfig_.rateIndex >> 1));
        a->extradata[1] = static_cast<uint8_t>(((audioConfig_.rateIndex & 1) << 7) |
                                               (audioConfig_.channels << 3));
        a->extradata_size = 2;
        audioStream_ = audio->index;
    }
    const int written = avformat_write_header(context_, nullptr);
    if (written < 0) {
        fail(written);
        return false;
    }
    headerWritten_ = true;
    state_.store(LUMADEC_RECORDING_RUNNING, std::memory_order_relaxed);
    bytesWritten_.store(static_cast<uint64_t>(avio_tell(context_->pb)), std::memory_order_relaxed);
    return true;
}

// The frame's place in the file, in microseconds from the first key frame.
int64_t Recorder::fileTimeUs(const Frame& frame) {
    const int64_t stampStep = static_cast<int64_t>(frame.timestamp - lastTimestamp_);
    const int64_t arrivalStep =
        std::chrono::duration_cast<std::chrono::microseconds>(frame.arrival - lastArrival_).count();
    const int64_t jumpUs =
        std::chrono::duration_cast<std::chrono::microseconds>(kTimestampJump).count();
    if (stampStep - arrivalStep > jumpUs || arrivalStep - stampStep > jumpUs) {
        // Another clock: go on from the last frame by the time that passed.
        timeOffsetUs_ = lastTimeUs_ + arrivalStep - static_cast<int64_t>(frame.timestamp);
    }
    lastTimestamp_ = frame.timestamp;
    lastArrival_ = frame.arrival;
    lastTimeUs_ = static_cast<int64_t>(frame.timestamp) + timeOffsetUs_;
    return lastTimeUs_;
}

void Recorder::writeVideo(Frame& frame, int64_t timeUs) {
    // Pictures follow each other in the file, at least a millisecond (its unit) apart; one that
    // would not comes a picture's time after the one before.
    constexpr int64_t kFileUnitUs = kMicroseconds / 1000;
    if (lastVideoUs_ >= 0 && timeUs < lastVideoUs_ + kFileUnitUs) {
        timeUs = lastVideoUs_ + std::max(lastVideoDurationUs_, kFileUnitUs);
    }
    if (heldVideo_->data != nullptr) {
        lastVideoDurationUs_ = timeUs - heldVideo_->pts;
        heldVideo_->duration = lastVideoDurationUs_;
        if (!writePacket(heldVideo_)) {
            return;
        }
    }
    lastVideoUs_ = timeUs;
    if (av_new_packet(heldVideo_, static_cast<int>(frame.data.size())) < 0) {
        fail(AVERROR(ENOMEM));
        return;
    }
    std::copy(frame.data.begin(), frame.data.end(), heldVideo_->data);
    heldVideo_->pts = timeUs;
    heldVideo_->dts = timeUs;
    heldVideo_->stream_index = 0;
    heldVideo_->time_base = kMicrosecondBase;
    if (frame.type == LUMADEC_FRAME_KEY) {
        heldVideo_->flags |= AV_PKT_FLAG_KEY;
    }
    picturesWritten_.fetch_add(1, std::memory_order_relaxed);
}

void Recorder::writeAudio(const Frame& frame, int64_t timeUs, int rate, int headerBytes) {
    timeUs = std::max(timeUs, lastAudioUs_);
    lastAudioUs_ = timeUs;
    AVPacket* packet = av_packet_alloc();
    const int size = static_cast<int>(frame.data.size()) - headerBytes;
    if (packet == nullptr || av_new_packet(packet, size) < 0) {
        av_packet_free(&packet);
        fail(AVERROR(ENOMEM));
        return;
    }
    std::copy(frame.data.begin() + headerBytes, frame.data.end(), packet->data);
    packet->pts = timeUs;
    packet->dts = timeUs;
    packet->duration = kSamplesPerAacFrame * kMicroseconds / rate;
    packet->stream_index = audioStream_;
    packet->flags |= AV_PKT_FLAG_KEY;
    if (writePacket(packet)) {
        audioFramesWritten_.fetch_add(1, std::memory_order_relaxed);
    }
    av_packet_free(&packet);
}

// Hands the packet to the muxer (which takes its data) and notes how far the file has come.
bool Recorder::writePacket(AVPacket* packet) {
    const int64_t endUs = packet->pts + packet->duration;
    av_packet_rescale_ts(packet, kMicrosecondBase,
                         context_->streams[packet->stream_index]->time_base);
    const int written = av_interleaved_write_frame(context_, packet);
    if (written < 0 || context_->pb->error < 0) {
        fail(written < 0 ? written : context_->pb->error);
        return false;
    }
    if (endUs > static_cast<int64_t>(durationUs_.load(std::memory_order_relaxed))) {
        durationUs_.store(static_cast<uint64_t>(endUs), std::memory_order_relaxed);
    }
    bytesWritten_.store(static_cast<uint64_t>(avio_tell(context_->pb)), std::memory_order_relaxed);
    return true;
}

// The file's end: the last picture (as long as the one before it), the muxer's queue, the index.
void Recorder::finish() {
    if (!headerWritten_ && started_ && !failed_) {
        // Stopped while the header waited for audio: the file goes without.
        writeHeaderAndWaiting();
    }
    if (!headerWritten_) {
        return;
    }
    if (!failed_ && heldVideo_->data != nullptr) {
        heldVideo_->duration = lastVideoDurationUs_;
        writePacket(heldVideo_);
    }
    // After a failure the index and sizes cannot be written either, most likely; what is on disk
    // then reads without them.
    const int ended = av_write_trailer(context_);
    if (!failed_ && (ended < 0 || context_->pb->error < 0)) {
        fail(ended < 0 ? ended : context_->pb->error);
    }
    avio_flush(context_->pb);
    bytesWritten_.store(static_cast<uint64_t>(avio_tell(context_->pb)), std::memory_order_relaxed);
}

void Recorder::fail(int averror) {
    if (failed_) {
        return;
    }
    failed_ = true;
    error_.store(ErrnoOf(averror), std::memory_order_relaxed);
    finalReason_.store(LUMADEC_RECORDING_END_WRITE_FAILED, std::memory_order_relaxed);
    state_.store(LUMADEC_RECORDING_ENDED, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(mutex_);
    if (endReason_ == LUMADEC_RECORDING_END_NONE) {
        endReason_ = LUMADEC_RECORDING_END_WRITE_FAILED;
    }
}

}  // namespace lumadec
