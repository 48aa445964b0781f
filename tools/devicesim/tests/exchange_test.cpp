// Scripted exchanges with the emulated devices, compared byte for byte.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "running_installation.h"
#include "wire_client.h"

namespace devicesim_test {
namespace {

const char kDefaultEncoder[] =
    "CODEC=0\r\nWIDTH=1920\r\nHEIGHT=1080\r\nFRAMERATE=30\r\nBITRATE=4000\r\nRC=0\r\nKEYGOP=60\r\n"
    "QUALITY=3\r\nPROFILE=1\r\n";
const char kDefaultDisplay[] = "AUDIO=1\r\nRESOLUTION=1080P60\r\nDISPLAY=[1:0,0,100,100]\r\n";

TEST(Exchange, SysInfoNamesEachDevice) {
    RunningInstallation installation;
    EXPECT_EQ(
        ask(installation.port("rx"), request("GET_SYSINFO", 0)),
        okAnswer("SOFTVER=V1.0.0\r\nHARDVER=H1.0\r\nSERIAL=DSIM-RX-1\r\nMODEL=HDMI-IP-RX\r\n"));
    EXPECT_EQ(
        ask(installation.port("tx2"), request("GET_SYSINFO", 0)),
        okAnswer("SOFTVER=V1.0.0\r\nHARDVER=H1.0\r\nSERIAL=DSIM-TX2-1\r\nMODEL=HDMI-IP-TX\r\n"));
}

// The receiver rewrites a channel's encoder (addressed by CHN); the transmitter of that channel
// then reports and streams the same settings, and the other channels keep theirs.
TEST(Exchange, EncoderSetThroughTheReceiverReachesItsTransmitter) {
    RunningInstallation installation;
    const std::string body =
        "CODEC=1\r\nWIDTH=1280\r\nHEIGHT=720\r\nBITRATE=3000\r\nKEYGOP=120\r\nFRAMERATE=60\r\n"
        "RC=1\r\nQUALITY=4\r\nPROFILE=2\r\n";
    EXPECT_EQ(ask(installation.port("rx"), request("SET_VIDEOENC", 1, body)), okAnswer());

    const std::string expected =
        "CODEC=1\r\nWIDTH=1280\r\nHEIGHT=720\r\nFRAMERATE=60\r\nBITRATE=3000\r\nRC=1\r\n"
        "KEYGOP=120\r\nQUALITY=4\r\nPROFILE=2\r\n";
    EXPECT_EQ(ask(installation.port("rx"), request("GET_VIDEOENC", 1)), okAnswer(expected));
    EXPECT_EQ(ask(installation.port("tx1"), request("GET_VIDEOENC", 0)), okAnswer(expected));
    EXPECT_EQ(ask(installation.port("tx1"), request("GET_VIDEOENC", 1)), okAnswer(expected));
    EXPECT_EQ(ask(installation.port("rx"), request("GET_VIDEOENC", 2)), okAnswer(kDefaultEncoder));
    EXPECT_EQ(ask(installation.port("tx2"), request("GET_VIDEOENC", 0)), okAnswer(kDefaultEncoder));
}

TEST(Exchange, EncoderOfAChannelThatIsNotThereIsNotFound) {
    RunningInstallation installation;
    EXPECT_EQ(statusLine(ask(installation.port("rx"), request("GET_VIDEOENC", 0))),
              "HDMI/1.0 404 Not Found");
    EXPECT_EQ(statusLine(ask(installation.port("rx"), request("GET_VIDEOENC", 5))),
              "HDMI/1.0 404 Not Found");
    EXPECT_EQ(statusLine(ask(installation.port("tx1"), request("GET_VIDEOENC", 2))),
              "HDMI/1.0 404 Not Found");
}

TEST(Exchange, DisplayRoundTripKeepsTheLayout) {
    RunningInstallation installation;
    const uint16_t rx = installation.port("rx");
    EXPECT_EQ(ask(rx, request("GET_DISPLAY", 0)), okAnswer(kDefaultDisplay));

    EXPECT_EQ(ask(rx, request("SET_DISPLAY", 0,
                              "DISPLAY=[1:0,0,50,100 -a 2:50,0,50,100]\r\n"
                              "RESOLUTION=3840x2160P30\r\nAUDIO=-1\r\n")),
              okAnswer());
    EXPECT_EQ(ask(rx, request("GET_DISPLAY", 0)),
              okAnswer("AUDIO=-1\r\nRESOLUTION=3840x2160P30\r\n"
                       "DISPLAY=[1:0,0,50,100 -a 2:50,0,50,100]\r\n"));
    // The receiver's picture is its output mode.
    EXPECT_EQ(ask(rx, request("GET_VIDEOSRC", 0)),
              okAnswer("WIDTH=3840\r\nHEIGHT=2160\r\nFREQ=30\r\nSCAN=0\r\n"));

    const std::string quad =
        "DISPLAY=[1:0,0,50,50 -a 2:50,0,50,50 -a 3:0,50,50,50 -a 4:50,50,50,50]\r\n"
        "RESOLUTION=1080P60\r\nAUDIO=4\r\n";
    EXPECT_EQ(ask(rx, request("SET_DISPLAY", 0, quad)), okAnswer());
    EXPECT_EQ(
        ask(rx, request("GET_DISPLAY", 0)),
        okAnswer("AUDIO=4\r\nRESOLUTION=1080P60\r\n"
                 "DISPLAY=[1:0,0,50,50 -a 2:50,0,50,50 -a 3:0,50,50,50 -a 4:50,50,50,50]\r\n"));

    EXPECT_EQ(
        ask(rx, request("SET_DISPLAY", 0, "DISPLAY=[]\r\nRESOLUTION=1080P60\r\nAUDIO=-1\r\n")),
        okAnswer());
    EXPECT_EQ(ask(rx, request("GET_DISPLAY", 0)),
              okAnswer("AUDIO=-1\r\nRESOLUTION=1080P60\r\nDISPLAY=[]\r\n"));
}

TEST(Exchange, DisplayCommandsAreTheReceiversOnly) {
    RunningInstallation installation;
    EXPECT_EQ(statusLine(ask(installation.port("tx1"), request("GET_DISPLAY", 0))),
              "HDMI/1.0 404 Not Found");
}

// A setting the hardware cannot take is refused as a whole, and nothing of it is kept.
TEST(Exchange, InvalidSettingsAreRefusedAndChangeNothing) {
    RunningInstallation installation;
    const uint16_t rx = installation.port("rx");
    const std::vector<std::string> displays = {
        "DISPLAY=[7:0,0,100,100]\r\nRESOLUTION=1080P60\r\nAUDIO=1\r\n",
        "DISPLAY=[1:50,0,60,100]\r\nRESOLUTION=1080P60\r\nAUDIO=1\r\n",
        "DISPLAY=[1:0,0,0,100]\r\nRESOLUTION=1080P60\r\nAUDIO=1\r\n",
        "DISPLAY=[1:0,0,100]\r\nRESOLUTION=1080P60\r\nAUDIO=1\r\n",
        "DISPLAY=[1:0,0,100,100]\r\nRESOLUTION=1080P61\r\nAUDIO=1\r\n",
        "DISPLAY=[1:0,0,100,100]\r\nRESOLUTION=1080P60\r\nAUDIO=5\r\n",
        "DISPLAY=[1:0,0,100,100]\r\nRESOLUTION=1080P60\r\n",
        "DISPLAY=[1:0,0,100,100]\r\nRESOLUTION=1080P60\r\nAUDIO=1",
        "DISPLAY=[1:0,0,20,20 -a 2:0,0,20,20 -a 3:0,0,20,20 -a 4:0,0,20,20 -a 1:0,0,20,20 -a "
        "2:0,0,20,20]\r\nRESOLUTION=1080P60\r\nAUDIO=1\r\n",
    };
    for (const std::string& body : displays) {
        EXPECT_EQ(statusLine(ask(rx, request("SET_DISPLAY", 0, body))), "HDMI/1.0 400 Bad Request")
            << body;
    }
    EXPECT_EQ(ask(rx, request("GET_DISPLAY", 0)), okAnswer(kDefaultDisplay));

    const std::string good =
        "CODEC=0\r\nWIDTH=1920\r\nHEIGHT=1080\r\nBITRATE=4000\r\nKEYGOP=60\r\n";
    const std::vector<std::string> encoders = {
        good + "FRAMERATE=0\r\nRC=0\r\nQUALITY=3\r\nPROFILE=1\r\n",
        good + "FRAMERATE=60x\r\nRC=0\r\nQUALITY=3\r\nPROFILE=1\r\n",
        good + "FRAMERATE=30\r\nRC=0\r\nQUALITY=3\r\n",
        "CODEC=2\r\nWIDTH=1920\r\nHEIGHT=1080\r\nBITRATE=4000\r\nKEYGOP=60\r\nFRAMERATE=30\r\n"
        "RC=0\r\nQUALITY=3\r\nPROFILE=1\r\n",
        "CODEC=0\r\nWIDTH=1024\r\nHEIGHT=768\r\nBITRATE=4000\r\nKEYGOP=60\r\nFRAMERATE=30\r\n"
        "RC=0\r\nQUALITY=3\r\nPROFILE=1\r\n",
        good + "FRAMERATE=30\r\nFRAMERATE=60\r\nRC=0\r\nQUALITY=3\r\nPROFILE=1\r\n",
    };
    for (const std::string& body : encoders) {
        EXPECT_EQ(statusLine(ask(rx, request("SET_VIDEOENC", 1, body))), "HDMI/1.0 400 Bad Request")
            << body;
    }
    EXPECT_EQ(ask(rx, request("GET_VIDEOENC", 1)), okAnswer(kDefaultEncoder));
}

// RECV carries its values as header lines, without AUTHORIZATION and without a body.
TEST(Exchange, ReceiveSettingsRoundTrip) {
    RunningInstallation installation;
    const uint16_t rx = installation.port("rx");
    const std::string recv =
        "RECV HDMI/1.0\r\nCHN:2\r\nRENDPT:192.168.2.221\r\nTRANSPORT:1\r\nRPORT:30000\r\n"
        "CONTENT-LENGTH:0\r\n\r\n";
    EXPECT_EQ(ask(rx, recv), okAnswer());
    EXPECT_EQ(ask(rx, request("GET_RECV", 2)),
              okAnswer("RPORT=30000\r\nTRANSPORT=1\r\nRENDPT=192.168.2.221\r\n"));
    EXPECT_EQ(ask(rx, request("GET_RECV", 1)),
              okAnswer("RPORT=0\r\nTRANSPORT=0\r\nRENDPT=0.0.0.0\r\n"));

    const std::string tooLong =
        "RECV HDMI/1.0\r\nCHN:2\r\nRENDPT:123456789012345678901234\r\nTRANSPORT:1\r\nRPORT:1\r\n"
        "CONTENT-LENGTH:0\r\n\r\n";
    EXPECT_EQ(statusLine(ask(rx, tooLong)), "HDMI/1.0 400 Bad Request");
    EXPECT_EQ(statusLine(ask(rx, request("GET_RECV", 5))), "HDMI/1.0 404 Not Found");
}

// PORT comes before PEER_PORT, so readers that search "PORT=" as a substring find the right one.
TEST(Exchange, TtlRoundTrip) {
    RunningInstallation installation;
    const uint16_t tx = installation.port("tx1");
    const std::string body =
        "CHN=1\r\nMODE=2\r\nCLIENT=1\r\nBAUDRATE=9600\r\nPORT=9100\r\nPEER_PORT=9200\r\n"
        "PEER_ADDR=192.168.2.50\r\n";
    EXPECT_EQ(ask(tx, request("SET_TTL", 1, body)), okAnswer());
    EXPECT_EQ(ask(tx, request("GET_TTL", 1)),
              okAnswer("CLIENT=1\r\nMODE=2\r\nBAUDRATE=9600\r\nPORT=9100\r\nPEER_PORT=9200\r\n"
                       "PEER_ADDR=192.168.2.50\r\n"));
    EXPECT_EQ(ask(tx, request("GET_TTL", 0)),
              okAnswer("CLIENT=0\r\nMODE=0\r\nBAUDRATE=115200\r\nPORT=9000\r\nPEER_PORT=0\r\n"
                       "PEER_ADDR=0.0.0.0\r\n"));

    std::string otherPort = body;
    otherPort.replace(0, 5, "CHN=0");
    EXPECT_EQ(statusLine(ask(tx, request("SET_TTL", 1, otherPort))), "HDMI/1.0 400 Bad Request");
    std::string oddRate = body;
    oddRate.replace(oddRate.find("9600"), 4, "1234");
    EXPECT_EQ(statusLine(ask(tx, request("SET_TTL", 1, oddRate))), "HDMI/1.0 400 Bad Request");
    EXPECT_EQ(statusLine(ask(tx, request("GET_TTL", 2))), "HDMI/1.0 404 Not Found");
}

TEST(Exchange, AudioSettingsRoundTrip) {
    RunningInstallation installation;
    const uint16_t tx = installation.port("tx1");
    EXPECT_EQ(ask(tx, request("GET_AUDIOSRC", 0)), okAnswer("SAMPLES=48000\r\nCHANNEL=2\r\n"));
    EXPECT_EQ(ask(tx, request("SET_AUDIOENC", 0,
                              "ENABLE=1\r\nCODEC=0\r\nSAMPLES=44100\r\nBITRATE=128\r\n"
                              "BITWIDTH=16\r\nCHANNEL=2\r\n")),
              okAnswer());
    EXPECT_EQ(ask(tx, request("GET_AUDIOENC", 0)),
              okAnswer("ENABLE=1\r\nCODEC=0\r\nSAMPLES=44100\r\nCHANNEL=2\r\nBITWIDTH=16\r\n"
                       "BITRATE=128\r\n"));
}

TEST(Exchange, ActuatorMovesAndRemoteKeysAreTaken) {
    LogCapture log;
    RunningInstallation installation;
    const uint16_t tx = installation.port("tx1");
    auto move = [&](int id, int orient, int angle) {
        return statusLine(
            ask(tx, request("ACTUATOR_MOVE", 0,
                            "ID=" + std::to_string(id) + "\r\nORIENT=" + std::to_string(orient) +
                                "\r\nANGLE=" + std::to_string(angle) + "\r\n")));
    };
    EXPECT_EQ(move(2, 1, 132), "HDMI/1.0 200 OK");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(move(2, 2, 0), "HDMI/1.0 200 OK");
    }
    EXPECT_EQ(move(2, 3, 0), "HDMI/1.0 200 OK");
    EXPECT_EQ(move(2, 0, 0), "HDMI/1.0 200 OK");
    EXPECT_TRUE(log.contains("actuator 2 stopped at 134"));
    {
        devicesim::DeviceState& state = installation.device("tx1").state();
        std::lock_guard<std::mutex> lock(state.mutex);
        EXPECT_EQ(state.settings.actuator[2], 134);
        EXPECT_EQ(state.settings.actuator[1], 87);
    }
    EXPECT_EQ(move(6, 0, 0), "HDMI/1.0 400 Bad Request");
    EXPECT_EQ(move(2, 1, 181), "HDMI/1.0 400 Bad Request");
    EXPECT_EQ(move(2, 4, 0), "HDMI/1.0 400 Bad Request");

    EXPECT_EQ(ask(tx, request("NET_KEYBOARD", 0, "KEY=-1\r\n")), okAnswer());
    EXPECT_TRUE(log.contains("tx1 127.0.0.1:"));
    EXPECT_TRUE(log.contains("NET_KEYBOARD CHN:0 {KEY=-1} -> 200 OK; remote key -1"));
}

TEST(Exchange, MalformedRequestsAreAnsweredWithErrors) {
    RunningInstallation installation;
    const uint16_t rx = installation.port("rx");
    EXPECT_EQ(statusLine(ask(rx, "GET_SYSINFO HTTP/1.1\r\nCONTENT-LENGTH:0\r\n\r\n")),
              "HDMI/1.0 400 Bad Request");
    EXPECT_EQ(statusLine(ask(rx, "GET_SYSINFO HDMI/1.0\nCHN:0\nCONTENT-LENGTH:0\r\n\r\n")),
              "HDMI/1.0 400 Bad Request");
    EXPECT_EQ(statusLine(ask(rx, "GET_SYSINFO HDMI/1.0\r\nCONTENT-LENGTH:-4\r\n\r\n")),
              "HDMI/1.0 400 Bad Request");
    EXPECT_EQ(statusLine(ask(rx, request("GET_SYSINFO", 0) + "extra")), "HDMI/1.0 200 OK");
    EXPECT_EQ(statusLine(ask(rx, request("FORMAT_DISK", 0))), "HDMI/1.0 501 Not Implemented");
    EXPECT_EQ(statusLine(ask(rx, "NET_KEYBOARD HDMI/1.0\r\nCONTENT-LENGTH:20000\r\n\r\n")),
              "HDMI/1.0 413 Payload Too Large");
    EXPECT_EQ(statusLine(ask(rx, request("NET_KEYBOARD", 0, "KEY=\r\n"))),
              "HDMI/1.0 400 Bad Request");
}

// A request whose body never arrives in full gets no answer, rather than one for half a request.
TEST(Exchange, ShortBodyGetsNoAnswer) {
    LogCapture log;
    RunningInstallation installation;
    const int fd = connectLoopback(installation.port("rx"), 3000);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendText(fd, "NET_KEYBOARD HDMI/1.0\r\nCONTENT-LENGTH:10\r\n\r\nKEY=5"));
    ::shutdown(fd, SHUT_WR);
    bool closed = false;
    EXPECT_EQ(readUntilClosed(fd, 5000, &closed), "");
    EXPECT_TRUE(closed);
    ::close(fd);
    EXPECT_TRUE(
        eventually([&] { return log.contains("NET_KEYBOARD with 5 of 10 body bytes"); }, 2000));
}

TEST(Exchange, SystemResetRefusesConnectionsLikeAReboot) {
    devicesim::Behaviour behaviour;
    behaviour.resetSeconds = 1;
    RunningInstallation installation(behaviour);
    const uint16_t rx = installation.port("rx");
    const std::string layout = "DISPLAY=[3:0,0,100,100]\r\nRESOLUTION=1080P60\r\nAUDIO=3\r\n";
    ASSERT_EQ(ask(rx, request("SET_DISPLAY", 0, layout)), okAnswer());

    EXPECT_EQ(ask(rx, request("SYSTEM_RESET", 0)), okAnswer());
    const auto resetAt = std::chrono::steady_clock::now();
    EXPECT_LT(connectLoopback(rx, 500), 0);
    EXPECT_EQ(ask(installation.port("tx1"), request("GET_SYSINFO", 0)).substr(0, 15),
              "HDMI/1.0 200 OK");

    std::string answer;
    EXPECT_TRUE(eventually(
        [&] {
            answer = ask(rx, request("GET_DISPLAY", 0), 500);
            return !answer.empty();
        },
        4000));
    EXPECT_GE(std::chrono::steady_clock::now() - resetAt, std::chrono::milliseconds(900));
    EXPECT_EQ(answer, okAnswer("AUDIO=3\r\nRESOLUTION=1080P60\r\nDISPLAY=[3:0,0,100,100]\r\n"));
}

TEST(Exchange, ManyClientsAtOnceAreAllAnswered) {
    RunningInstallation installation;
    const uint16_t rx = installation.port("rx");
    std::vector<std::string> answers(24);
    std::vector<std::thread> clients;
    for (size_t i = 0; i < answers.size(); ++i) {
        clients.emplace_back([&, i] { answers[i] = ask(rx, request("GET_DISPLAY", 0)); });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    for (const std::string& answer : answers) {
        EXPECT_EQ(answer, okAnswer(kDefaultDisplay));
    }
}

TEST(Exchange, AnswerFaultsForClientTests) {
    devicesim::Behaviour slow;
    slow.answerDelayMs = 300;
    {
        RunningInstallation installation(slow, {"rx"});
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(ask(installation.port("rx"), request("GET_DISPLAY", 0)),
                  okAnswer(kDefaultDisplay));
        EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    }
    devicesim::Behaviour cut;
    cut.closeMidAnswer = true;
    {
        RunningInstallation installation(cut, {"rx"});
        const std::string full = okAnswer(kDefaultDisplay);
        EXPECT_EQ(ask(installation.port("rx"), request("GET_DISPLAY", 0)),
                  full.substr(0, full.size() / 2));
    }
    devicesim::Behaviour huge;
    huge.hugeContentLength = true;
    {
        RunningInstallation installation(huge, {"rx"});
        EXPECT_EQ(
            ask(installation.port("rx"), request("GET_DISPLAY", 0)),
            std::string("HDMI/1.0 200 OK\r\nCONTENT-LENGTH:1000000000\r\n\r\n") + kDefaultDisplay);
    }
}

// A device that hangs after a while: it still takes connections and requests, but answers and
// does nothing, and holds each connection until the client gives up.
TEST(Exchange, MutedDeviceTakesRequestsAndNeverAnswers) {
    devicesim::Behaviour hanging;
    hanging.muteAfterSeconds = 1;
    RunningInstallation installation(hanging, {"rx"});
    const uint16_t rx = installation.port("rx");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ask(rx, request("GET_DISPLAY", 0)), okAnswer(kDefaultDisplay));
    std::this_thread::sleep_until(started + std::chrono::milliseconds(1100));

    LogCapture log;
    const int fd = connectLoopback(rx, 1000);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendText(
        fd,
        request("SET_DISPLAY", 0, "DISPLAY=[2:0,0,100,100]\r\nRESOLUTION=1080P60\r\nAUDIO=2\r\n")));
    bool closed = true;
    EXPECT_EQ(readUntilClosed(fd, 1200, &closed), "");
    EXPECT_FALSE(closed);
    ::close(fd);
    EXPECT_TRUE(eventually(
        [&] { return log.contains("SET_DISPLAY HDMI/1.0 -> no answer (muted after 1 s"); }, 2000));
    devicesim::DeviceState& state = installation.device("rx").state();
    std::lock_guard<std::mutex> lock(state.mutex);
    EXPECT_EQ(state.settings.display.audio, 1);
    EXPECT_EQ(state.settings.display.windows[0].id, 1);
}

}  // namespace
}  // namespace devicesim_test
