// The status bar under the three columns: what the operator's last action did and whether the
// device took it, and on the right what the current stream shows.

#include "telvane.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace {

constexpr int kStreamStatusIntervalMs = 1000;
// A picture drawn later than this after its arrival no longer looks live.
constexpr std::chrono::milliseconds kLateDelay{200};

}  // namespace

void Telvane::buildStatusBar() {
    streamStatusLabel = new QLabel;
    statusBar()->addPermanentWidget(streamStatusLabel);
    streamStatusTimer = new QTimer(this);
    connect(streamStatusTimer, &QTimer::timeout, this, &Telvane::refreshStreamStatus);
    streamStatusTimer->start(kStreamStatusIntervalMs);
}

void Telvane::report(const QString& text) {
    statusBar()->showMessage(text);
}

QString Telvane::answerText(DeviceAnswer answer) {
    switch (answer) {
        case DeviceAnswer::Done:
            return tr("done");
        case DeviceAnswer::Refused:
            return tr("refused");
        case DeviceAnswer::NoAnswer:
            break;
    }
    return tr("no answer");
}

// "CH1|CH2" and the like, as the layout's button says it (the quad layout on one line).
QString Telvane::decodeLayoutName(int layout) const {
    const QAbstractButton* button = decodeDisplayBtnGroup->button(layout);
    return button != nullptr ? button->text().replace(QStringLiteral("\r\n"), QStringLiteral(" "))
                             : QString();
}

void Telvane::refreshStreamStatus() {
    checkRecording();
    updateCaptureActions();
    if (encodeProxy == nullptr || encodeChannel == 0) {
        streamStatusLabel->setText(recordingStatusText());
        streamStatusLabel->setStyleSheet(QString());
        sampledProxy = nullptr;
        return;
    }
    const StreamStatistics stream = encodeProxy->streamStatistics();
    if (!stream.described || stream.firstPictureAt == std::chrono::steady_clock::time_point{}) {
        streamStatusLabel->setText(recordingStatusText() +
                                   tr("CH%1: waiting for the picture").arg(encodeChannel));
        streamStatusLabel->setStyleSheet(QString());
        sampledProxy = nullptr;
        return;
    }
    // The frame rate over the last second; the first time over the time since the first picture.
    const auto now = std::chrono::steady_clock::now();
    if (sampledProxy != encodeProxy) {
        sampledProxy = encodeProxy;
        lastPicturesDecoded = 0;
        lastPicturesDropped = 0;
        lastStatusAt = stream.firstPictureAt;
    }
    const double seconds = std::chrono::duration<double>(now - lastStatusAt).count();
    if (seconds > 0) {
        picturesPerSecond = double(stream.picturesDecoded - lastPicturesDecoded) / seconds;
    }
    const bool dropping = stream.picturesDropped > lastPicturesDropped;
    lastPicturesDecoded = stream.picturesDecoded;
    lastPicturesDropped = stream.picturesDropped;
    lastStatusAt = now;
    const auto firstPictureMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    stream.firstPictureAt - encodeRequestedAt)
                                    .count();
    // No picture drawn in the last second: there is no delay to tell.
    const QString delay =
        stream.delayMax.count() > 0
            ? QStringLiteral("%1 ms").arg(
                  std::chrono::duration_cast<std::chrono::milliseconds>(stream.delayP95).count())
            : QStringLiteral("–");
    streamStatusLabel->setText(
        recordingStatusText() +
        tr("CH%1: %2 %3×%4, %5 fps, delay %6, first picture after %7 ms, %8 lost, %9 dropped")
            .arg(encodeChannel)
            .arg(stream.videoCodec == 1 ? QStringLiteral("H.265") : QStringLiteral("H.264"))
            .arg(stream.width)
            .arg(stream.height)
            .arg(picturesPerSecond, 0, 'f', 1)
            .arg(delay)
            .arg(firstPictureMs)
            .arg(stream.decodeErrors + stream.dataLossEvents)
            .arg(stream.picturesDropped));
    // Red while the picture is not what arrives now: pictures being dropped, or drawn late.
    const bool late = dropping || stream.delayMax > kLateDelay;
    streamStatusLabel->setStyleSheet(late ? QStringLiteral("color:red;") : QString());
}
