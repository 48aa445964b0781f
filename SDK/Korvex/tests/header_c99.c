/* Compiled as strict C99: the public header must need nothing beyond it. */
#include <stddef.h>
#include <string.h>

#include "Korvex.h"

static void KORVEX_CALL OnEvent(KorvexSession* session, int32_t event, void* data, void* user) {
    (void)session;
    (void)event;
    (void)data;
    (void)user;
}

int main(void) {
    KorvexLoginInfo login;
    KorvexSession* session;
    DisplayConfig display;
    int failures = 0;

    memset(&login, 0, sizeof login);
    strcpy(login.host, "127.0.0.1");
    login.port = 1;
    if (KORVEX_Init() != 0) {
        failures++;
    }
    session = KORVEX_Login(&login, OnEvent, NULL);
    if (session == NULL) {
        failures++;
    }
    memset(&display, 0, sizeof display);
    /* Codes that do not belong to the entry fail without traffic. */
    if (KORVEX_GetConfig(session, CFG_SET_DISPLAY, &display, (int)sizeof display, 100, 0) != -1) {
        failures++;
    }
    if (KORVEX_SetConfig(NULL, CFG_SET_DISPLAY, &display, (int)sizeof display, 100, 0) != -2) {
        failures++;
    }
    KORVEX_Logout(session);
    if (KORVEX_Exit() != 0) {
        failures++;
    }
    return failures;
}
