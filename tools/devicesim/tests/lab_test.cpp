// scripts/lab: five answering devices inside the namespace, a stream that decodes there, and
// nothing left behind by "down". Connections to the lab's addresses are made only from a thread
// that has entered the namespace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "stream_capture.h"
#include "stream_decode.h"
#include "wire_client.h"

namespace devicesim_test {
namespace {

// Its own namespace name, so that the test never touches a lab someone is using.
const std::string kNetns = "telvane-lab-test";

struct CommandResult {
    int status = -1;
    std::string output;
};

CommandResult run(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, count);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string lab(const std::string& arguments, const std::string& devicesim = DEVICESIM_PATH) {
    return "LAB_NETNS=" + kNetns + " DEVICESIM=" + devicesim + " " + LAB_SCRIPT + " " + arguments;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Runs `work` on a thread that has entered the lab's network namespace, after making sure that
// it really is inside; false when it could not get in.
template <typename Work>
bool insideLab(Work work) {
    bool entered = false;
    std::thread thread([&] {
        const std::string path = "/run/netns/" + kNetns;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        const bool joined = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        struct stat lab {};
        struct stat mine {};
        if (!joined || ::stat(path.c_str(), &lab) != 0 ||
            ::stat("/proc/thread-self/ns/net", &mine) != 0 || lab.st_ino != mine.st_ino ||
            lab.st_dev != mine.st_dev) {
            return;
        }
        entered = true;
        work();
    });
    thread.join();
    return entered;
}

class Lab : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the lab needs root (network namespaces)";
        }
        if (run("command -v ip && unshare --net true").status != 0) {
            GTEST_SKIP() << "network namespaces are not possible here";
        }
    }
    void TearDown() override {
        if (::geteuid() == 0) {
            run(lab("down"));
        }
    }
};

TEST_F(Lab, FiveDevicesAnswerStreamAndLeaveNothingBehind) {
    const CommandResult notBuilt = run(lab("up", "/nonexistent/devicesim"));
    EXPECT_NE(notBuilt.status, 0);
    EXPECT_NE(notBuilt.output.find("devicesim not found at /nonexistent/devicesim"),
              std::string::npos)
        << notBuilt.output;

    const CommandResult up = run(lab("up"));
    ASSERT_EQ(up.status, 0) << up.output;
    const CommandResult again = run(lab("up"));
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_NE(again.output.find("already up"), std::string::npos) << again.output;

    // GET_SYSINFO to each address, with bash's /dev/tcp inside the namespace.
    const std::string probe = "/tmp/" + kNetns + "-probe.sh";
    std::ofstream(probe) << "for a in 192.168.2.88 192.168.2.220 192.168.2.221 192.168.2.222 "
                            "192.168.2.223; do\n"
                            "  exec 3<>/dev/tcp/$a/15380 || continue\n"
                            "  printf 'GET_SYSINFO HDMI/1.0\\r\\nAUTHORIZATION: BASIC \\r\\n"
                            "CHN:0\\r\\nCONTENT-LENGTH:0\\r\\n\\r\\n' >&3\n"
                            "  echo \"$a $(timeout 3 cat <&3 | tr -d '\\r' | tr '\\n' ' ')\"\n"
                            "  exec 3<&-\n"
                            "done\n";
    const CommandResult answers = run(lab("exec bash " + probe));
    std::remove(probe.c_str());
    EXPECT_EQ(answers.status, 0);
    EXPECT_NE(answers.output.find("192.168.2.88 HDMI/1.0 200 OK CONTENT-LENGTH:"),
              std::string::npos)
        << answers.output;
    EXPECT_NE(answers.output.find("SERIAL=DSIM-RX-88 MODEL=HDMI-IP-RX"), std::string::npos);
    for (int channel = 1; channel <= 4; ++channel) {
        const std::string address = "192.168.2.22" + std::to_string(channel - 1);
        EXPECT_NE(answers.output.find(address + " HDMI/1.0 200 OK"), std::string::npos)
            << answers.output;
        EXPECT_NE(answers.output.find("SERIAL=DSIM-TX" + std::to_string(channel) + "-22" +
                                      std::to_string(channel - 1) + " MODEL=HDMI-IP-TX"),
                  std::string::npos);
    }

    StreamCapture capture;
    EXPECT_TRUE(insideLab([&] {
        capture = captureStreamFrom("192.168.2.221", 15380, false, 3500);
    })) << "could not enter the lab's namespace";
    EXPECT_EQ(statusLine(capture.answer), "HDMI/1.0 200 OK");
    const VideoDecode video = decodeVideo(capture.frames, 0);
    EXPECT_GT(video.pictures, 20);
    EXPECT_EQ(video.errors, 0);
    EXPECT_EQ(video.width, 1920);
    EXPECT_EQ(video.height, 1080);
    EXPECT_GT(decodeAudio(capture.frames).frames, 20);

    std::ifstream pidFile("/run/" + kNetns + "/devicesim.pid");
    pid_t pid = 0;
    ASSERT_TRUE(pidFile >> pid);

    const CommandResult down = run(lab("down"));
    EXPECT_EQ(down.status, 0) << down.output;
    EXPECT_FALSE(exists("/run/netns/" + kNetns));
    EXPECT_FALSE(exists("/run/" + kNetns + "/devicesim.pid"));
    EXPECT_TRUE(::kill(pid, 0) != 0 && errno == ESRCH) << "devicesim " << pid << " still runs";
    EXPECT_EQ(run(lab("down")).status, 0);

    const CommandResult execWhenDown = run(lab("exec true"));
    EXPECT_NE(execWhenDown.status, 0);
    EXPECT_NE(execWhenDown.output.find("not up"), std::string::npos) << execWhenDown.output;
}

}  // namespace
}  // namespace devicesim_test
