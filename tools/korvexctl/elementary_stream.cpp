#include "elementary_stream.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "command_line.h"
#include "platform.h"

namespace korvexctl {

bool isAnnexB(const uint8_t* data, size_t length) {
    return (length >= 3 && data[0] == 0 && data[1] == 0 && data[2] == 1) ||
           (length >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1);
}

bool isAdts(const uint8_t* data, size_t length) {
    return length >= 7 && data[0] == 0xff && (data[1] & 0xf6) == 0xf0;
}

void ElementaryStreamFile::open() {
    file_ = path_ == "-" ? platform::takeStandardOutputForData() : std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) {
        throw DeviceFailure("cannot write " + name() + ": " + std::strerror(errno));
    }
}

void ElementaryStreamFile::setVideoCodec(int videoCodec) {
    const int codec = videoCodec == 1 ? 1 : 0;
    if (videoCodec_ < 0) {
        videoCodec_ = codec;
    } else if (codec != videoCodec_ && !ended_) {
        ended_ = true;
        endReason_ = std::string("the stream changed to ") + (codec == 1 ? "H.265" : "H.264") +
                     "; the file ends with the " + (videoCodec_ == 1 ? "H.265" : "H.264") + " part";
    }
}

void ElementaryStreamFile::write(const uint8_t* data, size_t length, bool keyFrame) {
    if (file_ == nullptr || ended_ || failed_) {
        return;
    }
    const bool wellFormed = kind_ == Kind::Video ? isAnnexB(data, length) : isAdts(data, length);
    if (!wellFormed) {
        ++skipped_;
        return;
    }
    if (kind_ == Kind::Video && !started_ && !keyFrame) {
        return;
    }
    started_ = true;
    if (std::fwrite(data, 1, length, file_) != length) {
        failed_ = true;
        endReason_ = name() + ": " + std::strerror(errno);
        return;
    }
    ++written_;
    bytes_ += static_cast<long long>(length);
}

void ElementaryStreamFile::close() {
    if (file_ != nullptr) {
        if (std::fclose(file_) != 0 && !failed_) {
            failed_ = true;
            endReason_ = name() + ": " + std::strerror(errno);
        }
        file_ = nullptr;
    }
}

int ElementaryStreamFile::codecOfName() const {
    const size_t dot = path_.rfind('.');
    if (dot == std::string::npos) {
        return -1;
    }
    std::string extension = path_.substr(dot + 1);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension == "h265" || extension == "265" || extension == "hevc") {
        return 1;
    }
    if (extension == "h264" || extension == "264" || extension == "avc") {
        return 0;
    }
    return -1;
}

}  // namespace korvexctl
