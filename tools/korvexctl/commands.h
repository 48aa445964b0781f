// The commands of korvexctl: each parses its own words after the command name, talks to the
// device of the global options, prints its results and returns the exit status. Usage mistakes
// are thrown as UsageError (status 2), device failures as DeviceFailure (status 1).
#pragma once

#include <string>
#include <vector>

#include "command_line.h"

namespace korvexctl {

using Arguments = std::vector<std::string>;

struct Command {
    const char* name;
    const char* synopsis;  // for the program's help: "get RECORD [...]"
    const char* summary;
    std::string (*help)();
    int (*run)(const GlobalOptions& options, const Arguments& arguments);
};

const std::vector<Command>& commands();
const Command* findCommand(const std::string& name);

// The program's help text.
std::string programHelp();

// Each command's help text and body (cmd_*.cpp).
std::string infoHelp();
int runInfo(const GlobalOptions& options, const Arguments& arguments);
std::string getHelp();
int runGet(const GlobalOptions& options, const Arguments& arguments);
std::string setHelp();
int runSet(const GlobalOptions& options, const Arguments& arguments);
std::string resetHelp();
int runReset(const GlobalOptions& options, const Arguments& arguments);
std::string keyHelp();
int runKey(const GlobalOptions& options, const Arguments& arguments);
std::string actuatorHelp();
int runActuator(const GlobalOptions& options, const Arguments& arguments);
std::string upgradeHelp();
int runUpgrade(const GlobalOptions& options, const Arguments& arguments);
std::string playHelp();
int runPlay(const GlobalOptions& options, const Arguments& arguments);
std::string watchHelp();
int runWatch(const GlobalOptions& options, const Arguments& arguments);
std::string backupHelp();
int runBackup(const GlobalOptions& options, const Arguments& arguments);
std::string restoreHelp();
int runRestore(const GlobalOptions& options, const Arguments& arguments);

// Prints a command's help on stdout and returns kExitOk (for "COMMAND --help").
int printHelp(const std::string& text);

}  // namespace korvexctl
