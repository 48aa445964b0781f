/* Compiled as strict C99: the public header must need nothing beyond it. */
#include <stddef.h>
#include <string.h>

#include "Lumadec.h"

int main(void) {
    LumadecVideoDescription video;
    LumadecAudioDescription audio;
    LumadecStatistics statistics;
    LumadecFrame frame;
    LumadecPlayer* player;
    static const uint8_t garbage[16] = {0, 0, 0, 1, 0x65, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    int failures = 0;

    memset(&video, 0, sizeof video);
    memset(&audio, 0, sizeof audio);
    video.width = 1920;
    video.height = 1080;
    video.videoCodec = 0;
    if (LUMADEC_OpenPlayer(0, NULL, NULL) != NULL) {
        failures++;
    }
    /* No window: decode only. */
    player = LUMADEC_OpenPlayer(0, &video, &audio);
    if (player == NULL) {
        return 1;
    }
    frame.type = LUMADEC_FRAME_KEY;
    frame.length = (int32_t)sizeof garbage;
    frame.timestamp = 0;
    frame.data = garbage;
    (void)LUMADEC_WriteFrame(player, &frame); /* garbage: an error or nothing, never a crash */
    if (LUMADEC_WriteFrame(player, NULL) != -1) {
        failures++;
    }
    if (LUMADEC_GetStatistics(player, &statistics) != 0 || statistics.framesReceived != 1 ||
        statistics.framesDrawn != 0 || statistics.windowState != LUMADEC_WINDOW_NONE) {
        failures++;
    }
    if (LUMADEC_ClosePlayer(player) != 0 || LUMADEC_ClosePlayer(NULL) != 0) {
        failures++;
    }
    return failures == 0 ? 0 : 1;
}
