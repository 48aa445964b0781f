/*
 * Lumadec: decodes a live H.264/H.265 + AAC stream and draws it into a native window.
 *
 * Plain C interface. A player is used by one thread at a time (the thread that feeds it); several
 * players may live at once. Nothing here ever exits the process or raises a signal on bad input:
 * undecodable data only counts as a decode error.
 *
 * Threads: Lumadec calls nothing back. Each player has one thread of its own, which decodes and
 * draws the video. LUMADEC_WriteFrame only copies a video frame into the player's short queue and
 * returns, so the thread that feeds a live stream never waits for the decoder. A picture that
 * comes out of the decoder more than 150 ms after its frame arrived is not drawn (decoding goes
 * on, and catches up the sooner). When queued frames would be decoded more than 500 ms after their
 * arrival (their wait so far and the decoder's time for them and the frames before them), or 32
 * frames wait, the decoder is behind beyond catching up, and whole groups of pictures are dropped:
 * every queued frame before the newest key frame, or, with none queued, everything up to the next
 * key frame, which is then shown. Audio is decoded and handed to the sound server on the calling
 * thread, and never dropped for video's sake.
 *
 * The video decoder uses slice threads, which hold no picture back. A stream that it does not
 * decode in real time that way (measured: decoding and drawing take more than 85 % of the time
 * between frames, or pictures had to be dropped) first makes it skip its loop filters on all but
 * key frames (about a fifth less work; the filters come back once decoding takes less than half the
 * time), and, if that is not enough and the process may use more than one processor, turn to frame
 * threads at the next key frame (up to four, each holding the picture back by one frame). The
 * statistics tell which is in use.
 *
 * Window: each player has its own connection to the X display named by DISPLAY and draws into
 * the window with MIT-SHM where the server offers it (plain put-image otherwise). The picture keeps
 * its shape, centred, with black bars, and follows the window's size. No display, no such window
 * or a window destroyed while the player draws are not errors: the player then decodes and counts
 * without drawing. Close the player before destroying the window when you can.
 *
 * Sound: played through the PulseAudio client (PipeWire desktops serve it too), about 80 ms
 * behind its arrival. The connection is made without blocking; while it is being made, and when
 * no server answers within 2 seconds, audio is decoded and dropped. Audio that arrives faster than
 * it plays is dropped, not queued.
 *
 * Frame calls never wait for anything but the audio decoder and, briefly, the queue's lock.
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
    /* Video frames not shown because the decoder fell behind: pictures decoded too late to be
     * drawn, and frames dropped undecoded (whole groups of pictures). */
    uint64_t framesDropped;
    uint32_t framesPending; /* video frames queued or being decoded */
    /* How long after its frame's arrival (the write call) each picture was drawn (decoded, with no
     * window), over the pictures of the last second: median, 95th percentile and maximum. */
    uint32_t delayP50Us;
    uint32_t delayP95Us;
    uint32_t delayMaxUs;
    /* When the first picture was drawn (decoded, with no window), in microseconds of the
     * monotonic clock (CLOCK_MONOTONIC); 0 before. */
    uint64_t firstPictureTimeUs;
    int32_t decoderThreads; /* threads of the video decoder */
    int32_t frameThreading; /* 1: frame threads (pictures held back), 0: slice threads */
    /* How long until sound written now is heard, -1 while not known (no sound playing). */
    int32_t soundLatencyUs;
    int32_t sharedMemory; /* 1 while pictures reach the display through MIT-SHM */
    /* 1 while the decoder skips its loop filters (deblocking) on all but key frames to keep up */
    int32_t loopFilterSkipped;
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

/* Takes one frame. `frame` and its bytes are read during the call only. Audio is decoded and
 * played at once; a video frame is queued for the player's thread (or dropped, see Threads), which
 * decodes and draws it. Video frames before the first key frame (type 1, or an IDR/IRAP picture
 * inside) are skipped; so are those after eight rejected frames in a row, until the next key
 * frame. Returns 0 when the frame was taken, -1 for a missing argument (no data, length <= 0), an
 * audio frame the decoder rejects or no memory. Video decoding errors only count. */
LUMADEC_API int LUMADEC_WriteFrame(LumadecPlayer* player, const LumadecFrame* frame);

/* Stops the player's thread (after the picture it is on), stops sound, releases the decoders and
 * the window resources and frees the player. NULL does nothing. Returns 0. */
LUMADEC_API int LUMADEC_ClosePlayer(LumadecPlayer* player);

/* Copies the player's counters into `out`. Unlike the other calls it may run on any thread while
 * the player is being fed (each counter is read atomically; together they are a near snapshot).
 * Returns 0, or -1 when an argument is missing. */
LUMADEC_API int LUMADEC_GetStatistics(const LumadecPlayer* player, LumadecStatistics* out);

/*
 * Snapshot: the player's last decoded picture, at the stream's own size (not the window's), as
 * 8-bit RGB: `height` rows of `stride` bytes, each pixel R, G, B. Freed with LUMADEC_FreePicture.
 */
typedef struct LumadecPicture {
    int32_t width;
    int32_t height;
    int32_t stride;
    uint8_t* pixels;
} LumadecPicture;

/* Copies and converts the last picture the player decoded. Like LUMADEC_GetStatistics it may run
 * on any thread while the player is being fed, but not during or after LUMADEC_ClosePlayer. The
 * conversion runs on the calling thread (a few milliseconds for 1920 x 1080). Returns NULL when
 * no picture was decoded yet, the argument is missing or memory is short. */
LUMADEC_API LumadecPicture* LUMADEC_GetPicture(const LumadecPlayer* player);
/* Frees a picture of LUMADEC_GetPicture. NULL does nothing. */
LUMADEC_API void LUMADEC_FreePicture(LumadecPicture* picture);

/*
 * Recording: a live stream written to a Matroska file (.mkv) as it arrives, video and audio
 * without re-encoding. A recorder is independent of any player: it is fed the same frames, and
 * may outlive the players of several connections of one stream.
 *
 * Threads: the frame calls (LUMADEC_WriteRecording, LUMADEC_RecordingMediaInfo) come from one
 * thread at a time and never wait for the disk: each frame is copied into a bounded queue (16 MiB,
 * 1024 frames), and a thread of the recorder's own writes the file. When the queue is full, video
 * is dropped from the frame that does not fit up to the next key frame (whole groups of pictures),
 * audio frame by frame; the status counts them. LUMADEC_GetRecordingStatus may run on any thread.
 *
 * The file starts at the first key frame written (audio before it is left out). Timestamps are
 * taken as microseconds of one clock for video and audio; the file's time is 0 at that key frame.
 * Where a frame's timestamp moves against its arrival by more than 3 seconds (a stream that
 * restarted its clock), the file goes on by the arrival times from there. Video is H.264 or H.265
 * in Annex B form with its parameter sets in the key frames; audio AAC in ADTS form.
 *
 * The recording ends by itself, the file complete up to there, when a write fails (a full disk:
 * what was written stays readable) or when media information with another picture size or codec
 * comes; it then takes no more frames until it is closed.
 */
typedef struct LumadecRecorder LumadecRecorder;

/* state */
#define LUMADEC_RECORDING_WAITING 0 /* no key frame yet: the file holds nothing */
#define LUMADEC_RECORDING_RUNNING 1
#define LUMADEC_RECORDING_ENDED 2 /* by itself, see endReason */

/* endReason */
#define LUMADEC_RECORDING_END_NONE 0
#define LUMADEC_RECORDING_END_WRITE_FAILED 1  /* error holds the errno value */
#define LUMADEC_RECORDING_END_MEDIA_CHANGED 2 /* another picture size or codec came */

typedef struct LumadecRecordingStatus {
    int32_t state;
    int32_t endReason;
    int32_t error; /* errno value of the failed write (ENOSPC, EFBIG, EIO ...), 0 otherwise */
    uint64_t bytesWritten;
    uint64_t durationUs; /* the file's length so far */
    uint64_t picturesWritten;
    uint64_t audioFramesWritten;
    uint64_t framesDropped; /* frames that found the queue full, or came in a form not recorded */
} LumadecRecordingStatus;

/* Creates the file at `path` (UTF-8; replaced if it exists) for a stream of this description:
 * `video` must be given; `audio` NULL records no sound. Returns NULL when an argument is missing
 * or the file cannot be created; `error` (may be NULL) then gets the errno value (0 when the reason
 * is none of the file's, such as no memory). Blocks only for the creation of the file. */
LUMADEC_API LumadecRecorder* LUMADEC_OpenRecording(const char* path,
                                                   const LumadecVideoDescription* video,
                                                   const LumadecAudioDescription* audio,
                                                   int32_t* error);
/* Queues one frame (read during the call only). Returns 0 when taken or dropped to keep up, -1
 * for a missing argument or a recording that has ended. */
LUMADEC_API int LUMADEC_WriteRecording(LumadecRecorder* recorder, const LumadecFrame* frame);
/* The stream's media information, each time it comes: another picture size or codec than the
 * recorder was opened with ends the recording. Returns 0, or -1 when an argument is missing. */
LUMADEC_API int LUMADEC_RecordingMediaInfo(LumadecRecorder* recorder,
                                           const LumadecVideoDescription* video);
/* Copies the recording's state and counters into `out`. Returns 0, or -1 when an argument is
 * missing. */
LUMADEC_API int LUMADEC_GetRecordingStatus(const LumadecRecorder* recorder,
                                           LumadecRecordingStatus* out);
/* Writes what is queued, ends the file so that it plays to its end, and frees the recorder. Blocks
 * until the file is closed (the queue's frames written: normally well under a second). A file that
 * never got a key frame holds nothing and is removed. NULL does nothing. Returns 0, or -1 when the
 * end of the file could not be written (the recording had failed, or failed now). */
LUMADEC_API int LUMADEC_CloseRecording(LumadecRecorder* recorder);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* LUMADEC_H */
