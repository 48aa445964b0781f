// The keyboard and what the operator keeps of the picture, against the fake devices: each key
// does what its click does, the picture's entries are there only with a picture, a snapshot has
// the stream's size, and a recording follows its channel.
#include "fake_lumadec.h"
#include "stream_capture.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QDir>
#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

class CaptureTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<FakeInstallation> installation;
    std::unique_ptr<Telvane> window;
    QTemporaryDir home;

    QAction* action(const char* name) { return window->findChild<QAction*>(QLatin1String(name)); }
    QString folder(const char* name) { return home.filePath(QLatin1String(name)); }
    QButtonGroup* channels() {
        return member<QButtonGroup>(*window, QStringLiteral("pcDisplayBtnGroup"));
    }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QTest::keyClick(window.get(), Qt::Key(key), modifiers);
    }
    QString streamStatus() { return window->statusBar()->findChild<QLabel*>()->text(); }
    int recordingsOpened() {
        int opened = 0;
        for (const LumadecCall& call : recordedLumadecCalls()) {
            opened += call.function == "record" ? 1 : 0;
        }
        return opened;
    }

  private slots:
    void initTestCase() {
        // The pictures and videos folders of the user, as the desktop names them.
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        QFile dirs(home.filePath(QStringLiteral("user-dirs.dirs")));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write(QStringLiteral("XDG_PICTURES_DIR=\"%1\"\nXDG_VIDEOS_DIR=\"%2\"\n")
                       .arg(folder("Pictures"), folder("Videos"))
                       .toUtf8());
    }
    void init() {
        installation = std::make_unique<FakeInstallation>();
        window = std::make_unique<Telvane>(installation->devices(), idleLauncher());
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        clearRecordedLumadecCalls();
    }
    void cleanup() {
        window.reset();
        installation.reset();
    }

    // Ctrl+1..Ctrl+4 are clicks on CH1..CH4 (the transmitter is asked for its stream), Ctrl+0
    // on X; each button's tooltip names its key.
    void channelKeysAreClicks() {
        const int keys[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_0};
        for (int id : {1, 3, 0, 2, 4}) {
            const int channel = id + 1;
            const size_t plays =
                id < 4 ? requestsFor(installation->transmitter(channel), "PLAY").size() : 0;
            press(keys[id]);
            QCOMPARE(channels()->checkedId(), id);
            QVERIFY(channels()->button(id)->toolTip().contains(
                QKeySequence(Qt::CTRL | keys[id]).toString(QKeySequence::NativeText)));
            if (id < 4) {
                QTRY_VERIFY_WITH_TIMEOUT(
                    requestsFor(installation->transmitter(channel), "PLAY").size() > plays, 5000);
                QTRY_COMPARE_WITH_TIMEOUT(
                    member<QLabel>(*window, QStringLiteral("pcConnectStateLabel"))->text(),
                    QStringLiteral("Connect"), 5000);
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            member<QLabel>(*window, QStringLiteral("pcConnectStateLabel"))->text(),
            QStringLiteral("Disconnect"), 5000);
        // A disabled button's key does nothing, as its click would.
        channels()->button(0)->setEnabled(false);
        press(Qt::Key_1);
        QCOMPARE(channels()->checkedId(), 4);
    }

    // F11 goes to full screen and back, as the double-click does.
    void f11TogglesFullScreen() {
        QWidget* video = member<QWidget>(*window, QStringLiteral("videoWidget"));
        QVERIFY(action("fullScreenAction")->isEnabled());
        press(Qt::Key_F11, Qt::NoModifier);
        QVERIFY(video->window() != window.get());
        QVERIFY(video->window()->isFullScreen());
        QTest::keyClick(video->window(), Qt::Key_F11);
        QCOMPARE(video->window(), window.get());
    }

    // Without a picture the snapshot and the recording cannot act; with one, Ctrl+S writes the
    // picture at the stream's size into the pictures folder, Ctrl+R records into the videos
    // folder until Ctrl+R again, and another channel ends a recording.
    void pictureEntriesAndTheirKeys() {
        QAction* snapshot = action("saveSnapshotAction");
        QAction* record = action("recordAction");
        QVERIFY(!snapshot->isEnabled());
        QVERIFY(!record->isEnabled());
        press(Qt::Key_S);
        press(Qt::Key_R);
        QVERIFY(!QDir(folder("Pictures")).exists());
        QCOMPARE(recordingsOpened(), 0);

        press(Qt::Key_1);
        QTRY_VERIFY_WITH_TIMEOUT(snapshot->isEnabled() && record->isEnabled(), 5000);
        press(Qt::Key_S);
        const QStringList pictures = QDir(folder("Pictures")).entryList({"CH1 *.png"});
        QCOMPARE(pictures.size(), 1);
        const QImage saved(QDir(folder("Pictures")).filePath(pictures.first()));
        QCOMPARE(saved.size(), QSize(1920, 1080));
        QVERIFY(window->statusBar()->currentMessage().contains(pictures.first()));

        press(Qt::Key_R);
        QCOMPARE(recordingsOpened(), 1);
        QCOMPARE(record->text(), QStringLiteral("Stop Recording"));
        QTRY_VERIFY_WITH_TIMEOUT(streamStatus().startsWith(QStringLiteral("● REC CH1 00:00:")),
                                 5000);
        press(Qt::Key_R);
        QCOMPARE(record->text(), QStringLiteral("Start Recording"));
        QVERIFY(!streamStatus().contains(QStringLiteral("REC")));

        press(Qt::Key_R);
        QCOMPARE(recordingsOpened(), 2);
        const std::vector<LumadecCall> calls = recordedLumadecCalls();
        const auto opened = std::find_if(calls.rbegin(), calls.rend(), [](const LumadecCall& c) {
            return c.function == "record";
        });
        QVERIFY(QString::fromStdString(opened->data).startsWith(folder("Videos") + "/CH1 "));
        QVERIFY(QString::fromStdString(opened->data).endsWith(".mkv"));
        QCOMPARE(opened->video.width, 1920);
        press(Qt::Key_2);
        QCOMPARE(record->text(), QStringLiteral("Start Recording"));
        // (The stand-in writes no file, so the message says nothing was kept.)
        QVERIFY(
            window->statusBar()->currentMessage().startsWith(QStringLiteral("Recording of CH1")));
        const std::vector<LumadecCall> after = recordedLumadecCalls();
        QCOMPARE(
            std::count_if(after.begin(), after.end(),
                          [](const LumadecCall& c) { return c.function == "close recording"; }),
            2);
    }

    // The plain rules: names, and when a stream that went away is lost for good.
    void namesAndALostStream() {
        const QDateTime at(QDate(2026, 12, 8), QTime(15, 30, 12));
        QCOMPARE(StreamCapture::fileName(1, at, QStringLiteral("png")),
                 QStringLiteral("CH1 2026-12-08 15-30-12.png"));
        StreamCapture capture;
        QString error;
        const QString notAFolder = home.filePath(QStringLiteral("plain"));
        QFile(notAFolder).open(QIODevice::WriteOnly);
        QVERIFY(!StreamCapture::saveSnapshot(QImage(4, 4, QImage::Format_RGB888), 1,
                                             notAFolder + "/Pictures", at, error));
        QVERIFY(error.contains(QStringLiteral("plain")));
        QVERIFY(!capture.start(1, {1920, 1080, 0, true}, notAFolder + "/Videos", at, error));
        QVERIFY(!capture.recording());

        QVERIFY(capture.start(3, {1920, 1080, 0, true}, folder("Videos"), at, error));
        const auto now = StreamCapture::Clock::now();
        capture.streamLost(now);
        capture.streamLost(now + std::chrono::seconds(20));  // the first loss counts
        QVERIFY(!capture.lostForGood(now + StreamCapture::kLostForGood - std::chrono::seconds(1)));
        QVERIFY(capture.lostForGood(now + StreamCapture::kLostForGood));
        capture.streamBack();
        QVERIFY(!capture.lostForGood(now + 2 * StreamCapture::kLostForGood));
        const StreamCapture::Ended ended = capture.stop();
        QCOMPARE(ended.channel, 3);
        QVERIFY(!capture.recording());
    }
};

QTEST_MAIN(CaptureTest)
#include "capture_test.moc"
