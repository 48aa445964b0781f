// backup and restore against the emulated devices: the round trip, what a dry run lists, a record
// the device refuses, a device of another model, and documents that are not backups.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "support.h"

namespace korvexctl_test {
namespace {

// A file in the test's scratch folder, removed with the object.
class ScratchFile {
  public:
    explicit ScratchFile(const std::string& text) {
        char name[] = "/tmp/korvexctl-backup-test.XXXXXX";
        const int fd = ::mkstemp(name);
        ::close(fd);
        path_ = name;
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~ScratchFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

std::string device(uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

Result backupOf(std::initializer_list<uint16_t> ports) {
    std::vector<std::string> arguments = {"backup"};
    for (uint16_t port : ports) {
        arguments.push_back(device(port));
    }
    return runKorvexctl(arguments);
}

// "device record[ selector]" of each line of restore --json.
std::set<std::string> recordsOf(const Result& restore, const std::string& result) {
    std::vector<Json> lines;
    std::string error;
    EXPECT_TRUE(parseJsonLines(restore.out, lines, error)) << error << "\n" << restore.out;
    std::set<std::string> records;
    for (const Json& line : lines) {
        EXPECT_EQ(line["result"].text, result) << restore.out;
        std::string name = line["device"].text + " " + line["record"].text;
        for (const char* selector : {"channel", "index"}) {
            if (line.has(selector)) {
                name += " " + std::to_string(line[selector].integer());
            }
        }
        records.insert(name);
    }
    return records;
}

// The document's text with the first `from` after `after` replaced by `to`; the line it is on.
int replaceOnce(std::string& text, const std::string& after, const std::string& from,
                const std::string& to) {
    const size_t at = text.find(from, text.find(after));
    EXPECT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    return 1 +
           static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

TEST(Backup, RoundTripThroughChangesAndADryRun) {
    RunningInstallation installation;
    auto& rx = installation.device("rx");
    const uint16_t rxPort = installation.port("rx");
    const uint16_t tx1Port = installation.port("tx1");
    const uint16_t tx2Port = installation.port("tx2");
    const Result first = backupOf({rxPort, tx1Port, tx2Port});
    ASSERT_EQ(first.status, 0) << first.err;
    const Json document = jsonOf(first);
    EXPECT_EQ(document["format"].text, "korvex-backup");
    EXPECT_EQ(document["version"].integer(), 1);
    EXPECT_EQ(document["created"].text.size(), 20u) << document["created"].text;
    ASSERT_EQ(document["devices"].items.size(), 3u);
    EXPECT_EQ(document["devices"][0]["role"].text, "receiver");
    EXPECT_EQ(document["devices"][0]["sysinfo"]["model"].text, "HDMI-IP-RX");
    EXPECT_EQ(document["devices"][0]["records"].items.size(), 13u);
    EXPECT_EQ(document["devices"][2]["role"].text, "transmitter");
    EXPECT_EQ(document["devices"][2]["port"].integer(), tx2Port);
    EXPECT_EQ(document["devices"][2]["records"].items.size(), 9u);
    EXPECT_NE(first.err.find(device(tx2Port) + " HDMI-IP-TX"), std::string::npos) << first.err;

    // Changes behind the backup's back: the receiver's output, a TTL port and a receive channel,
    // CH2's encoder (seen through the receiver and on tx2) and tx2's audio encoder.
    {
        std::lock_guard<std::mutex> lock(rx.state().mutex);
        DisplayConfig& display = rx.state().settings.display;
        display.count = 2;
        display.windows[0] = DisplayWindow{3, 0, 0, 50, 100};
        display.windows[1] = DisplayWindow{4, 50, 0, 50, 100};
        display.audio = -1;
        rx.state().settings.ttl[1].baudrate = 9600;
        rx.state().settings.receive[3].rport = 5004;
    }
    VideoEncodeConfig channel2 = installation.simulator().installation().videoEncoder(2);
    channel2.frameRate = 60;
    channel2.keyGop = 120;
    installation.simulator().installation().setVideoEncoder(2, channel2);
    {
        auto& tx2 = installation.device("tx2");
        std::lock_guard<std::mutex> lock(tx2.state().mutex);
        tx2.state().settings.audioEncoder.bitrate = 128;
    }
    const ScratchFile file(first.out);

    const Result dryRun = runKorvexctl({"--json", "restore", file.path(), "--dry-run"});
    EXPECT_EQ(dryRun.status, 0) << dryRun.err;
    const std::set<std::string> changed = {
        device(rxPort) + " display",     device(rxPort) + " videoenc 2",
        device(rxPort) + " ttl 2",       device(rxPort) + " recv 3",
        device(tx2Port) + " videoenc 0", device(tx2Port) + " audioenc"};
    EXPECT_EQ(recordsOf(dryRun, "dry run"), changed);
    EXPECT_NE(dryRun.out.find("{\"field\":\"baudrate\",\"now\":9600,\"backup\":115200}"),
              std::string::npos)
        << dryRun.out;
    EXPECT_EQ(settingsOf(rx, [](auto& s) { return s.display.count; }), 2) << "a dry run writes";

    const Result text = runKorvexctl({"restore", file.path(), "--dry-run"});
    EXPECT_NE(text.out.find("  display: windows ch34 -> ch1\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  ttl --index 2: baudrate 9600 -> 115200\n"), std::string::npos);
    EXPECT_NE(text.out.find("dry run: 6 of 31 records differ; nothing was written"),
              std::string::npos)
        << text.out;

    // Through the receiver CH2's encoder is restored first, so tx2 then holds the backup's.
    const Result restore = runKorvexctl({"--json", "restore", file.path()});
    EXPECT_EQ(restore.status, 0) << restore.err;
    std::set<std::string> restored = changed;
    restored.erase(device(tx2Port) + " videoenc 0");
    EXPECT_EQ(recordsOf(restore, "restored"), restored);

    const Result second = backupOf({rxPort, tx1Port, tx2Port});
    ASSERT_EQ(second.status, 0) << second.err;
    auto withoutTime = [](std::string text) {
        const size_t at = text.find("\"created\"");
        return text.erase(at, text.find('\n', at) - at);
    };
    EXPECT_EQ(withoutTime(second.out), withoutTime(first.out));
}

TEST(Restore, ARefusedRecordIsNamedAndTheOthersAreStillWritten) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx"});
    auto& rx = installation.device("rx");
    const Result backup = backupOf({installation.port("rx")});
    ASSERT_EQ(backup.status, 0) << backup.err;
    std::string text = backup.out;
    // devicesim refuses a baud rate that is no serial rate; the document itself is fine.
    replaceOnce(text, "\"ttl\"", "\"baudrate\": 115200", "\"baudrate\": 12345");
    const ScratchFile file(text);
    {
        std::lock_guard<std::mutex> lock(rx.state().mutex);
        rx.state().settings.display.audio = 2;
        rx.state().settings.ttl[1].baudrate = 9600;
    }
    const Result restore = runKorvexctl({"restore", file.path()});
    EXPECT_EQ(restore.status, 1);
    EXPECT_NE(restore.out.find("  ttl --index 1: failed: " + device(installation.port("rx")) +
                               " answered GET_TTL but did not accept SET_TTL"),
              std::string::npos)
        << restore.out;
    EXPECT_NE(restore.out.find("  display: restored"), std::string::npos) << restore.out;
    EXPECT_NE(restore.out.find("  ttl --index 2: restored"), std::string::npos) << restore.out;
    EXPECT_NE(restore.err.find("1 of 13 records failed"), std::string::npos) << restore.err;
    EXPECT_EQ(settingsOf(rx, [](auto& s) { return s.display.audio; }), 1);
    EXPECT_EQ(settingsOf(rx, [](auto& s) { return s.ttl[1].baudrate; }), 115200);
    EXPECT_EQ(settingsOf(rx, [](auto& s) { return s.ttl[0].baudrate; }), 115200);
}

TEST(Restore, AnotherModelAsksForForceAndASilentDeviceFails) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx", "tx1"});
    const uint16_t rxPort = installation.port("rx");
    const uint16_t txPort = installation.port("tx1");
    const Result backup = backupOf({rxPort});
    ASSERT_EQ(backup.status, 0) << backup.err;
    std::string text = backup.out;
    replaceOnce(text, "\"host\"", "\"port\": " + std::to_string(rxPort),
                "\"port\": " + std::to_string(txPort));
    const ScratchFile file(text);
    LogCapture log;
    const Result refused = runKorvexctl({"restore", file.path()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(device(txPort) + " is a HDMI-IP-TX, the backup is of a HDMI-IP-RX"),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("nothing written"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_TRUE(refused.out.empty()) << refused.out;
    EXPECT_TRUE(logged(log, "GET_SYSINFO"));
    EXPECT_FALSE(log.contains("GET_TTL")) << "nothing but the model is read";

    // Forced, the transmitter is asked for what a receiver holds, and has no display.
    const Result forced = runKorvexctl({"restore", file.path(), "--force"});
    EXPECT_EQ(forced.status, 1);
    EXPECT_NE(
        forced.out.find("  display: failed: " + device(txPort) + " did not accept GET_DISPLAY"),
        std::string::npos)
        << forced.out;

    // A device that is gone: its records fail, status 1.
    replaceOnce(text, "\"host\"", "\"port\": " + std::to_string(txPort), "\"port\": 1");
    const ScratchFile gone(text);
    const Result silent = runKorvexctl({"restore", gone.path()});
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.out.find("127.0.0.1:1: not restored: 127.0.0.1:1 did not accept GET_SYSINFO"),
              std::string::npos)
        << silent.out;
    EXPECT_NE(silent.err.find("13 of 13 records failed"), std::string::npos) << silent.err;
}

TEST(Restore, ADocumentThatIsNoBackupSaysWhereAndSendsNothing) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx"});
    const Result backup = backupOf({installation.port("rx")});
    ASSERT_EQ(backup.status, 0) << backup.err;
    struct Case {
        std::string after;
        std::string from;
        std::string to;
        std::string says;  // after "line N: "
    };
    const std::vector<Case> cases = {
        {"", "\"version\": 1", "\"version\": 2",
         "version: 2 is a version this korvexctl does not know"},
        {"", "\"port\": " + std::to_string(installation.port("rx")), "\"port\": 70000",
         "devices[0].port: 70000 is not a whole number in 1..65535"},
        {"\"role\"", "\"receiver\"", "\"mixer\"",
         "devices[0].role: \"mixer\" is neither receiver nor transmitter"},
        {"\"ttl\"", "\"baudrate\": 115200", "\"speed\": 115200",
         "devices[0].records[6].fields.speed: is no field of ttl"},
        {"\"videoenc\"", "\"frameRate\": 30", "\"frameRate\": \"sixty\"",
         "devices[0].records[1].fields.frameRate: is not a whole number of 32 bits: \"sixty\""},
        {"\"windows\"", "\"x\": 0", "\"x\": -1",
         "devices[0].records[0].fields.windows[0].x: is not a whole number from 0"},
        {"\"recv\"", "\"index\": 0", "\"index\": 7",
         "devices[0].records[8].index: 7 is not a whole number in 0..4"},
        {"", "\"record\": \"audioenc\"", "\"record\": \"sysinfo\"",
         "devices[0].records[5].record: \"sysinfo\" is not a record a backup holds"},
    };
    LogCapture log;
    for (const Case& c : cases) {
        std::string text = backup.out;
        const int line = replaceOnce(text, c.after, c.from, c.to);
        const ScratchFile file(text);
        const Result restore = runKorvexctl({"restore", file.path()});
        EXPECT_EQ(restore.status, 2) << c.says << "\n" << restore.err;
        const std::string expected =
            "korvexctl: restore: " + file.path() + " line " + std::to_string(line) + ": " + c.says;
        EXPECT_NE(restore.err.find(expected), std::string::npos) << "expected: " << expected << "\n"
                                                                 << restore.err;
        EXPECT_TRUE(restore.out.empty()) << restore.out;
    }
    // A missing field is told at the record that lacks it.
    std::string text = backup.out;
    const int fieldsLine = replaceOnce(text, "\"audioenc\"", "\"fields\": {", "\"fields\": {");
    replaceOnce(text, "\"audioenc\"", "\"enable\": 1,", "");
    const ScratchFile missing(text);
    const Result lacking = runKorvexctl({"restore", missing.path()});
    EXPECT_EQ(lacking.status, 2);
    EXPECT_NE(lacking.err.find("line " + std::to_string(fieldsLine) +
                               ": devices[0].records[5].fields: lacks the field enable"),
              std::string::npos)
        << lacking.err;

    const ScratchFile broken("{\n  \"format\": \"korvex-backup\",\n  \"version\": 1,,\n}\n");
    const Result notJson = runKorvexctl({"restore", broken.path()});
    EXPECT_EQ(notJson.status, 2);
    EXPECT_NE(notJson.err.find(broken.path() + ": not JSON: parse error at line 3, column 16"),
              std::string::npos)
        << notJson.err;
    const ScratchFile other("{\"format\": \"playlist\"}");
    EXPECT_NE(runKorvexctl({"restore", other.path()})
                  .err.find("line 1: format: is not \"korvex-backup\": not a korvexctl backup"),
              std::string::npos);
    EXPECT_EQ(runKorvexctl({"restore", "/nonexistent/site.json"}).status, 2);
    EXPECT_EQ(runKorvexctl({"--host", "rx", "restore", broken.path()}).status, 2);
    EXPECT_FALSE(log.contains("GET_")) << "a device was asked";
}

TEST(Backup, WritesNothingUnlessEveryDeviceWasRead) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx"});
    const Result result = backupOf({installation.port("rx"), 1});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_NE(result.err.find("127.0.0.1:1 did not accept GET_SYSINFO"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("nothing written: 1 of 2 devices could not be read whole"),
              std::string::npos)
        << result.err;

    const Result twice = backupOf({installation.port("rx"), installation.port("rx")});
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("is named twice"), std::string::npos) << twice.err;
    const Result both = runKorvexctl({"--host", "rx", "backup", "tx1"});
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("--host and DEVICE both name devices"), std::string::npos);
    for (const char* command : {"backup", "restore"}) {
        const Result help = runKorvexctl({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.out.find(std::string(command) + " "), std::string::npos);
    }
}

}  // namespace
}  // namespace korvexctl_test
