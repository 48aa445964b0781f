/*
 * korvex_example: the Korvex SDK in one short C99 program.
 *
 *   korvex_example RECEIVER_HOST:PORT TRANSMITTER_HOST:PORT [SECONDS]
 *
 * Reads the receiver's SystemInfo, puts channels 1 and 2 side by side on its output, then plays
 * the transmitter's live stream for SECONDS (default 4) and counts the frames by type. Exits 0
 * when key frames and other video frames arrived, 1 otherwise.
 *
 * Try it against the device emulator on this machine (it prints the ports it picked):
 *   devicesim --device rx@127.0.0.1:0 --device tx1@127.0.0.1:0
 */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L
#endif

#include <Korvex.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The only two things the example needs from the system: a monotonic clock and a sleep. */
#if defined(_WIN32)
#include <windows.h>

static double monotonicMs(void) {
    return (double)GetTickCount64();
}

static void sleepSeconds(int seconds) {
    Sleep((DWORD)seconds * 1000);
}
#else
#include <time.h>

static double monotonicMs(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1000.0 + (double)now.tv_nsec / 1e6;
}

static void sleepSeconds(int seconds) {
    const struct timespec pause = {seconds, 0};
    nanosleep(&pause, NULL);
}
#endif

/* Written by the stream's receive thread; read by main only after KORVEX_StopPlay has joined it. */
typedef struct Counts {
    long mediaInfo;
    long keyFrames;
    long videoFrames;
    long audioFrames;
    long otherFrames;
    long bytes;
    double firstFrameMs; /* after KORVEX_StartPlay; < 0 until the first frame */
    KorvexMediaInfo info;
} Counts;

static double playStartedMs;

/* "host:port" into a login record. */
static int parseDevice(const char* text, KorvexLoginInfo* login) {
    const char* colon = strrchr(text, ':');
    if (colon == NULL || colon == text || (size_t)(colon - text) >= sizeof login->host) {
        return -1;
    }
    memset(login, 0, sizeof *login);
    memcpy(login->host, text, (size_t)(colon - text));
    login->port = atoi(colon + 1);
    return login->port > 0 && login->port < 65536 ? 0 : -1;
}

/* Stream callbacks run on the stream's own thread: return quickly, copy what you keep. */
static int KORVEX_CALL onMediaInfo(KorvexSession* session, KorvexStream* stream,
                                   const KorvexMediaInfo* info, void* user) {
    Counts* counts = (Counts*)user;
    (void)session;
    (void)stream;
    counts->info = *info;
    ++counts->mediaInfo;
    return 0;
}

static int KORVEX_CALL onFrame(KorvexSession* session, KorvexStream* stream,
                               const KorvexFrameInfo* frame, void* user) {
    Counts* counts = (Counts*)user;
    (void)session;
    (void)stream;
    if (counts->firstFrameMs < 0) {
        counts->firstFrameMs = monotonicMs() - playStartedMs;
    }
    switch (frame->type) {
        case KORVEX_PACKET_KEY_FRAME:
            ++counts->keyFrames;
            break;
        case KORVEX_PACKET_VIDEO_FRAME:
            ++counts->videoFrames;
            break;
        case KORVEX_PACKET_AUDIO:
            ++counts->audioFrames;
            break;
        default:
            ++counts->otherFrames;
            break;
    }
    counts->bytes += frame->length;
    return 0;
}

/* Session events: the stream's connection state (also on the stream's thread). */
static void KORVEX_CALL onEvent(KorvexSession* session, int32_t event, void* data, void* user) {
    (void)session;
    (void)data;
    (void)user;
    if (event == KORVEX_STREAM_STARTED) {
        printf("stream: started after %.0f ms\n", monotonicMs() - playStartedMs);
    } else if (event == KORVEX_STREAM_CONNECT_FAILED) {
        printf("stream: no connection, trying again\n");
    }
}

int main(int argc, char** argv) {
    KorvexLoginInfo receiverLogin;
    KorvexLoginInfo transmitterLogin;
    if (argc < 3 || parseDevice(argv[1], &receiverLogin) != 0 ||
        parseDevice(argv[2], &transmitterLogin) != 0) {
        fprintf(stderr, "usage: %s RECEIVER_HOST:PORT TRANSMITTER_HOST:PORT [SECONDS]\n", argv[0]);
        return 2;
    }
    const int seconds = argc > 3 ? atoi(argv[3]) : 4;
    if (KORVEX_Init() != 0) {
        fprintf(stderr, "KORVEX_Init failed\n");
        return 1;
    }
    int failed = 0;

    /* Logging in sends nothing: every command below opens its own connection. */
    KorvexSession* receiver = KORVEX_Login(&receiverLogin, NULL, NULL);
    SystemInfo system;
    if (KORVEX_GetConfig(receiver, CFG_GET_SYSINFO, &system, sizeof system, 1000, 0) == 0) {
        printf("receiver: %s, software %s, hardware %s, serial %s\n", system.model, system.softVer,
               system.hardVer, system.serial);
    } else {
        printf("receiver: no SystemInfo\n");
        failed = 1;
    }

    /* The layout: read the output settings, change the windows, write them back. */
    DisplayConfig display;
    if (KORVEX_GetConfig(receiver, CFG_GET_DISPLAY, &display, sizeof display, 1000, 0) == 0) {
        const DisplayWindow sideBySide[2] = {{1, 0, 0, 50, 100}, {2, 50, 0, 50, 100}};
        display.count = 2;
        memcpy(display.windows, sideBySide, sizeof sideBySide);
        if (KORVEX_SetConfig(receiver, CFG_SET_DISPLAY, &display, sizeof display, 1000, 0) == 0) {
            printf("receiver: layout CH1|CH2 at %s\n", display.resolution);
        } else {
            printf("receiver: layout refused\n");
            failed = 1;
        }
    } else {
        printf("receiver: no DisplayConfig\n");
        failed = 1;
    }
    KORVEX_Logout(receiver);

    /* The live stream, on a thread of the library's own. */
    Counts counts;
    memset(&counts, 0, sizeof counts);
    counts.firstFrameMs = -1;
    KorvexSession* transmitter = KORVEX_Login(&transmitterLogin, onEvent, NULL);
    KorvexPlayParams params;
    memset(&params, 0, sizeof params);
    params.channel = 0;
    params.transport = KORVEX_TRANSPORT_TCP;
    params.onMediaInfo = onMediaInfo;
    params.onFrame = onFrame;
    params.user = &counts;
    playStartedMs = monotonicMs();
    KorvexStream* stream = KORVEX_StartPlay(transmitter, &params);
    if (stream != NULL) {
        sleepSeconds(seconds);
        KORVEX_StopPlay(transmitter, stream); /* joins the receive thread */
    }
    KORVEX_Logout(transmitter);
    KORVEX_Exit();

    if (counts.mediaInfo > 0) {
        printf("stream: %dx%d %s%s\n", counts.info.width, counts.info.height,
               counts.info.videoCodec == 1 ? "H.265" : "H.264",
               counts.info.contentMask == 3 ? " with audio" : "");
    }
    if (counts.firstFrameMs >= 0) {
        printf("stream: first frame after %.0f ms\n", counts.firstFrameMs);
    }
    printf(
        "frames in %d s: %ld key, %ld video, %ld audio, %ld other (%ld bytes), "
        "%ld media information\n",
        seconds, counts.keyFrames, counts.videoFrames, counts.audioFrames, counts.otherFrames,
        counts.bytes, counts.mediaInfo);
    if (counts.keyFrames == 0 || counts.videoFrames == 0) {
        failed = 1;
    }
    return failed;
}
