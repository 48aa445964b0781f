// The window as the operator sees it on a real X display under a window manager (openbox): the
// live picture decoded by Lumadec from devicesim's stream, the black area when the stream is lost,
// full screen and back, and the window's place and size on a 1920 x 1080 screen.
//
// With QT_SCALE_FACTOR above 1 (ctest runs it with 2 and 1.5) the screen is 3840 x 2160, as on a
// desktop scaled up for a 4K monitor: the window still fits it with every caption whole, and the
// picture is drawn in the screen's own pixels, filling its area.
#include "look.h"
#include "startup.h"
#include "support/test_display.h"
#include "window_fixture.h"

#include "log.h"
#include "simulator.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <QWindow>
#include <QtTest>

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

namespace {

const char kTransmitter[] = "127.0.0.220";
// How long a wait for the window manager, the X server or the device may take on a busy machine.
constexpr int kSettleTimeoutMs = 20000;

// The share of pixels of `image` that are not black, 0..1.
double litShare(const QImage& image) {
    qint64 lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) > 24) {
                ++lit;
            }
        }
    }
    return image.isNull() ? 0 : double(lit) / double(image.width() * image.height());
}

// What the X server shows in the native window of `widget`, whoever drew it.
QImage onScreen(QWidget* widget) {
    return QGuiApplication::primaryScreen()->grabWindow(widget->winId()).toImage();
}

// Whether `window`'s frame lies within its screen's room; says where it is in `where`.
bool fitsItsScreen(const QWidget& window, QString* where) {
    const QRect available = window.screen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    *where = QStringLiteral("%1,%2 %3x%4 in %5,%6 %7x%8")
                 .arg(frame.x())
                 .arg(frame.y())
                 .arg(frame.width())
                 .arg(frame.height())
                 .arg(available.x())
                 .arg(available.y())
                 .arg(available.width())
                 .arg(available.height());
    return available.contains(frame);
}

// Whether the picture fills `widget`'s native window, drawn in the screen's pixels: the lit part of
// what the screen shows there reaches two opposite edges and is centred (the picture keeps its
// shape), and the window has as many pixels as the widget's size times the scale factor. Tells what
// is wrong in `why`.
bool fillsItsArea(QWidget* widget, QString* why) {
    const QImage image = onScreen(widget);
    const QSize expected = widget->size() * widget->devicePixelRatioF();
    if (qAbs(image.width() - expected.width()) > 1 ||
        qAbs(image.height() - expected.height()) > 1) {
        *why = QStringLiteral("%1x%2 pixels on screen for %3x%4")
                   .arg(image.width())
                   .arg(image.height())
                   .arg(expected.width())
                   .arg(expected.height());
        return false;
    }
    QRect lit;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) > 8) {
                lit |= QRect(x, y, 1, 1);
            }
        }
    }
    const int left = lit.left();
    const int right = image.width() - 1 - lit.right();
    const int top = lit.top();
    const int bottom = image.height() - 1 - lit.bottom();
    const int edge = 2;  // the scaler's rounding
    const bool fillsWidth = left <= edge && right <= edge && qAbs(top - bottom) <= edge;
    const bool fillsHeight = top <= edge && bottom <= edge && qAbs(left - right) <= edge;
    *why = QStringLiteral("picture at %1,%2 %3x%4 in %5x%6 pixels")
               .arg(lit.x())
               .arg(lit.y())
               .arg(lit.width())
               .arg(lit.height())
               .arg(image.width())
               .arg(image.height());
    return !lit.isEmpty() && (fillsWidth || fillsHeight);
}

// Alt+F4 on `window`, which the window manager takes as the operator closing it.
bool pressAltF4On(WId window) {
    const QString id = QString::number(window);
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"),
                                                         QStringLiteral("--sync"), id}) == 0 &&
           QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                              QStringLiteral("alt+F4")}) == 0;
}

}  // namespace

class PictureTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<devicesim::Simulator> simulator;
    std::unique_ptr<Telvane> window;
    QProcess windowManager;
    QTemporaryDir windowManagerDir;
    std::atomic<int> plays{0};
    uint16_t port = 0;

    template <typename T>
    T* get(const char* name) {
        return member<T>(*window, QString::fromLatin1(name));
    }
    QWidget* video() { return member<QWidget>(*window, QStringLiteral("videoWidget")); }

    void startTransmitter() {
        devicesim::Options options;
        devicesim::DeviceIdentity identity;
        std::string error;
        QVERIFY(devicesim::parseDeviceIdentity(
            std::string("tx1@") + kTransmitter + ":" + std::to_string(port), identity, error));
        options.devices.push_back(identity);
        simulator = std::make_unique<devicesim::Simulator>(options);
        QVERIFY2(simulator->start(error), error.c_str());
        port = simulator->device("tx1")->port();
    }

    void openWindow() {
        DeviceTable devices = loopbackDevices();
        devices.port = port;
        window = std::make_unique<Telvane>(devices, idleLauncher());
        presentMainWindow(*window);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Framed by the window manager, and placed.
        QTRY_VERIFY_WITH_TIMEOUT(window->frameGeometry() != window->geometry(), kSettleTimeoutMs);
        QTest::qWait(800);
    }

    // Clicks "CH1" and waits for a moving picture in the video area.
    void watchCh1() {
        get<QPushButton>("pcDisplayOffBtn")->click();
        get<QPushButton>("pcDisplayCh1Btn")->click();
        QTRY_VERIFY_WITH_TIMEOUT(litShare(onScreen(video())) > 0.05, 10000);
    }

    // Waits until the picture fills the video area in the screen's pixels.
    void waitUntilThePictureFillsItsArea() {
        QString why;
        QTRY_VERIFY2_WITH_TIMEOUT(fillsItsArea(video(), &why), qPrintable(why), 10000);
    }

  private slots:
    void initTestCase() {
        // openbox announces itself on the root window a few hundred milliseconds before it
        // handles its first request, and a window mapped in between is never managed: its
        // startup command runs once it does.
        const QString ready = windowManagerDir.filePath(QStringLiteral("ready"));
        windowManager.start(QStringLiteral("openbox"),
                            {QStringLiteral("--startup"), QStringLiteral("touch ") + ready});
        QVERIFY2(windowManager.waitForStarted(5000), "openbox is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready), 10000);
        devicesim::setLogObserver([this](const std::string& line) {
            if (line.find(": PLAY ") != std::string::npos) {
                ++plays;
            }
        });
        startTransmitter();
    }
    void cleanup() {
        window.reset();
        if (!simulator) {
            startTransmitter();
        }
    }
    void cleanupTestCase() {
        window.reset();
        simulator.reset();
        devicesim::setLogObserver(nullptr);
        windowManager.terminate();
        windowManager.waitForFinished(3000);
    }

    // With its frame the window is at most 1000 px high and lies on the screen's available
    // area, also when its place would have pushed its bottom off the screen, and every caption
    // has the room it needs; in both languages.
    void windowFitsTheScreenWithItsFrame() {
        for (bool chinese : {false, true}) {
            QTranslator translator;
            if (chinese) {
                QVERIFY(translator.load(QStringLiteral(TELVANE_BUILD_DIR "/Language/zh_CN.qm")));
                QCoreApplication::installTranslator(&translator);
            }
            openWindow();
            QVERIFY2(window->frameGeometry().height() <= 1000,
                     qPrintable(QString::number(window->frameGeometry().height())));
            // The screen's room comes from the window manager's work area, which Qt may learn
            // after the window is placed.
            QString placed;
            QTRY_VERIFY2_WITH_TIMEOUT(fitsItsScreen(*window, &placed), qPrintable(placed),
                                      kSettleTimeoutMs);
            QVERIFY(get<QPushButton>("upgradeDecBtn")->isVisible());
            const QStringList clipped = clippedCaptions(*window);
            QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
            window.reset();
            QCoreApplication::removeTranslator(&translator);
        }
    }

    void pictureFillsItsAreaInScreenPixels() {
        openWindow();
        watchCh1();
        waitUntilThePictureFillsItsArea();
    }

    // Only a moving, current picture is ever shown: when the transmitter is lost, the last
    // picture gives way to black.
    void lostStreamLeavesABlackArea() {
        openWindow();
        watchCh1();
        simulator.reset();
        QTRY_COMPARE_WITH_TIMEOUT(get<QLabel>("pcConnectStateLabel")->text(),
                                  QStringLiteral("Disconnect"), kSettleTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(litShare(onScreen(video())) < 0.001, 3000);
    }

    // Full screen and back, by double-click, Esc and the window manager's close: the picture
    // area returns into its place with its native window, and each toggle restarts the stream
    // once.
    void fullScreenAndBackUnderTheWindowManager() {
        openWindow();
        watchCh1();
        QWidget* const column = video()->parentWidget();
        const QRect place = video()->geometry();
        const WId native = video()->winId();
        const QRect screen = window->screen()->geometry();
        enum class Leave { DoubleClick, Escape, WindowManagerClose };
        for (Leave leave :
             {Leave::DoubleClick, Leave::Escape, Leave::WindowManagerClose, Leave::DoubleClick}) {
            QTRY_COMPARE_WITH_TIMEOUT(get<QLabel>("pcConnectStateLabel")->text(),
                                      QStringLiteral("Connect"), kSettleTimeoutMs);
            QTest::qWait(500);
            const int before = plays;
            QTest::mouseDClick(video(), Qt::LeftButton);
            QWidget* holder = video()->window();
            QVERIFY(holder != window.get());
            QTRY_COMPARE_WITH_TIMEOUT(holder->frameGeometry(), screen, kSettleTimeoutMs);
            QTRY_COMPARE_WITH_TIMEOUT(video()->geometry().size(), screen.size(), kSettleTimeoutMs);
            QTRY_COMPARE_WITH_TIMEOUT(int(plays), before + 1, kSettleTimeoutMs);
            QTRY_VERIFY_WITH_TIMEOUT(litShare(onScreen(video())) > 0.05, 10000);
            waitUntilThePictureFillsItsArea();

            qInfo("leaving full screen by %s", leave == Leave::DoubleClick ? "double-click"
                                               : leave == Leave::Escape
                                                   ? "Esc"
                                                   : "the window manager's close");
            switch (leave) {
                case Leave::DoubleClick:
                    QTest::mouseDClick(video(), Qt::LeftButton);
                    break;
                case Leave::Escape:
                    QTest::keyClick(holder, Qt::Key_Escape);
                    break;
                case Leave::WindowManagerClose:
                    QVERIFY(pressAltF4On(holder->winId()));
                    break;
            }
            QTRY_COMPARE_WITH_TIMEOUT(video()->parentWidget(), column, kSettleTimeoutMs);
            QTRY_VERIFY_WITH_TIMEOUT(!holder->isVisible(), kSettleTimeoutMs);
            QTRY_COMPARE_WITH_TIMEOUT(video()->geometry(), place, kSettleTimeoutMs);
            QCOMPARE(video()->winId(), native);
            QVERIFY(video()->isVisible());
            QTRY_COMPARE_WITH_TIMEOUT(int(plays), before + 2, kSettleTimeoutMs);
            QTRY_VERIFY_WITH_TIMEOUT(litShare(onScreen(video())) > 0.05, 10000);
            QTest::qWait(500);
            QCOMPARE(int(plays), before + 2);
        }
        QVERIFY(window->isVisible());
    }

    // Ctrl+S keeps the decoded picture at the stream's own size, whatever the area shows.
    void snapshotHasTheStreamsSize() {
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        QFile dirs(home.filePath(QStringLiteral("user-dirs.dirs")));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_PICTURES_DIR=\"" + home.filePath(QStringLiteral("Pictures")).toUtf8() +
                   "\"\n");
        dirs.close();
        openWindow();
        watchCh1();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTRY_VERIFY_WITH_TIMEOUT(
            window->findChild<QAction*>(QStringLiteral("saveSnapshotAction"))->isEnabled(),
            kSettleTimeoutMs);
        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
        const QDir pictures(home.filePath(QStringLiteral("Pictures")));
        const QStringList saved = pictures.entryList({QStringLiteral("CH1 *.png")});
        QCOMPARE(saved.size(), 1);
        const QImage picture(pictures.filePath(saved.first()));
        QCOMPARE(picture.size(), QSize(1920, 1080));
        QVERIFY(litShare(picture.scaled(192, 108)) > 0.05);
        QVERIFY(video()->size() != picture.size());
    }
};

int main(int argc, char* argv[]) {
    const bool scaledUp = qgetenv("QT_SCALE_FACTOR").toDouble() > 1;
    lumadec_test::TestXServer display;
    std::string error;
    if (!display.start(&error, scaledUp ? 3840 : 1920, scaledUp ? 2160 : 1080)) {
        std::fprintf(stderr, "picture test: %s\n", error.c_str());
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    av_log_set_level(AV_LOG_ERROR);  // the emulator's encoders would fill the log
    QApplication application(argc, argv);
    applyTelvaneLook(application);
    PictureTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "picture_test.moc"
