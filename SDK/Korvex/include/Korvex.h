/*
 * Korvex: control, live stream and firmware upload for HDMI-over-IP extenders speaking "HDMI/1.0".
 *
 * Plain C99 interface. Every device operation opens a TCP connection of its own to the device's
 * control port, sends one request, reads one answer and closes; nothing is kept open between calls,
 * so a session survives device restarts and network loss without any action by the caller.
 *
 * Results
 *   Functions that return int use 0 for success, -1 for failure and -2 for a missing session
 *   handle. There are no error texts and no other error codes. These values never change.
 *
 * Threads
 *   - The caller's threads: every function may be called from any thread, also for one session at
 *     the same time (each call uses its own connection). Exceptions: KORVEX_Upgrade must not run on
 *     two threads for the same session at once, and KORVEX_StopPlay must not be called from one of
 *     the stream's own callbacks.
 *   - One receive thread per started stream (KORVEX_StartPlay). It runs the stream callbacks
 *     (onMediaInfo, onFrame, onStreamEnd) and delivers session events 0 to 4 of that stream.
 *   - One upload thread per started firmware upload (KORVEX_Upgrade). It delivers session events
 *     1000 to 1004.
 *   Callbacks never run on the caller's thread, and one session's callback may run on several
 *     threads at the same time. The library holds no lock while it calls back.
 *
 * Rules inside a callback
 *   - Return quickly: a stream callback that blocks stalls the stream.
 *   - Never call KORVEX_StopPlay for the stream that is calling you, and never wait there for a
 *     thread that is inside KORVEX_StopPlay.
 *   - Records and the bytes they point to are valid only during the call: copy what you keep.
 */
#ifndef KORVEX_H
#define KORVEX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* On Windows the functions are exported while the library itself is compiled (its build defines
 * KORVEX_BUILDING_LIBRARY) and imported by every program that uses it. */
#if defined(_WIN32)
#if defined(KORVEX_BUILDING_LIBRARY)
#define KORVEX_API __declspec(dllexport)
#else
#define KORVEX_API __declspec(dllimport)
#endif
#define KORVEX_CALL __cdecl
#else
#define KORVEX_API __attribute__((visibility("default")))
#define KORVEX_CALL
#endif

/* ---------------------------------------------------------------------------------------------
 * Sessions and events
 * ------------------------------------------------------------------------------------------- */

/* Opaque session handle, allocated by KORVEX_Login and freed by KORVEX_Logout. */
typedef struct KorvexSession KorvexSession;

/* Filled by the caller and read once by KORVEX_Login. */
typedef struct KorvexLoginInfo {
    char host[64]; /* dotted IPv4 address or host name, zero-terminated, at most 63 characters */
    int32_t port;  /* TCP control port of the device (15380 on the installation) */
} KorvexLoginInfo;

/* Session events, delivered to the KorvexSessionCallback. */
enum {
    KORVEX_STREAM_CONNECTING = 0,     /* stream thread: before each connection attempt */
    KORVEX_STREAM_CONNECT_FAILED = 1, /* stream thread: the TCP connection was not made */
    KORVEX_STREAM_STARTED = 2,        /* stream thread: the device accepted PLAY */
    KORVEX_STREAM_ENDED = 3,          /* stream thread: an established stream connection ended */
    KORVEX_STREAM_DATA_LOST = 4,   /* stream thread, UDP only: gap, unfinished or oversized frame */
    KORVEX_UPGRADE_STARTED = 1000, /* upload thread: first thing, before connecting */
    KORVEX_UPGRADE_PROGRESS = 1001, /* upload thread: data points at an int32_t percentage 0..100 */
    KORVEX_UPGRADE_SENT = 1002,     /* upload thread: whole image sent, waiting for the verdict */
    KORVEX_UPGRADE_SUCCEEDED = 1003, /* upload thread: the device answered "HDMI/1.0 200 OK" */
    KORVEX_UPGRADE_FAILED = 1004     /* upload thread: any failure of the upload */
};

/*
 * Session event callback. `data` is NULL for every event but KORVEX_UPGRADE_PROGRESS, where it
 * points at an int32_t valid only during the call. `user` is the pointer given to KORVEX_Login.
 * Called on the stream thread (events 0..4) or the upload thread (1000..1004), never on the
 * caller's thread.
 */
typedef void(KORVEX_CALL* KorvexSessionCallback)(KorvexSession* session, int32_t event, void* data,
                                                 void* user);

/* ---------------------------------------------------------------------------------------------
 * Configuration codes and records (KORVEX_GetConfig / KORVEX_SetConfig)
 *
 * The record belongs to the caller; a Get writes into it only during the call, on the calling
 * thread. All numbers are int32_t, texts are zero-terminated and fixed in size, and the library
 * passes values through unchanged.
 * ------------------------------------------------------------------------------------------- */

#define CFG_ACTUATOR_MOVE 1    /* Set: ActuatorMoveRequest, "ACTUATOR_MOVE", CHN 0 */
#define CFG_GET_VIDEOSRC 10000 /* Get: VideoSourceInfo, CHN 0 */
#define CFG_GET_VIDEOENC 10002 /* Get: VideoEncodeConfig, CHN = the call's channel argument */
#define CFG_SET_VIDEOENC 10003 /* Set: VideoEncodeConfig, CHN = the call's channel argument */
#define CFG_GET_SYSINFO 10004  /* Get: SystemInfo, CHN 0 */
#define CFG_GET_AUDIOSRC 10005 /* Get: AudioSourceInfo, CHN 0 */
#define CFG_GET_AUDIOENC 10007 /* Get: AudioEncodeConfig, CHN 0 */
#define CFG_SET_AUDIOENC 10008 /* Set: AudioEncodeConfig, CHN 0 */
#define CFG_GET_TTL 10009      /* Get: TtlConfig, CHN = record's chn */
#define CFG_SET_TTL 10010      /* Set: TtlConfig, CHN = record's chn */
#define CFG_GET_RECV 10011     /* Get: ReceiveConfig, CHN = record's chn */
#define CFG_SET_RECV 10012     /* Set: ReceiveConfig, CHN = record's chn ("RECV") */
#define CFG_GET_DISPLAY 10013  /* Get: DisplayConfig, CHN 0 */
#define CFG_SET_DISPLAY 10014  /* Set: DisplayConfig, CHN 0 */

typedef struct VideoSourceInfo {
    int32_t width;
    int32_t height;
    int32_t freq;
    int32_t scan;
} VideoSourceInfo;

typedef struct SystemInfo {
    char softVer[32];
    char hardVer[32];
    char serial[32];
    char model[32];
} SystemInfo;

typedef struct VideoEncodeConfig {
    int32_t codec;
    int32_t width;
    int32_t height;
    int32_t frameRate; /* frames per second */
    int32_t bitrate;
    int32_t rc;
    int32_t keyGop;
    int32_t quality;
    int32_t profile;
} VideoEncodeConfig;

typedef struct AudioSourceInfo {
    int32_t samples;
    int32_t channel;
} AudioSourceInfo;

typedef struct AudioEncodeConfig {
    int32_t enable;
    int32_t codec;
    int32_t samples;
    int32_t channel;
    int32_t bitWidth;
    int32_t bitrate;
} AudioEncodeConfig;

typedef struct TtlConfig {
    int32_t
        chn; /* sent as the CHN header (and as the body line CHN= by SET_TTL); never read back */
    int32_t client;
    int32_t mode;
    int32_t baudrate;
    int32_t port;
    int32_t peerPort;
    char peerAddr[24];
} TtlConfig;

typedef struct ReceiveConfig {
    int32_t chn; /* sent as the CHN header; never read back */
    char rendpt[24];
    int32_t rport;
    int32_t transport;
} ReceiveConfig;

/* One picture window on the receiver's output, in percent of the output picture. */
typedef struct DisplayWindow {
    int32_t id; /* channel shown in the window */
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
} DisplayWindow;

#define KORVEX_MAX_DISPLAY_WINDOWS 5

typedef struct DisplayConfig {
    int32_t audio;       /* channel whose sound is played, -1 for none */
    char resolution[64]; /* output mode text, such as "1080P60" or "3840x2160P30" */
    int32_t count;       /* valid entries in windows, 0..5 */
    DisplayWindow windows[KORVEX_MAX_DISPLAY_WINDOWS];
} DisplayConfig;

typedef struct ActuatorMoveRequest {
    int32_t id;
    int32_t orient;
    int32_t angle;
} ActuatorMoveRequest;

/* ActuatorMoveRequest.orient. INC and DEC move the actuator on until a STOP; GOTO moves it to
 * `angle`. Every orient but GOTO sends angle 0. */
#define KORVEX_ACTUATOR_STOP 0
#define KORVEX_ACTUATOR_GOTO 1
#define KORVEX_ACTUATOR_INC 2
#define KORVEX_ACTUATOR_DEC 3

/* The GOTO angle for an output of 0 to 100 percent: percent / 100 * 90 + 42, computed in single
 * precision in that order and truncated toward zero, so 0 gives 42, 50 gives 87 and 100 gives
 * 132. Nothing limits `percent`: a caller that may hold a value outside 0..100 limits it first. */
#define KORVEX_ACTUATOR_ANGLE(percent) ((int32_t)((float)(percent) / 100.0f * 90.0f + 42.0f))

/* The records cross the library boundary by pointer and size: their layout is fixed. */
#define KORVEX_CHECK_SIZE(type, bytes) \
    typedef char korvex_size_check_##type[sizeof(type) == (bytes) ? 1 : -1]
KORVEX_CHECK_SIZE(ActuatorMoveRequest, 12);
KORVEX_CHECK_SIZE(VideoEncodeConfig, 36);
KORVEX_CHECK_SIZE(TtlConfig, 48);
KORVEX_CHECK_SIZE(SystemInfo, 128);
KORVEX_CHECK_SIZE(DisplayConfig, 172);

/* ---------------------------------------------------------------------------------------------
 * Live stream
 * ------------------------------------------------------------------------------------------- */

/* Opaque stream handle, allocated by KORVEX_StartPlay and freed by KORVEX_StopPlay. */
typedef struct KorvexStream KorvexStream;

#define KORVEX_TRANSPORT_TCP 0 /* stream packets on the control connection */
#define KORVEX_TRANSPORT_UDP 1 /* stream packets as datagrams to a local port (25000..44999) */

/*
 * Stream packets: a 24-byte little-endian header (magic, type and fragment bits, payload length,
 * sequence number, timestamp), then the payload. The packet type becomes KorvexFrameInfo.type;
 * types other than those below are passed on unchanged as frames.
 *
 * What reaches onFrame:
 *   - TCP: one packet is one frame. A connection's frames are passed on only after an accepted
 *     media-information record (one naming a picture size below; a record of another size is
 *     ignored, and a frame packet before any accepted record ends the connection), and only from
 *     the connection's first key frame on: nothing, audio included, comes before a
 *     KORVEX_PACKET_KEY_FRAME.
 *   - UDP: fragments are put together into frames; frames are passed on from the first datagram
 *     on, without waiting for a key frame or for media information, and media information of any
 *     picture size is passed on. A decoder must itself skip what comes before a key frame.
 *   - A frame holds at most KORVEX_MAX_FRAME_SIZE bytes (4 MiB, the stream's one buffer). On TCP
 *     the whole packet, header included, must fit: a larger one is dropped, without an event, and
 *     reception resynchronises at a following packet. On UDP a larger frame is passed on cut to
 *     that size, with KORVEX_STREAM_DATA_LOST.
 */
#define KORVEX_PACKET_MAGIC 0x20160520u
#define KORVEX_PACKET_HEADER_SIZE 24
#define KORVEX_PACKET_KEY_FRAME 1   /* video key frame: decoding can start here */
#define KORVEX_PACKET_VIDEO_FRAME 2 /* video frame that is not a key frame */
#define KORVEX_PACKET_AUDIO 3       /* AAC audio in ADTS form */
#define KORVEX_PACKET_MEDIA_INFO 10 /* media information (KorvexMediaInfo) */

/* The stream's buffer: the largest frame (UDP) or packet with its header (TCP), in bytes. */
#define KORVEX_MAX_FRAME_SIZE 4194304

/* Picture sizes (width x height) that a media-information record must name on TCP:
 * 352x288, 720x576, 1280x720, 1920x1080 and 3840x2160. */

/* A frame handed to onFrame. `data` points into the stream's own buffer. */
typedef struct KorvexFrameInfo {
    int32_t type;   /* packet type: KORVEX_PACKET_KEY_FRAME, _VIDEO_FRAME, _AUDIO, or other */
    int32_t length; /* number of bytes at data */
    /* The packet header's timestamp, passed on unchanged (on UDP the fragments of one frame share
     * it, and a new one starts a new frame). The protocol does not fix its unit. devicesim
     * sends microseconds on one clock for video and audio: the Unix time (UTC) at which the
     * stream began plus the frame's place in the stream, rising by 1000000/fps per picture and
     * by 1024000000/rate per AAC frame. Real devices may count otherwise: check yours. */
    uint64_t timestamp;
    const uint8_t* data; /* the frame's payload; valid only during the call */
} KorvexFrameInfo;

/* Media information, taken from the 20-byte payload of a type-10 packet. */
typedef struct KorvexMediaInfo {
    int32_t contentMask; /* 1 = video only, 3 = video and audio */
    int32_t width;
    int32_t height;
    int32_t videoCodec; /* 1 = H.265, any other value = H.264 */
    int32_t audioParam0;
    int32_t audioParam1;
    int32_t audioParam2;
    int32_t audioParam3;
    int32_t audioParam4;
} KorvexMediaInfo;

/* Stream callbacks, all on the stream's receive thread; results are ignored. */
typedef int(KORVEX_CALL* KorvexMediaInfoCallback)(KorvexSession* session, KorvexStream* stream,
                                                  const KorvexMediaInfo* info, void* user);
typedef int(KORVEX_CALL* KorvexFrameCallback)(KorvexSession* session, KorvexStream* stream,
                                              const KorvexFrameInfo* frame, void* user);
typedef void(KORVEX_CALL* KorvexStreamEndCallback)(KorvexSession* session, KorvexStream* stream,
                                                   void* user);

/* Given to KORVEX_StartPlay, copied, not kept. */
typedef struct KorvexPlayParams {
    int32_t channel;                     /* sent as CHN in the PLAY request */
    int32_t transport;                   /* KORVEX_TRANSPORT_TCP or KORVEX_TRANSPORT_UDP */
    KorvexMediaInfoCallback onMediaInfo; /* each accepted media-information record; may be NULL */
    KorvexFrameCallback onFrame;         /* each frame; may be NULL */
    KorvexStreamEndCallback onStreamEnd; /* an established stream connection ended; may be NULL */
    void* user;                          /* handed back with every stream callback */
} KorvexPlayParams;

/* ---------------------------------------------------------------------------------------------
 * Functions
 * ------------------------------------------------------------------------------------------- */

/* Starts the library; call once per process before anything else. Returns 0 when ready; on
 * Windows it starts Windows Sockets 2.2 and returns WSAStartup's result (0, or its error code). */
KORVEX_API int KORVEX_CALL KORVEX_Init(void);

/* Ends the library once every session is gone. Returns 0 when done, -1 on error. */
KORVEX_API int KORVEX_CALL KORVEX_Exit(void);

/*
 * Creates a session for one device. Sends nothing and checks nothing on the network; returns at
 * once. `info` is read during the call only (the host is cut to 63 characters). `callback` may be
 * NULL; `user` is handed back with every event. Returns NULL when `info` is NULL or memory is
 * exhausted. The session belongs to the library: release it with KORVEX_Logout.
 */
KORVEX_API KorvexSession* KORVEX_CALL KORVEX_Login(const KorvexLoginInfo* info,
                                                   KorvexSessionCallback callback, void* user);

/*
 * Frees the session. NULL does nothing. Stop every stream of the session first (KORVEX_StopPlay).
 * If a firmware upload of the session is still running, this waits until it has ended (at most
 * the upload's own bounded waits; up to 3 minutes for the device's verdict) so
 * that the upload never uses a freed session. Called from inside one of the session's upload
 * events it cannot wait for itself: it returns at once, no further upload event is delivered, the
 * upload stops at its next step and its thread frees the session as it ends.
 */
KORVEX_API void KORVEX_CALL KORVEX_Logout(KorvexSession* session);

/*
 * Reads a device setting. `code` is one of the CFG_GET_ codes and `record` points at the record
 * of that code; `size` is not examined. Blocks for at most 3000 ms to connect plus `timeoutMs`
 * for the send and `timeoutMs` for each receive, 3 x `timeoutMs` for the whole answer. `channel`
 * is sent as CHN by CFG_GET_VIDEOENC. Returns 0 when the device answered "HDMI/1.0 200 OK" with
 * every key of the record; -1 on any failure (the record is untouched, or partly updated when the
 * answer lacked a key) and for a code that is not a Get code (then nothing is sent); -2 when
 * `session` is NULL. An answer that stops short of its CONTENT-LENGTH is read up to its last whole
 * line: a value cut in transit counts as missing, never as a shorter value, and a DISPLAY list cut
 * inside its brackets fails the call.
 */
KORVEX_API int KORVEX_CALL KORVEX_GetConfig(KorvexSession* session, int code, void* record,
                                            int size, int timeoutMs, int channel);

/*
 * Changes a device setting: like KORVEX_GetConfig, with the CFG_SET_ codes and CFG_ACTUATOR_MOVE.
 * The record is only read. Returns 0 when the device answered "HDMI/1.0 200 OK", -1 otherwise
 * (also for a code that is not a Set code, and for a DisplayConfig whose count lies outside 0..5;
 * then nothing is sent), -2 when `session` is NULL.
 */
KORVEX_API int KORVEX_CALL KORVEX_SetConfig(KorvexSession* session, int code, void* record,
                                            int size, int timeoutMs, int channel);

/*
 * Starts the live stream of the session's device on a receive thread of its own and returns at
 * once; connection, PLAY and reception happen on that thread, which reconnects by itself until the
 * stream is stopped: at once after a connection that brought frames, and after the first two in a
 * row that brought none; from the third such connection on, it waits as after a failed connection
 * attempt (1 s on TCP, 3 s on UDP), so that a broken device sees about one attempt a second. On
 * UDP only datagrams from the device's own address (the one the PLAY went to) are taken in; any
 * other sender's are dropped unread. `params` is copied. Returns NULL when either argument is NULL, the transport
 * is neither KORVEX_TRANSPORT_TCP nor KORVEX_TRANSPORT_UDP, or memory, a thread or a socket
 * cannot be had. The stream belongs to the library: release it with KORVEX_StopPlay.
 */
KORVEX_API KorvexStream* KORVEX_CALL KORVEX_StartPlay(KorvexSession* session,
                                                      const KorvexPlayParams* params);

/*
 * Stops the stream, waits for its receive thread to end and frees the stream; the handle is
 * invalid afterwards. Does nothing unless both arguments are given. While it waits, the receive
 * thread may still deliver frames, event 3 and onStreamEnd (when a connection was established).
 * Connection attempts, pauses and waits for data are all cut short by the stop, so it returns
 * within about 100 ms plus the time the last callback takes, whatever the stream is doing; only
 * the look-up of a host name (not of a dotted address) cannot be cut short. Never call it from the
 * stream's own callbacks.
 */
KORVEX_API void KORVEX_CALL KORVEX_StopPlay(KorvexSession* session, KorvexStream* stream);

/*
 * Uploads the firmware file at `path` (zero-terminated, the platform's narrow encoding: on
 * Windows the local code page) on an upload thread of its own and returns at once. Returns 0 when
 * the upload was started (the outcome arrives as events 1000..1004: exactly one of 1003 and 1004
 * ends it, unless the session is logged out inside an earlier event), -1 when refused (no regular
 * file at the path, an upload of this session still running, which includes a call from its own
 * 1003 or 1004 event, or no memory or thread), -2 when `session` is NULL. The path is copied
 * whole.
 */
KORVEX_API int KORVEX_CALL KORVEX_Upgrade(KorvexSession* session, const char* path);

/* Sends "SYSTEM_RESET". Blocks up to 3000 ms to connect plus 1000 ms to send and 1000 ms for each
 * receive, 3000 ms for the whole answer. Returns 0 on "HDMI/1.0 200 OK", -1 otherwise, -2 when `session` is NULL. */
KORVEX_API int KORVEX_CALL KORVEX_Reset(KorvexSession* session);

/* Sends "NET_KEYBOARD" with the key code, unchanged. Blocks up to 3000 ms to connect, 3000 ms to
 * send and 3000 ms for each receive, 9000 ms for the whole answer. Returns 0 on "HDMI/1.0 200 OK", -1 otherwise, -2 when
 * `session` is NULL. */
KORVEX_API int KORVEX_CALL KORVEX_SendRemoteKey(KorvexSession* session, int key);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KORVEX_H */
