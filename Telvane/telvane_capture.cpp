// What the operator keeps of the picture, and the keyboard: the picture's context menu ("Save
// Snapshot", "Start Recording"/"Stop Recording", "Full Screen"), their keys, Ctrl+1..Ctrl+4 and
// Ctrl+0 for "Channel Choose". The rules of a recording's life are StreamCapture's.

#include "telvane.h"

#include "hdmi_device_proxy.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QDir>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace {

// "Channel Choose": the button ids 0..3 (CH1..CH4) and 4 (X), and their keys.
constexpr const char* kChannelKeys[] = {"Ctrl+1", "Ctrl+2", "Ctrl+3", "Ctrl+4", "Ctrl+0"};
constexpr double kBytesPerMegabyte = 1000.0 * 1000.0;

QString keyText(const QKeySequence& key) {
    return key.toString(QKeySequence::NativeText);
}

// 00:01:23
QString clockText(std::chrono::milliseconds length) {
    const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(length).count();
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString megabytes(uint64_t bytes) {
    return QString::number(double(bytes) / kBytesPerMegabyte, 'f', bytes < 10000000 ? 1 : 0);
}

}  // namespace

void Telvane::buildCaptureControls() {
    // Application-wide, so that they also act while the picture is full screen in its own window.
    auto makeAction = [this](const QString& text, const QKeySequence& key, const char* name) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
        addAction(action);
        return action;
    };
    saveSnapshotAction = makeAction(tr("Save Snapshot"), QKeySequence(QStringLiteral("Ctrl+S")),
                                    "saveSnapshotAction");
    recordAction =
        makeAction(tr("Start Recording"), QKeySequence(QStringLiteral("Ctrl+R")), "recordAction");
    fullScreenAction = makeAction(tr("Full Screen"), QKeySequence(Qt::Key_F11), "fullScreenAction");
    connect(saveSnapshotAction, &QAction::triggered, this, &Telvane::saveSnapshot);
    connect(recordAction, &QAction::triggered, this, &Telvane::toggleRecording);
    connect(fullScreenAction, &QAction::triggered, this, &Telvane::toggleFullScreen);

    // A key of "Channel Choose" is a click on its button: disabled with it, the same slot.
    for (int id = 0; id < int(std::size(kChannelKeys)); ++id) {
        QAbstractButton* button = pcDisplayBtnGroup->button(id);
        const QKeySequence key(QString::fromLatin1(kChannelKeys[id]));
        QAction* action = makeAction(button->text(), key,
                                     qPrintable(QStringLiteral("pcDisplayKey%1Action").arg(id)));
        connect(action, &QAction::triggered, button, &QAbstractButton::click);
        button->setToolTip(id < TransmitterSwitch::kTransmitterCount
                               ? tr("Show %1's picture (%2)").arg(button->text(), keyText(key))
                               : tr("Show no picture (%1)").arg(keyText(key)));
    }

    videoWidget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(videoWidget, &QWidget::customContextMenuRequested, this, &Telvane::showPictureMenu);
    updateCaptureActions();
}

void Telvane::showPictureMenu(const QPoint& position) {
    updateCaptureActions();
    QMenu menu;
    menu.addAction(saveSnapshotAction);
    menu.addAction(recordAction);
    menu.addSeparator();
    menu.addAction(fullScreenAction);
    menu.exec(videoWidget->mapToGlobal(position));
}

// A picture is shown once the chosen channel's stream gave its first one.
bool Telvane::pictureShown() const {
    if (encodeProxy == nullptr || encodeChannel == 0) {
        return false;
    }
    const StreamStatistics stream = encodeProxy->streamStatistics();
    return stream.described && stream.firstPictureAt != std::chrono::steady_clock::time_point{};
}

void Telvane::updateCaptureActions() {
    const bool picture = pictureShown();
    saveSnapshotAction->setEnabled(picture);
    recordAction->setText(capture.recording() ? tr("Stop Recording") : tr("Start Recording"));
    recordAction->setEnabled(capture.recording() || picture);
}

void Telvane::saveSnapshot() {
    const QImage picture = pictureShown() ? encodeProxy->picture() : QImage();
    if (picture.isNull()) {
        report(tr("CH%1: no picture to save yet").arg(encodeChannel));
        return;
    }
    QString error;
    const std::optional<QString> path = StreamCapture::saveSnapshot(
        picture, encodeChannel, QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
        QDateTime::currentDateTime(), error);
    if (path) {
        report(tr("Snapshot of CH%1 saved to %2")
                   .arg(encodeChannel)
                   .arg(QDir::toNativeSeparators(*path)));
    } else {
        report(tr("Cannot save the snapshot: %1").arg(error));
    }
}

void Telvane::toggleRecording() {
    if (capture.recording()) {
        stopRecording(RecordingStop::Operator);
    } else {
        startRecording();
    }
    refreshStreamStatus();
}

void Telvane::startRecording() {
    if (!pictureShown()) {
        return;
    }
    const StreamStatistics stream = encodeProxy->streamStatistics();
    StreamCapture::Media media;
    media.width = stream.width;
    media.height = stream.height;
    media.videoCodec = stream.videoCodec;
    media.audio = stream.audio;
    QString error;
    if (!capture.start(encodeChannel, media,
                       QStandardPaths::writableLocation(QStandardPaths::MoviesLocation),
                       QDateTime::currentDateTime(), error)) {
        report(tr("Cannot record CH%1: %2").arg(encodeChannel).arg(error));
        return;
    }
    encodeProxy->setRecorder(capture.handle());
    report(tr("Recording CH%1 to %2")
               .arg(encodeChannel)
               .arg(QDir::toNativeSeparators(capture.path())));
}

void Telvane::stopRecording(RecordingStop why) {
    if (!capture.recording()) {
        return;
    }
    // No stream thread may still write into the recorder when it is closed.
    if (encodeProxy != nullptr) {
        encodeProxy->setRecorder(nullptr);
    }
    for (HDMIDeviceProxy* proxy : encodeSwitch.stopping()) {
        proxy->setRecorder(nullptr);
    }
    const StreamCapture::Ended ended = capture.stop();
    const QString path = QDir::toNativeSeparators(ended.path);
    QString text;
    if (!ended.kept) {
        text = tr("Recording of CH%1 ended before its first picture: nothing was kept")
                   .arg(ended.channel);
    } else if (ended.endReason == LUMADEC_RECORDING_END_WRITE_FAILED || !ended.complete) {
        text = tr("Recording of CH%1 stopped: %2. %3 keeps what was written")
                   .arg(ended.channel)
                   .arg(QString::fromLocal8Bit(std::strerror(ended.error != 0 ? ended.error : EIO)))
                   .arg(path);
    } else {
        QString because;
        if (ended.endReason == LUMADEC_RECORDING_END_MEDIA_CHANGED) {
            because = tr("the picture changed its size or codec");
        } else if (why == RecordingStop::StreamLost) {
            because = tr("the stream is lost");
        } else if (why == RecordingStop::OtherChannel) {
            because = tr("another channel was chosen");
        } else if (why == RecordingStop::WindowClosed) {
            because = tr("the window was closed");
        }
        const QString length = clockText(ended.length);
        const QString size = megabytes(ended.bytes);
        text = because.isEmpty() ? tr("Recording of CH%1 saved to %2 (%3, %4 MB)")
                                       .arg(ended.channel)
                                       .arg(path, length, size)
                                 : tr("Recording of CH%1 ended, %2: saved to %3 (%4, %5 MB)")
                                       .arg(ended.channel)
                                       .arg(because, path, length, size);
    }
    report(text);
    updateCaptureActions();
}

// Once a second: a recording that ended by itself, or whose stream stayed away, is closed.
void Telvane::checkRecording() {
    if (!capture.recording()) {
        return;
    }
    if (capture.status().state == LUMADEC_RECORDING_ENDED) {
        stopRecording(RecordingStop::ByItself);
    } else if (capture.lostForGood(StreamCapture::Clock::now())) {
        stopRecording(RecordingStop::StreamLost);
    }
}

// "● REC CH1 00:01:23, 45 MB   " while a recording runs, nothing otherwise.
QString Telvane::recordingStatusText() const {
    if (!capture.recording()) {
        return QString();
    }
    return tr("● REC CH%1 %2, %3 MB")
               .arg(capture.channel())
               .arg(clockText(capture.runningFor(StreamCapture::Clock::now())))
               .arg(megabytes(capture.status().bytesWritten)) +
           QStringLiteral("   ");
}

// The current transmitter's connection, as far as the recording of its channel is concerned.
void Telvane::noteRecordedStream(const void* device, int status) {
    if (device != encodeProxy || capture.channel() != encodeChannel) {
        return;
    }
    if (status == KORVEX_STREAM_CONNECT_FAILED || status == KORVEX_STREAM_ENDED) {
        capture.streamLost(StreamCapture::Clock::now());
    } else if (status == KORVEX_STREAM_STARTED) {
        capture.streamBack();
    }
}
