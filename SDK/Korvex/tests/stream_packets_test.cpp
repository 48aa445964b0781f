// The packet layer without sockets: header fields, media information, the TCP parser's gates and
// resynchronisation, the UDP assembler's fragments, gaps and cuts, and the UDP port draw.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "stream.h"
#include "stream_packets.h"
#include "stream_test_support.h"

namespace korvex {
namespace {

using test::kFirstFragment;
using test::kLastFragment;
using test::kWholeFrame;
using test::MediaInfoPayload;
using test::Packet;
using test::Payload;
using test::Report;
using test::StreamRecorder;

// Runs the parsers against a recorder, over exactly the given bytes (held on the heap at their
// own size, so that a read past them is caught by AddressSanitizer).
class PacketTest : public ::testing::Test {
  protected:
    PacketTest() : session_(recorder_.login(1)) {}
    ~PacketTest() override { KORVEX_Logout(session_); }

    StreamOutput output(bool mediaInfo = true, bool frames = true) {
        KorvexPlayParams params = recorder_.params(KORVEX_TRANSPORT_TCP, mediaInfo, frames);
        return {session_, nullptr, params.onMediaInfo, params.onFrame, params.user};
    }

    long parseTcp(const std::string& bytes, TcpParserState& state, const StreamOutput& out) {
        std::vector<uint8_t> exact(bytes.begin(), bytes.end());
        return ParseTcpPackets(exact.data(), exact.size(), state, out);
    }

    size_t assemble(const std::string& bytes, FrameAssembly& frame) {
        std::vector<uint8_t> exact(bytes.begin(), bytes.end());
        return AssembleUdpFragments(exact.data(), exact.size(), frame, output());
    }

    StreamRecorder recorder_;
    KorvexSession* session_;
};

std::string MediaInfoPacket(int width, int height) {
    return Packet(KORVEX_PACKET_MEDIA_INFO, MediaInfoPayload(width, height));
}

TEST(PacketHeader, FieldsAndBitFieldsAreReadLittleEndian) {
    int64_t negative = -5;
    std::string bytes = Packet(3, "", 0x0102030405060708ull, 0xfffffffeu, 0x0f, &negative);
    PacketHeader header = ReadPacketHeader(reinterpret_cast<const uint8_t*>(bytes.data()));
    EXPECT_EQ(header.magic, KORVEX_PACKET_MAGIC);
    EXPECT_EQ(std::string(bytes, 0, 4), std::string("\x20\x05\x16\x20", 4));
    EXPECT_EQ(header.type, 3);
    EXPECT_TRUE(header.firstFragment);
    EXPECT_TRUE(header.lastFragment);
    EXPECT_EQ(header.length, -5);
    EXPECT_EQ(header.sequence, 0xfffffffeu);
    EXPECT_EQ(header.timestamp, 0x0102030405060708ull);

    // Only the named bits of each field count.
    const uint8_t payload[20] = {0xf3, 0xff, 0xff, 0xff, 0x80, 0x07, 0x38, 0x04, 0x11, 0,
                                 0,    0,    0x80, 0xbb, 0x02, 0x00, 0x5a, 0xfd, 0xff, 0xff};
    KorvexMediaInfo info = ReadMediaInfo(payload);
    EXPECT_EQ(info.contentMask, 3);
    EXPECT_EQ(info.width, 1920);
    EXPECT_EQ(info.height, 1080);
    EXPECT_EQ(info.videoCodec, 1);
    EXPECT_EQ(info.audioParam0, 48000);
    EXPECT_EQ(info.audioParam1, 2);
    EXPECT_EQ(info.audioParam2, 0xa);   // bits 0-3 of 0xfffffd5a
    EXPECT_EQ(info.audioParam3, 0x15);  // bits 4-9
    EXPECT_EQ(info.audioParam4, 0x3);   // bits 10-11
}

TEST_F(PacketTest, TcpAcceptsOnlyTheKnownPictureSizes) {
    const int accepted[][2] = {{352, 288}, {720, 576}, {1280, 720}, {1920, 1080}, {3840, 2160}};
    for (auto& size : accepted) {
        TcpParserState state;
        std::string packet = MediaInfoPacket(size[0], size[1]);
        EXPECT_EQ(parseTcp(packet, state, output()), static_cast<long>(packet.size()));
        EXPECT_TRUE(state.mediaInfoSeen) << size[0] << "x" << size[1];
    }
    const int refused[][2] = {{1024, 768}, {1080, 1920}, {1920, 1088}, {0, 0}};
    for (auto& size : refused) {
        TcpParserState state;
        std::string packet = MediaInfoPacket(size[0], size[1]);
        EXPECT_EQ(parseTcp(packet, state, output()), static_cast<long>(packet.size()));
        EXPECT_FALSE(state.mediaInfoSeen) << size[0] << "x" << size[1];
    }
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"media 352x288", "media 720x576", "media 1280x720",
                                        "media 1920x1080", "media 3840x2160"}));
}

TEST_F(PacketTest, TcpFramesBeforeAcceptedMediaInfoFailTheConnection) {
    TcpParserState fresh;
    EXPECT_EQ(parseTcp(Packet(KORVEX_PACKET_KEY_FRAME, "k"), fresh, output()), kParserFailed);

    TcpParserState refusedSize;
    EXPECT_EQ(parseTcp(MediaInfoPacket(1024, 768) + Packet(KORVEX_PACKET_KEY_FRAME, "k"),
                       refusedSize, output()),
              kParserFailed);

    // Without a media-information callback no record counts, so the first frame ends it.
    TcpParserState noCallback;
    EXPECT_EQ(parseTcp(MediaInfoPacket(1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "k"),
                       noCallback, output(false)),
              kParserFailed);
    EXPECT_EQ(recorder_.count(Report::kFrame), 0u);
    EXPECT_EQ(recorder_.count(Report::kMediaInfo), 0u);
}

TEST_F(PacketTest, TcpFramesFlowFromTheFirstKeyFrameOn) {
    TcpParserState state;
    std::string bytes =
        MediaInfoPacket(1920, 1080) + Packet(2, "p-before", 1) +
        Packet(KORVEX_PACKET_AUDIO, "a-before", 1) + Packet(KORVEX_PACKET_KEY_FRAME, "key", 2) +
        Packet(2, "p-after", 3) + Packet(KORVEX_PACKET_AUDIO, "audio", 3) +
        Packet(KORVEX_PACKET_MEDIA_INFO, MediaInfoPayload(720, 576), 4) + Packet(2, "p-last", 5);
    EXPECT_EQ(parseTcp(bytes, state, output()), static_cast<long>(bytes.size()));
    EXPECT_TRUE(state.keyFrameSeen);
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"media 1920x1080", "frame 1 ts=2 bytes=3",
                                        "frame 2 ts=3 bytes=7", "frame 3 ts=3 bytes=5",
                                        "media 720x576", "frame 2 ts=5 bytes=6"}));
    EXPECT_EQ(recorder_.reports()[1].data, "key");
}

TEST_F(PacketTest, TcpSkipsGarbageAndKeepsAnIncompletePacket) {
    TcpParserState state;
    std::string media = MediaInfoPacket(1280, 720);
    std::string key = Packet(KORVEX_PACKET_KEY_FRAME, Payload(1000), 9);
    // Garbage that begins like the magic, then a split packet.
    std::string garbage = std::string("x\x20\x05", 3);
    std::string first = garbage + media + key.substr(0, 500);
    EXPECT_EQ(parseTcp(first, state, output()), static_cast<long>(garbage.size() + media.size()));
    EXPECT_EQ(recorder_.count(Report::kFrame), 0u);

    // The kept start of the packet with the bytes that came next.
    EXPECT_EQ(parseTcp(key, state, output()), static_cast<long>(key.size()));
    ASSERT_EQ(recorder_.count(Report::kFrame), 1u);
    EXPECT_EQ(recorder_.reports().back().data, Payload(1000));

    // Fewer bytes than a header: nothing to do yet, nothing consumed.
    EXPECT_EQ(parseTcp(key.substr(0, 23), state, output()), 0);
}

TEST_F(PacketTest, TcpHandlesAnEmptyPacketThatEndsExactlyAtTheEnd) {
    TcpParserState state;
    std::string bytes =
        MediaInfoPacket(1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 1) + Packet(2, "", 2);
    EXPECT_EQ(parseTcp(bytes, state, output()), static_cast<long>(bytes.size()));
    EXPECT_EQ(recorder_.texts().back(), "frame 2 ts=2 bytes=0");
}

TEST_F(PacketTest, TcpSkipsANegativeLengthAndIgnoresAShortMediaInfo) {
    TcpParserState state;
    int64_t negative = -1;
    std::string bytes = Packet(KORVEX_PACKET_KEY_FRAME, "", 0, 0, 0, &negative) +
                        MediaInfoPacket(1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 1);
    EXPECT_EQ(parseTcp(bytes, state, output()), static_cast<long>(bytes.size()));
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"media 1920x1080", "frame 1 ts=1 bytes=1"}));

    // A record too short to hold the fields is not read past its end.
    TcpParserState fresh;
    std::string shortRecord =
        Packet(KORVEX_PACKET_MEDIA_INFO, MediaInfoPayload(1920, 1080).substr(0, 8));
    EXPECT_EQ(parseTcp(shortRecord, fresh, output()), static_cast<long>(shortRecord.size()));
    EXPECT_FALSE(fresh.mediaInfoSeen);
}

class AssemblyTest : public PacketTest {
  protected:
    AssemblyTest()
        : storage_(new uint8_t[kStreamBufferSize]), frame_{storage_.get(), kStreamBufferSize} {}
    std::unique_ptr<uint8_t[]> storage_;
    FrameAssembly frame_;
};

TEST_F(AssemblyTest, FragmentsMakeOneFrameAndAWholePacketIsOneFrame) {
    std::string bytes = Packet(2, "abc", 10, 1, kFirstFragment) + Packet(2, "defg", 10, 2) +
                        Packet(2, "hi", 10, 3, kLastFragment) +
                        Packet(KORVEX_PACKET_AUDIO, "xy", 11, 4, kWholeFrame);
    EXPECT_EQ(assemble(bytes, frame_), bytes.size());
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"frame 2 ts=10 bytes=9", "frame 3 ts=11 bytes=2"}));
    EXPECT_EQ(recorder_.reports()[0].data, "abcdefghi");
    EXPECT_EQ(frame_.fill, 0u);
}

TEST_F(AssemblyTest, SequenceGapsAreReportedAndThePacketKept) {
    // The first packet of a connection has nothing to follow: no report, whatever its number.
    assemble(Packet(2, "a", 1, 7, kWholeFrame), frame_);
    assemble(Packet(2, "b", 2, 9, kWholeFrame), frame_);  // 8 is missing
    assemble(Packet(2, "c", 3, 10, kWholeFrame), frame_);
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"frame 2 ts=1 bytes=1", "event 4", "frame 2 ts=2 bytes=1",
                                        "frame 2 ts=3 bytes=1"}));

    // The sequence wraps at 2^32 without a gap.
    frame_ = FrameAssembly{storage_.get(), kStreamBufferSize};  // a new connection
    assemble(Packet(2, "d", 4, 0xffffffffu, kWholeFrame) + Packet(2, "e", 5, 0, kWholeFrame),
             frame_);
    EXPECT_EQ(recorder_.count(Report::kEvent, KORVEX_STREAM_DATA_LOST), 1u);
    EXPECT_EQ(recorder_.count(Report::kFrame), 5u);
}

TEST_F(AssemblyTest, ANewTimestampDeliversTheOpenFrameFirst) {
    std::string bytes = Packet(KORVEX_PACKET_KEY_FRAME, "open", 1, 1, kFirstFragment) +
                        Packet(2, "next", 2, 2, kWholeFrame);
    assemble(bytes, frame_);
    EXPECT_EQ(recorder_.texts(), (std::vector<std::string>{"event 4", "frame 1 ts=1 bytes=4",
                                                           "frame 2 ts=2 bytes=4"}));
    // A first-fragment bit with the same timestamp opens a new frame too.
    assemble(
        Packet(2, "x", 7, 3, kFirstFragment) + Packet(2, "y", 7, 4, kFirstFragment | kLastFragment),
        frame_);
    EXPECT_EQ(recorder_.texts().size(), 5u + 1u);
    EXPECT_EQ(recorder_.reports()[4].data, "x");
    EXPECT_EQ(recorder_.reports()[5].data, "y");
}

TEST_F(AssemblyTest, AFrameOverTheBufferIsCutAt4MiB) {
    const size_t fragment = 4000;
    const size_t fragments = kStreamBufferSize / fragment + 1;  // 4,196,000 bytes in all
    std::string bytes;
    for (size_t i = 0; i < fragments; ++i) {
        uint8_t bits = i == 0 ? kFirstFragment : (i + 1 == fragments ? kLastFragment : 0);
        bytes = Packet(2, Payload(fragment, static_cast<uint8_t>(i)), 5,
                       static_cast<uint32_t>(i + 1), bits);
        ASSERT_EQ(assemble(bytes, frame_), bytes.size());
    }
    std::vector<Report> reports = recorder_.reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].text(), "event 4");
    EXPECT_EQ(reports[1].data.size(), kStreamBufferSize);
    size_t lastFull = (fragments - 2) * fragment;  // the last fragment copied whole
    EXPECT_EQ(reports[1].data.substr(lastFull, fragment),
              Payload(fragment, static_cast<uint8_t>(fragments - 2)));
    EXPECT_EQ(reports[1].data.substr(lastFull + fragment),
              Payload(fragment, static_cast<uint8_t>(fragments - 1))
                  .substr(0, kStreamBufferSize - lastFull - fragment));
}

TEST_F(AssemblyTest, MediaInfoOfAnySizeAndFramesWithoutKeyWait) {
    std::string bytes =
        Packet(KORVEX_PACKET_MEDIA_INFO, MediaInfoPayload(1024, 768), 1, 1, kWholeFrame) +
        Packet(2, "p", 2, 2, kWholeFrame) +
        Packet(KORVEX_PACKET_MEDIA_INFO, "short", 3, 3, kWholeFrame);
    assemble(bytes, frame_);
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"media 1024x768", "frame 2 ts=2 bytes=1"}));
}

TEST_F(AssemblyTest, AnIncompletePacketStaysHeld) {
    std::string whole = Packet(2, "abc", 1, 1, kWholeFrame);
    std::string next = Packet(2, Payload(100), 2, 2, kWholeFrame);
    EXPECT_EQ(assemble("zz" + whole + next.substr(0, 60), frame_), 2 + whole.size());
    EXPECT_EQ(recorder_.count(Report::kFrame), 1u);
    // A header with nothing behind it, ending exactly at the end, is whole.
    EXPECT_EQ(assemble(Packet(2, "", 3, 3, kWholeFrame), frame_), 24u);
}

TEST_F(AssemblyTest, TheDatagramBufferTakesAFullDatagramBehindStrayBytes) {
    DatagramBuffer datagrams;
    const StreamOutput out = output();
    auto receive = [&](const std::string& datagram) {
        ASSERT_LE(datagram.size(), kLargestDatagram);
        std::memcpy(datagrams.next(), datagram.data(), datagram.size());
        datagrams.take(datagram.size(), frame_, out);
    };
    // Junk after every frame: the assembler keeps its last 23 bytes, and a full datagram still
    // fits behind them.
    const size_t fullPayload = kLargestDatagram - kPacketHeaderSize;
    for (uint32_t i = 1; i <= 3; ++i) {
        receive(std::string(300, 'j'));
        EXPECT_EQ(datagrams.held, kPacketHeaderSize - 1);
        receive(Packet(2, Payload(fullPayload, static_cast<uint8_t>(i)), i, i, kWholeFrame));
        EXPECT_EQ(datagrams.held, 0u);
    }
    // The bytes are one stream: a packet split over two datagrams is whole once both are in.
    std::string split = Packet(2, Payload(3000, 9), 4, 4, kWholeFrame);
    receive(split.substr(0, 1000));
    receive(split.substr(1000));
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"frame 2 ts=1 bytes=4072", "frame 2 ts=2 bytes=4072",
                                        "frame 2 ts=3 bytes=4072", "frame 2 ts=4 bytes=3000"}));
    EXPECT_EQ(recorder_.reports()[2].data, Payload(fullPayload, 3));
    EXPECT_EQ(recorder_.reports()[3].data, Payload(3000, 9));

    // A header that claims more than will ever come holds bytes up to one largest datagram; past
    // that they are dropped, and what follows is taken in.
    int64_t claimed = 100000;
    receive(Packet(2, "", 5, 99, 0, &claimed) + std::string(fullPayload, 'x'));
    EXPECT_EQ(datagrams.held, kLargestDatagram);
    receive("yy");
    EXPECT_EQ(datagrams.held, 0u);
    receive(Packet(2, "after", 6, 5, kWholeFrame));
    EXPECT_EQ(recorder_.texts().back(), "frame 2 ts=6 bytes=5");
    EXPECT_EQ(recorder_.count(Report::kEvent, KORVEX_STREAM_DATA_LOST), 0u);
}

TEST(UdpPort, DrawsStayInTheRangeAndATakenPortIsDrawnAgain) {
    std::mt19937 generator(1);
    int low = kLastUdpPort;
    int high = kFirstUdpPort;
    for (int i = 0; i < 2000; ++i) {
        int port = DrawUdpPort(generator);
        low = std::min(low, port);
        high = std::max(high, port);
    }
    EXPECT_GE(low, kFirstUdpPort);
    EXPECT_LE(high, kLastUdpPort);
    EXPECT_GT(high - low, 15000);  // spread over the range, not stuck

    // Hold the port that the next draw gives; the stream must move on to another one.
    std::mt19937 peek = generator;
    int taken = DrawUdpPort(peek);
    Socket holder(OpenUdpReceiver(taken));
    ASSERT_TRUE(holder.valid()) << "port " << taken << " is in use on this machine";
    Socket socket;
    int port = OpenUdpReceiverOnFreshPort(generator, socket);
    EXPECT_TRUE(socket.valid());
    EXPECT_NE(port, taken);
    EXPECT_GE(port, kFirstUdpPort);
    EXPECT_LE(port, kLastUdpPort);
}

TEST(PlayRequest, RportOnlyForUdpAndAFullBufferFails) {
    char out[2048];
    ASSERT_GT(FormatPlayRequest(out, sizeof out, 2, KORVEX_TRANSPORT_UDP, 31000), 0);
    EXPECT_STREQ(out,
                 "PLAY HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:2\r\nSTREAM:0\r\nTRANSPORT:1\r\n"
                 "RPORT:31000\r\nCONTENT-LENGTH:0\r\n\r\n");
    char small[40];
    EXPECT_EQ(FormatPlayRequest(small, sizeof small, 0, KORVEX_TRANSPORT_TCP, 0), -1);
}

}  // namespace
}  // namespace korvex
