/*
 * Lumadec: decodes a live H.264/H.265 + AAC stream and draws it into a native window.
 *
 * Plain C interface. A player is used by one thread at a time (the thread that feeds it); several
 * players may live at once. Nothing here ever exits the process or raises a signal on bad input:
 * undecodable data only counts as a decode error.
 *
 * Threads: Lumadec calls nothing back. Each call does its work on the caller's thread, except
 * that the video decoder keeps a few frame threads of its own (up to four, one picture of delay
 * each) between LUMADEC_OpenPlayer and LUMADEC_ClosePlayer.
 *
 * Window: each player has its own connection to the X display named by DISPLAY and draws into
 * the window with MIT-SHM where the server offers it (plain put-image otherwise). The picture keeps
 * its shape, centred, with black bars, and follows the window's size. No display, no such window
 * or a window destroyed while the player draws are not errors: the player then decodes and counts
 * without drawing. Close the player before destroying the window when you can.
 *
 * Sound: played through the PulseAudio client (PipeWire desktops serve it too). The connection is
 * made without blocking; while it is being made, and when no server answers within 2 seconds,
 * audio is decoded and dropped. Audio that arrives faster than it plays is dropped, not queued.
 *
 * Frame calls never wait for anything but the decoders and, briefly, the X server.
 */
#ifndef LUMADEC_H
#define LUMADEC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define LUMADEC_API __declspec(dllexport)
#else
#define LUMADEC_API __attribute__((visibility("default")))
#endif

typedef struct LumadecPlayer LumadecPlayer;

/* Video description: three int32 values, laid out as width, height, videoCodec inside a stream's
 * media information. videoCodec 1 is H.265, every other value H.264. */
typedef struct LumadecVideoDescription {
    int32_t width;
    int32_t height;
    int32_t videoCodec;
} LumadecVideoDescription;

/* Audio description: the five audio values of a stream's media information. */
typedef struct LumadecAudioDescription {
    int32_t param0;
    int32_t param1;
    int32_t param2;
    int32_t param3;
    int32_t param4;
} LumadecAudioDescription;

#define LUMADEC_FRAME_KEY 1   /* video key frame */
#define LUMADEC_FRAME_AUDIO 3 /* AAC audio in ADTS form */

/* One frame: laid out like the stream library's frame record (type, length, timestamp, data).
 * Type 3 is AAC in ADTS form, every other type a video access unit in Annex B form. */
typedef struct LumadecFrame {
    int32_t type;
    int32_t length;
    uint64_t timestamp;
    const uint8_t* data;
} LumadecFrame;

/* windowState: no window to draw into (none given, no display, no such window, or a visual
 * that cannot be filled); drawing into the window; the window was destroyed or the display lost. */
#define LUMADEC_WINDOW_NONE 0
#define LUMADEC_WINDOW_DRAWING 1
#define LUMADEC_WINDOW_GONE 2

/* soundState: opened without audio; connecting to the sound server; connected (audio is played);
 * no sound server could be reached (video only). */
#define LUMADEC_SOUND_NONE 0
#define LUMADEC_SOUND_CONNECTING 1
#define LUMADEC_SOUND_PLAYING 2
#define LUMADEC_SOUND_UNAVAILABLE 3

typedef struct LumadecStatistics {
    uint64_t framesReceived;      /* video frames written */
    uint64_t framesDecoded;       /* pictures out of the video decoder */
    uint64_t framesDrawn;         /* pictures put into the window */
    uint64_t audioFramesReceived; /* audio frames written */
    uint64_t audioFramesPlayed;   /* audio frames decoded and handed to the sound server */
    uint64_t decodeErrors;        /* packets or frames the decoders rejected */
    int32_t outputWidth;          /* size of the drawn picture inside the window, 0 when none */
    int32_t outputHeight;
    uint64_t framesSkipped;      /* video frames not decoded while waiting for a key frame */
    uint64_t audioFramesDecoded; /* audio frames decoded, played or not */
    int32_t windowState;         /* LUMADEC_WINDOW_NONE, _DRAWING or _GONE */
    int32_t soundState;          /* LUMADEC_SOUND_NONE, _CONNECTING, _PLAYING or _UNAVAILABLE */
} LumadecStatistics;

/*
 * Opens a player that draws into `window` (an X11 window id here; 0 means no window: decode only).
 * `video` must be given; its size is a hint only (the bitstream's size is used). `audio` may be
 * NULL: audio frames are then counted and ignored. Its five values are not needed (every ADTS
 * header names its rate and channels). Both are read during the call only.
 * Returns NULL when the video description is missing or no decoder can be had.
 */
LUMADEC_API LumadecPlayer* LUMADEC_OpenPlayer(uint64_t window, const LumadecVideoDescription* video,
                                              const LumadecAudioDescription* audio);

/* Decodes one frame and draws or plays what comes out. `frame` and its bytes are read during the
 * call only. Video frames before the first key frame (type 1, or an IDR/IRAP picture inside) are
 * skipped; so are those after eight rejected frames in a row, until the next key frame.
 * Returns 0 when the frame was taken, -1 for a missing argument (no data, length <= 0) or a decode
 * error. */
LUMADEC_API int LUMADEC_WriteFrame(LumadecPlayer* player, const LumadecFrame* frame);

/* Stops sound, releases the decoders and the window resources and frees the player. NULL does
 * nothing. Returns 0. */
LUMADEC_API int LUMADEC_ClosePlayer(LumadecPlayer* player);

/* Copies the player's counters into `out`. Unlike the other calls it may run on any thread while
 * the player is being fed (each counter is read atomically; together they are a near snapshot).
 * Returns 0, or -1 when an argument is missing. */
LUMADEC_API int LUMADEC_GetStatistics(const LumadecPlayer* player, LumadecStatistics* out);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* LUMADEC_H */
