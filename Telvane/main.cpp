#include "device_table.h"
#include "look.h"
#include "startup.h"
#include "telvane.h"
#include "usbip_launcher.h"

#include <QApplication>
#include <QPixmapCache>
#include <QTranslator>

namespace {

// The installation's devices; the only place that names them.
DeviceTable installationDevices() {
    DeviceTable devices;
    devices.decodeDeviceAddress = QStringLiteral("192.168.2.88");
    devices.encodeDeviceAddresses = {
        QStringLiteral("192.168.2.220"), QStringLiteral("192.168.2.221"),
        QStringLiteral("192.168.2.222"), QStringLiteral("192.168.2.223")};
    devices.port = DEVICE_CONTROL_PORT;
    return devices;
}

}  // namespace

int main(int argc, char* argv[]) {
    // The picture is drawn into the video area's native window, which must be an X11 window.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    // The style keeps what it drew (buttons, frames) in Qt's pixmap cache, by size and state; the
    // changing status texts and channel states would fill its default 10 MB over some hundred
    // channel switches. One window's drawings fit in 1 MB, so the memory stays flat from the start.
    QPixmapCache::setCacheLimit(1024);
    applyTelvaneLook(application);
    QTranslator translator;
    installTranslation(application, translator);
    const UsbIpLauncher launcher(systemLauncherCommands(), QCoreApplication::applicationDirPath());

    // Declared last so that it goes first: the window, then the translator, then the application.
    Telvane window(installationDevices(), launcher);
    presentMainWindow(window);
    return application.exec();
}
