#include "fake_lumadec.h"

#include <chrono>

namespace {

std::mutex mutex;
std::vector<LumadecCall> calls;
int playerToken;
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

}  // extern "C"
