// Files that any player opens: the stream's video access units as an Annex B elementary stream
// (.h264 / .h265) and its audio frames as ADTS (.aac). The devices already send both forms, so
// the frames are written as they come; a frame in another form is not written but counted, so
// that a file never holds bytes a player cannot read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace korvexctl {

// Whether the bytes start with an Annex B start code (00 00 01 or 00 00 00 01).
bool isAnnexB(const uint8_t* data, size_t length);
// Whether the bytes start with an ADTS header (sync word 0xFFF, layer 0).
bool isAdts(const uint8_t* data, size_t length);

class ElementaryStreamFile {
  public:
    enum class Kind { Video, Audio };

    ElementaryStreamFile(Kind kind, std::string path) : kind_(kind), path_(std::move(path)) {}
    ~ElementaryStreamFile() { close(); }
    ElementaryStreamFile(const ElementaryStreamFile&) = delete;
    ElementaryStreamFile& operator=(const ElementaryStreamFile&) = delete;

    // Creates (or empties) the file, or takes standard output for path "-"; throws DeviceFailure
    // ("cannot write PATH: reason").
    void open();
    // Video: the stream's codec from its media information (1 H.265, other H.264). The file
    // holds one codec: when a later stream brings another, writing ends there.
    void setVideoCodec(int videoCodec);
    // Writes one frame. Video starts at the first key frame, so the file opens with one.
    void write(const uint8_t* data, size_t length, bool keyFrame);
    void close();

    const std::string& path() const { return path_; }
    // The path, or "standard output".
    std::string name() const { return path_ == "-" ? "standard output" : path_; }
    long long written() const { return written_; }
    long long skipped() const { return skipped_; }  // frames not in the file's form
    long long bytes() const { return bytes_; }
    bool failed() const { return failed_; }
    // Why writing ended early ("" when it did not).
    const std::string& endReason() const { return endReason_; }
    // The codec that the file's name suggests (1 .h265/.265/.hevc, 0 .h264/.264, -1 neither).
    int codecOfName() const;

  private:
    Kind kind_;
    std::string path_;
    std::FILE* file_ = nullptr;
    int videoCodec_ = -1;
    bool started_ = false;
    bool ended_ = false;
    bool failed_ = false;
    long long written_ = 0;
    long long skipped_ = 0;
    long long bytes_ = 0;
    std::string endReason_;
};

}  // namespace korvexctl
