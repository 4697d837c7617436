#pragma once

#include <string>
#include <vector>

namespace quelsor::cli {

// Each command takes its arguments (after the command name), prints its results on stdout and
// its errors on stderr, and returns the process exit code. Every command answers --help
// (CommandLine).
using CommandFunction = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* summary;
    CommandFunction run;
};

int RunGenerate(const std::vector<std::string>& args);
int RunDetect(const std::vector<std::string>& args);
int RunFft(const std::vector<std::string>& args);
int RunFilters(const std::vector<std::string>& args);
int RunConfig(const std::vector<std::string>& args);
int RunFormula(const std::vector<std::string>& args);
int RunAnswer(const std::vector<std::string>& args);
int RunDecode(const std::vector<std::string>& args);
int RunDevices(const std::vector<std::string>& args);
int RunSimulate(const std::vector<std::string>& args);
int RunRequest(const std::vector<std::string>& args);
int RunPoll(const std::vector<std::string>& args);

} // namespace quelsor::cli
