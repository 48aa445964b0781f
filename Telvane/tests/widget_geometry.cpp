// telvane_widget_geometry NAME...: builds the window as the program does (look, translation,
// title, size) on the current X display, with a device table that reaches nothing, and prints
// "NAME X Y WIDTH HEIGHT" for each named member, in pixels relative to the window. The headless
// demo asks it where "CH1" is to click it and where the picture and the status labels are to look
// at them, so that it follows the window's layout as that changes.

#include "look.h"
#include "startup.h"
#include "window_fixture.h"

#include <QApplication>
#include <QTest>
#include <QTranslator>
#include <QWidget>

#include <cstdio>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    applyTelvaneLook(application);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MEMBER...\n", argv[0]);
        return 2;
    }
    QTranslator translator;
    installTranslation(application, translator);
    Telvane window(loopbackDevices(), idleLauncher());
    presentMainWindow(window);
    if (!QTest::qWaitForWindowExposed(&window, 10000)) {
        std::fprintf(stderr, "%s: the window did not appear\n", argv[0]);
        return 1;
    }
    for (int index = 1; index < argc; ++index) {
        auto* widget = member<QWidget>(window, QString::fromLocal8Bit(argv[index]));
        if (widget == nullptr) {
            std::fprintf(stderr, "%s: the window has no widget %s\n", argv[0], argv[index]);
            return 2;
        }
        const QPoint position = widget->mapTo(&window, QPoint(0, 0));
        std::printf("%s %d %d %d %d\n", argv[index], position.x(), position.y(), widget->width(),
                    widget->height());
    }
    return 0;
}
