#include "fake_lumadec.h"

#include <algorithm>
#include <chrono>

namespace {

std::mutex mutex;
std::vector<LumadecCall> calls;
int playerToken;
int recorderToken;
uint64_t recordedFrames;
LumadecVideoDescription openedSize;
uint64_t picturesSinceOpen;  // every video frame counts as a decoded picture
uint64_t firstPictureTimeUs;

void record(LumadecCall call) {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(std::move(call));
}

}  // namespace

std::vector<LumadecCall> recordedLumadecCalls() {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
}

void clearRecordedLumadecCalls() {
    std::lock_guard<std::mutex> lock(mutex);
    calls.clear();
}

extern "C" {

LumadecPlayer* LUMADEC_OpenPlayer(uint64_t window, const LumadecVideoDescription* video,
                                  const LumadecAudioDescription* audio) {
    LumadecCall call;
    call.function = "open";
    call.window = window;
    call.video = *video;
    call.hasAudio = audio != nullptr;
    if (audio != nullptr) {
        call.audio = *audio;
    }
    record(call);
    std::lock_guard<std::mutex> lock(mutex);
    picturesSinceOpen = 0;
    firstPictureTimeUs = 0;
    openedSize = *video;
    return reinterpret_cast<LumadecPlayer*>(&playerToken);
}

int LUMADEC_WriteFrame(LumadecPlayer*, const LumadecFrame* frame) {
    LumadecCall call;
    call.function = "write";
    call.type = frame->type;
    call.timestamp = frame->timestamp;
    call.data.assign(reinterpret_cast<const char*>(frame->data),
                     static_cast<size_t>(frame->length));
    record(call);
    if (frame->type != LUMADEC_FRAME_AUDIO) {
        std::lock_guard<std::mutex> lock(mutex);
        if (picturesSinceOpen++ == 0) {
            firstPictureTimeUs =
                static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
        }
    }
    return 0;
}

int LUMADEC_ClosePlayer(LumadecPlayer*) {
    LumadecCall call;
    call.function = "close";
    record(call);
    return 0;
}

int LUMADEC_GetStatistics(const LumadecPlayer*, LumadecStatistics* out) {
    LumadecStatistics counters{};
    std::lock_guard<std::mutex> lock(mutex);
    counters.framesReceived = picturesSinceOpen;
    counters.framesDecoded = picturesSinceOpen;
    counters.firstPictureTimeUs = firstPictureTimeUs;
    *out = counters;
    return 0;
}

// The picture of a player that has taken a video frame: grey, of the size it was opened with.
LumadecPicture* LUMADEC_GetPicture(const LumadecPlayer*) {
    std::lock_guard<std::mutex> lock(mutex);
    if (picturesSinceOpen == 0) {
        return nullptr;
    }
    auto* picture =
        new LumadecPicture{openedSize.width, openedSize.height, openedSize.width * 3, nullptr};
    picture->pixels = new uint8_t[size_t(picture->stride) * size_t(picture->height)];
    std::fill_n(picture->pixels, size_t(picture->stride) * size_t(picture->height), 0x80);
    return picture;
}

void LUMADEC_FreePicture(LumadecPicture* picture) {
    if (picture != nullptr) {
        delete[] picture->pixels;
        delete picture;
    }
}

// A recording that writes nothing: it counts the frames it is given.
LumadecRecorder* LUMADEC_OpenRecording(const char* path, const LumadecVideoDescription* video,
                                       const LumadecAudioDescription* audio, int32_t* error) {
    LumadecCall call;
    call.function = "record";
    call.video = *video;
    call.hasAudio = audio != nullptr;
    call.data = path;
    record(call);
    if (error != nullptr) {
        *error = 0;
    }
    std::lock_guard<std::mutex> lock(mutex);
    recordedFrames = 0;
    return reinterpret_cast<LumadecRecorder*>(&recorderToken);
}

int LUMADEC_WriteRecording(LumadecRecorder*, const LumadecFrame*) {
    std::lock_guard<std::mutex> lock(mutex);
    ++recordedFrames;
    return 0;
}

int LUMADEC_RecordingMediaInfo(LumadecRecorder*, const LumadecVideoDescription*) {
    return 0;
}

int LUMADEC_GetRecordingStatus(const LumadecRecorder*, LumadecRecordingStatus* out) {
    std::lock_guard<std::mutex> lock(mutex);
    *out = LumadecRecordingStatus{};
    out->state = recordedFrames > 0 ? LUMADEC_RECORDING_RUNNING : LUMADEC_RECORDING_WAITING;
    out->picturesWritten = recordedFrames;
    return 0;
}

int LUMADEC_CloseRecording(LumadecRecorder*) {
    LumadecCall call;
    call.function = "close recording";
    record(call);
    return 0;
}

}  // extern "C"
