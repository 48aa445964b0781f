// The configuration commands against the fake device: exact request bytes, CHN values, reading
// the answers back into the records, and the codes that must not reach the network.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "Korvex.h"
#include "fake_device.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::FakeDevice;
using test::OkResponse;

struct SessionDeleter {
    void operator()(KorvexSession* session) const { KORVEX_Logout(session); }
};

class Config : public ::testing::Test {
  protected:
    Config() {
        KorvexLoginInfo info{};
        std::strcpy(info.host, "127.0.0.1");
        info.port = device_.port();
        session_.reset(KORVEX_Login(&info, nullptr, nullptr));
    }

    // The bytes of the only request the device received.
    std::string onlyRequest() {
        EXPECT_TRUE(device_.waitForClosedConnections(1, 2s));
        auto requests = device_.requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? "" : requests[0];
    }

    static std::string headerBytes(const std::string& word, int channel, size_t bodyLength) {
        return word + " HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:" + std::to_string(channel) +
               "\r\nCONTENT-LENGTH:" + std::to_string(bodyLength) + "\r\n\r\n";
    }
    static std::string requestBytes(const std::string& word, int channel, const std::string& body) {
        return headerBytes(word, channel, body.size()) + body;
    }

    int get(int code, void* record, int channel = 0) {
        return KORVEX_GetConfig(session_.get(), code, record, 0, 1000, channel);
    }
    int set(int code, void* record, int channel = 0) {
        return KORVEX_SetConfig(session_.get(), code, record, 0, 1000, channel);
    }

    FakeDevice device_;
    std::unique_ptr<KorvexSession, SessionDeleter> session_;
};

TEST_F(Config, WrongEntryAndUnlistedCodesFailWithoutTraffic) {
    DisplayConfig record{};
    for (int code : {CFG_SET_DISPLAY, CFG_SET_VIDEOENC, CFG_SET_RECV, CFG_ACTUATOR_MOVE, 10001,
                     10006, 10015, 0, -1}) {
        EXPECT_EQ(get(code, &record), -1) << code;
    }
    for (int code : {CFG_GET_DISPLAY, CFG_GET_VIDEOSRC, CFG_GET_SYSINFO, CFG_GET_RECV, 10001, 10006,
                     2, 99999}) {
        EXPECT_EQ(set(code, &record), -1) << code;
    }
    EXPECT_EQ(get(CFG_GET_SYSINFO, nullptr), -1);
    EXPECT_EQ(device_.connectionCount(), 0u);
}

TEST_F(Config, SystemInfoTextsAreFilledWithoutLineEnds) {
    device_.script(Answer(OkResponse("SOFTVER=V1.2\r\nHARDVER=H3\r\nSERIAL=0001\r\nMODEL=X\r\n")));
    SystemInfo info{};
    EXPECT_EQ(get(CFG_GET_SYSINFO, &info, 7), 0);
    EXPECT_STREQ(info.softVer, "V1.2");
    EXPECT_STREQ(info.hardVer, "H3");
    EXPECT_STREQ(info.serial, "0001");
    EXPECT_STREQ(info.model, "X");
    EXPECT_EQ(onlyRequest(), requestBytes("GET_SYSINFO", 0, ""));
}

TEST_F(Config, MissingKeyFailsWithTheFieldsBeforeItFilled) {
    device_.script(Answer(OkResponse("SOFTVER=V1.2\r\nHARDVER=H3\r\nSERIAL=0001\r\n")));
    SystemInfo info;
    std::memset(&info, 'q', sizeof info);
    EXPECT_EQ(get(CFG_GET_SYSINFO, &info), -1);
    EXPECT_STREQ(info.softVer, "V1.2");
    EXPECT_STREQ(info.hardVer, "H3");
    EXPECT_STREQ(info.serial, "0001");
    EXPECT_STREQ(info.model, "");
}

TEST_F(Config, FailedAnswerLeavesTheRecordUntouched) {
    device_.script(Answer("HDMI/1.0 401 Unauthorized\r\n\r\nWIDTH=1\r\nHEIGHT=2\r\n"));
    VideoSourceInfo source = {11, 22, 33, 44};
    EXPECT_EQ(get(CFG_GET_VIDEOSRC, &source), -1);
    EXPECT_EQ(source.width, 11);
    EXPECT_EQ(source.scan, 44);
}

TEST_F(Config, LaterNumberFieldsKeepTheCallersValuesAfterAMissingKey) {
    device_.script(Answer(OkResponse("WIDTH=1920x\r\nFREQ=60\r\nSCAN=1\r\n")));
    VideoSourceInfo source = {11, 22, 33, 44};
    EXPECT_EQ(get(CFG_GET_VIDEOSRC, &source), -1);
    EXPECT_EQ(source.width, 1920);
    EXPECT_EQ(source.height, 0);
    EXPECT_EQ(source.freq, 33);
    EXPECT_EQ(source.scan, 44);
}

TEST_F(Config, VideoEncodeUsesTheCallChannelAndTheWireOrder) {
    device_.script(
        Answer(OkResponse("CODEC=1\r\nWIDTH=1920\r\nHEIGHT=1080\r\nBITRATE=8000\r\n"
                          "KEYGOP=60\r\nFRAMERATE=30\r\nRC=2\r\nQUALITY=5\r\n"
                          "PROFILE=-3\r\n")));
    VideoEncodeConfig config{};
    EXPECT_EQ(get(CFG_GET_VIDEOENC, &config, 3), 0);
    EXPECT_EQ(config.codec, 1);
    EXPECT_EQ(config.height, 1080);
    EXPECT_EQ(config.bitrate, 8000);
    EXPECT_EQ(config.keyGop, 60);
    EXPECT_EQ(config.frameRate, 30);
    EXPECT_EQ(config.rc, 2);
    EXPECT_EQ(config.profile, -3);

    config.frameRate = 60;
    config.keyGop = 120;
    EXPECT_EQ(set(CFG_SET_VIDEOENC, &config, 3), 0);
    ASSERT_TRUE(device_.waitForClosedConnections(2, 2s));
    auto requests = device_.requests();
    EXPECT_EQ(requests[0], requestBytes("GET_VIDEOENC", 3, ""));
    EXPECT_EQ(requests[1],
              requestBytes("SET_VIDEOENC", 3,
                           "CODEC=1\r\nWIDTH=1920\r\nHEIGHT=1080\r\nBITRATE=8000\r\nKEYGOP=120\r\n"
                           "FRAMERATE=60\r\nRC=2\r\nQUALITY=5\r\nPROFILE=-3\r\n"));
}

TEST_F(Config, AudioCommandsSendChannelZeroWhateverTheArgument) {
    device_.script(
        Answer(OkResponse("ENABLE=1\r\nCODEC=2\r\nSAMPLES=48000\r\nBITRATE=128\r\n"
                          "BITWIDTH=16\r\nCHANNEL=2\r\n")));
    AudioEncodeConfig config{};
    EXPECT_EQ(get(CFG_GET_AUDIOENC, &config, 4), 0);
    EXPECT_EQ(config.samples, 48000);
    EXPECT_EQ(config.channel, 2);
    EXPECT_EQ(set(CFG_SET_AUDIOENC, &config, 4), 0);
    device_.script(Answer(OkResponse("SAMPLES=44100\r\nCHANNEL=1\r\n")));
    AudioSourceInfo source{};
    EXPECT_EQ(get(CFG_GET_AUDIOSRC, &source, 2), 0);
    EXPECT_EQ(source.samples, 44100);
    ASSERT_TRUE(device_.waitForClosedConnections(3, 2s));
    auto requests = device_.requests();
    EXPECT_EQ(requests[0], requestBytes("GET_AUDIOENC", 0, ""));
    EXPECT_EQ(requests[1], requestBytes("SET_AUDIOENC", 0,
                                        "ENABLE=1\r\nCODEC=2\r\nSAMPLES=48000\r\nBITRATE=128\r\n"
                                        "BITWIDTH=16\r\nCHANNEL=2\r\n"));
    EXPECT_EQ(requests[2], requestBytes("GET_AUDIOSRC", 0, ""));
}

TEST_F(Config, TtlSendsTheRecordChannelAndMatchesKeysAsSubstrings) {
    // PEER_PORT before PORT: "PORT=" is found inside "PEER_PORT=" first.
    device_.script(
        Answer(OkResponse("MODE=1\r\nCLIENT=0\r\nBAUDRATE=115200\r\nPEER_PORT=9000\r\n"
                          "PORT=8000\r\nPEER_ADDR=10.0.0.9\r\n")));
    TtlConfig ttl{};
    ttl.chn = 1;
    EXPECT_EQ(get(CFG_GET_TTL, &ttl, 3), 0);
    EXPECT_EQ(ttl.port, 9000);
    EXPECT_EQ(ttl.peerPort, 9000);
    EXPECT_STREQ(ttl.peerAddr, "10.0.0.9");
    EXPECT_EQ(ttl.chn, 1);

    ttl.baudrate = 9600;
    EXPECT_EQ(set(CFG_SET_TTL, &ttl, 3), 0);
    ASSERT_TRUE(device_.waitForClosedConnections(2, 2s));
    auto requests = device_.requests();
    EXPECT_EQ(requests[0], requestBytes("GET_TTL", 1, ""));
    EXPECT_EQ(requests[1],
              requestBytes("SET_TTL", 1,
                           "CHN=1\r\nMODE=1\r\nCLIENT=0\r\nBAUDRATE=9600\r\nPORT=9000\r\n"
                           "PEER_PORT=9000\r\nPEER_ADDR=10.0.0.9\r\n"));
}

TEST_F(Config, ReceiveSettingsReadAndTheOwnRecvFraming) {
    device_.script(Answer(
        OkResponse("RPORT=30000\r\nTRANSPORT=1\r\nRENDPT=" + std::string(40, 'e') + "\r\n")));
    ReceiveConfig receive{};
    receive.chn = 2;
    EXPECT_EQ(get(CFG_GET_RECV, &receive), 0);
    EXPECT_EQ(receive.rport, 30000);
    EXPECT_EQ(receive.transport, 1);
    EXPECT_EQ(std::string(receive.rendpt), std::string(23, 'e'));

    std::strcpy(receive.rendpt, "192.0.2.1");
    EXPECT_EQ(set(CFG_SET_RECV, &receive, 9), 0);
    ASSERT_TRUE(device_.waitForClosedConnections(2, 2s));
    auto requests = device_.requests();
    EXPECT_EQ(requests[0], requestBytes("GET_RECV", 2, ""));
    EXPECT_EQ(requests[1],
              "RECV HDMI/1.0\r\nCHN:2\r\nRENDPT:192.0.2.1\r\nTRANSPORT:1\r\nRPORT:30000\r\n"
              "CONTENT-LENGTH:0\r\n\r\n");
}

TEST_F(Config, DisplayRoundTripAndItsLists) {
    DisplayConfig display{};
    display.audio = -1;
    std::strcpy(display.resolution, "1080P60");
    display.count = 2;
    display.windows[0] = {1, 0, 0, 50, 100};
    display.windows[1] = {2, 50, 0, 50, 100};
    EXPECT_EQ(set(CFG_SET_DISPLAY, &display, 5), 0);
    display.count = 0;
    EXPECT_EQ(set(CFG_SET_DISPLAY, &display), 0);

    device_.script(
        Answer(OkResponse("AUDIO=2\r\nRESOLUTION=3840x2160P30\r\n"
                          "DISPLAY=[1:0,0,50,100 -a 3:0,0,100 -a 2:50,0,50,100]\r\n")));
    DisplayConfig read{};
    EXPECT_EQ(get(CFG_GET_DISPLAY, &read), 0);
    EXPECT_EQ(read.audio, 2);
    EXPECT_STREQ(read.resolution, "3840x2160P30");
    ASSERT_EQ(read.count, 2);
    EXPECT_EQ(read.windows[1].id, 2);
    EXPECT_EQ(read.windows[1].x, 50);

    device_.script(Answer(OkResponse("AUDIO=1\r\nRESOLUTION=1080P60\r\nDISPLAY=[]\r\n")));
    EXPECT_EQ(get(CFG_GET_DISPLAY, &read), 0);
    EXPECT_EQ(read.count, 0);

    ASSERT_TRUE(device_.waitForClosedConnections(4, 2s));
    auto requests = device_.requests();
    EXPECT_EQ(requests[0],
              requestBytes(
                  "SET_DISPLAY", 0,
                  "DISPLAY=[1:0,0,50,100 -a 2:50,0,50,100]\r\nRESOLUTION=1080P60\r\nAUDIO=-1\r\n"));
    EXPECT_EQ(requests[1],
              requestBytes("SET_DISPLAY", 0, "DISPLAY=[]\r\nRESOLUTION=1080P60\r\nAUDIO=-1\r\n"));
    EXPECT_EQ(requests[2], requestBytes("GET_DISPLAY", 0, ""));
}

TEST_F(Config, DisplayWithoutListFailsAfterAudioAndResolution) {
    device_.script(Answer(OkResponse("AUDIO=4\r\nRESOLUTION=1080P60\r\n")));
    DisplayConfig read{};
    read.count = 3;
    EXPECT_EQ(get(CFG_GET_DISPLAY, &read), -1);
    EXPECT_EQ(read.audio, 4);
    EXPECT_STREQ(read.resolution, "1080P60");
    EXPECT_EQ(read.count, 3);
}

TEST_F(Config, DisplayCountOutsideZeroToFiveSendsNothing) {
    DisplayConfig display{};
    for (int count : {-1, 6, 1000}) {
        display.count = count;
        EXPECT_EQ(set(CFG_SET_DISPLAY, &display), -1);
    }
    EXPECT_EQ(device_.connectionCount(), 0u);
}

TEST_F(Config, UnterminatedTextFieldsAreSentOnlyUpToTheFieldEnd) {
    TtlConfig ttl{};
    std::memset(ttl.peerAddr, 'a', sizeof ttl.peerAddr);
    EXPECT_EQ(set(CFG_SET_TTL, &ttl), 0);
    std::string request = onlyRequest();
    EXPECT_NE(request.find("PEER_ADDR=" + std::string(23, 'a') + "\r\n"), std::string::npos);
}

TEST_F(Config, ActuatorMoveBody) {
    ActuatorMoveRequest move = {2, KORVEX_ACTUATOR_GOTO, KORVEX_ACTUATOR_ANGLE(50)};
    EXPECT_EQ(set(CFG_ACTUATOR_MOVE, &move, 4), 0);
    EXPECT_EQ(onlyRequest(), requestBytes("ACTUATOR_MOVE", 0, "ID=2\r\nORIENT=1\r\nANGLE=87\r\n"));
}

// The orient values keep their numbers, and the angle is truncated: 33 % is 71.7, sent as 71.
TEST(ActuatorAngle, PercentMapsOntoFortyTwoToOneHundredThirtyTwo) {
    EXPECT_EQ(KORVEX_ACTUATOR_ANGLE(0), 42);
    EXPECT_EQ(KORVEX_ACTUATOR_ANGLE(33), 71);
    EXPECT_EQ(KORVEX_ACTUATOR_ANGLE(50), 87);
    EXPECT_EQ(KORVEX_ACTUATOR_ANGLE(100), 132);
    EXPECT_EQ(KORVEX_ACTUATOR_STOP, 0);
    EXPECT_EQ(KORVEX_ACTUATOR_GOTO, 1);
    EXPECT_EQ(KORVEX_ACTUATOR_INC, 2);
    EXPECT_EQ(KORVEX_ACTUATOR_DEC, 3);
}

TEST_F(Config, TheCallersTimeoutBoundsEachWait) {
    device_.setDefaultReply(test::Silence());
    VideoSourceInfo source{};
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(KORVEX_GetConfig(session_.get(), CFG_GET_VIDEOSRC, &source, 0, 300, 0), -1);
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 1500ms);
}

TEST_F(Config, LargeAnswersOfTheBigGetsAreReadWhole) {
    // GET_DISPLAY reads up to 4095 bytes: a list placed behind 3000 bytes of padding still counts.
    std::string body = "PAD=" + std::string(3000, 'p') +
                       "\r\nAUDIO=1\r\nRESOLUTION=1080P60\r\nDISPLAY=[4:0,0,100,100]\r\n";
    device_.script(Answer(OkResponse(body)));
    DisplayConfig read{};
    EXPECT_EQ(get(CFG_GET_DISPLAY, &read), 0);
    EXPECT_EQ(read.count, 1);
    EXPECT_EQ(read.windows[0].id, 4);

    // GET_SYSINFO reads at most 2047: the same padding pushes MODEL out of reach.
    device_.script(Answer(OkResponse("SOFTVER=1\r\nHARDVER=2\r\nSERIAL=3\r\nPAD=" +
                                     std::string(3000, 'p') + "\r\nMODEL=M\r\n")));
    SystemInfo info{};
    EXPECT_EQ(get(CFG_GET_SYSINFO, &info), -1);
}

TEST_F(Config, AValueCutInTransitIsNeverReadAsAValue) {
    // Every key is there, but the answer stops inside its last line, by a close or by silence:
    // "PROFILE=1" is not the device's "PROFILE=100". The Get fails, so that no read-change-write
    // can send the damage back.
    const std::string whole =
        "CODEC=0\r\nWIDTH=1920\r\nHEIGHT=1080\r\nBITRATE=4000\r\nKEYGOP=60\r\n"
        "FRAMERATE=30\r\nRC=1\r\nQUALITY=5\r\nPROFILE=100\r\n";
    const std::string cut = OkResponse(whole).substr(0, OkResponse(whole).size() - 4);
    test::Reply silent = Answer(cut);
    silent.closeAfter = false;
    for (const test::Reply& reply : {Answer(cut), silent}) {
        device_.script(reply);
        VideoEncodeConfig read{};
        read.profile = 7;
        EXPECT_EQ(KORVEX_GetConfig(session_.get(), CFG_GET_VIDEOENC, &read, 0, 300, 1), -1);
        EXPECT_EQ(read.bitrate, 4000);
        EXPECT_EQ(read.profile, 0);  // missing
    }
    // Cut right behind a whole line, the answer reads as far as it came.
    device_.script(Answer(OkResponse(whole).substr(0, OkResponse(whole).size() - 13)));
    VideoEncodeConfig read{};
    EXPECT_EQ(get(CFG_GET_VIDEOENC, &read, 1), -1);
    EXPECT_EQ(read.quality, 5);

    // A window list cut inside its brackets is no empty list: the Get fails.
    const std::string display =
        OkResponse("AUDIO=1\r\nRESOLUTION=1080P60\r\nDISPLAY=[1:0,0,50,100 -a 2:50\r\n");
    device_.script(Answer(display));
    DisplayConfig layout{};
    layout.count = 3;
    EXPECT_EQ(get(CFG_GET_DISPLAY, &layout), -1);
    EXPECT_EQ(layout.count, 3);
}

}  // namespace
}  // namespace korvex
