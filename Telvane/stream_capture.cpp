#include "stream_capture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

QString StreamCapture::fileName(int channel, const QDateTime& at, const QString& suffix) {
    return QStringLiteral("CH%1 %2.%3")
        .arg(channel)
        .arg(at.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")))
        .arg(suffix);
}

std::optional<QString> StreamCapture::saveSnapshot(const QImage& picture, int channel,
                                                   const QString& folder, const QDateTime& at,
                                                   QString& error) {
    if (!QDir().mkpath(folder)) {
        error = QDir::toNativeSeparators(folder);
        return std::nullopt;
    }
    const QString path = QDir(folder).filePath(fileName(channel, at, QStringLiteral("png")));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.flush()) {
        error = QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString();
        file.close();
        file.remove();
        return std::nullopt;
    }
    return path;
}

StreamCapture::~StreamCapture() {
    stop();
}

bool StreamCapture::start(int channel, const Media& media, const QString& folder,
                          const QDateTime& at, QString& error) {
    if (recorder != nullptr) {
        return true;
    }
    if (!QDir().mkpath(folder)) {
        error = QDir::toNativeSeparators(folder);
        return false;
    }
    const QString path = QDir(folder).filePath(fileName(channel, at, QStringLiteral("mkv")));
    const LumadecVideoDescription video{media.width, media.height, media.videoCodec};
    // The audio values are the recorder's to read from the sound itself; their presence counts.
    const LumadecAudioDescription audio{};
    int32_t failure = 0;
    recorder = LUMADEC_OpenRecording(QFile::encodeName(path).constData(), &video,
                                     media.audio ? &audio : nullptr, &failure);
    if (recorder == nullptr) {
        error = QDir::toNativeSeparators(path) + QStringLiteral(": ") + errnoText(failure);
        return false;
    }
    recordingChannel = channel;
    recordingPath = path;
    startedAt = Clock::now();
    lostSince.reset();
    return true;
}

StreamCapture::Ended StreamCapture::stop() {
    Ended ended;
    if (recorder == nullptr) {
        return ended;
    }
    const LumadecRecordingStatus last = status();
    ended.channel = recordingChannel;
    ended.path = recordingPath;
    ended.complete = LUMADEC_CloseRecording(recorder) == 0;
    recorder = nullptr;
    recordingChannel = 0;
    lostSince.reset();
    const QFileInfo file(ended.path);
    ended.kept = file.exists();
    ended.bytes = ended.kept ? static_cast<uint64_t>(file.size()) : 0;
    ended.length = std::chrono::milliseconds(last.durationUs / 1000);
    ended.endReason = last.endReason;
    ended.error = last.error;
    return ended;
}

LumadecRecordingStatus StreamCapture::status() const {
    LumadecRecordingStatus current{};
    if (recorder != nullptr) {
        LUMADEC_GetRecordingStatus(recorder, &current);
    }
    return current;
}

std::chrono::milliseconds StreamCapture::runningFor(Clock::time_point now) const {
    return recorder != nullptr
               ? std::chrono::duration_cast<std::chrono::milliseconds>(now - startedAt)
               : std::chrono::milliseconds(0);
}

void StreamCapture::streamLost(Clock::time_point now) {
    if (recorder != nullptr && !lostSince) {
        lostSince = now;
    }
}

void StreamCapture::streamBack() {
    lostSince.reset();
}

bool StreamCapture::lostForGood(Clock::time_point now) const {
    return recorder != nullptr && lostSince && now - *lostSince >= kLostForGood;
}
