#pragma once

#include <string>
#include <vector>

namespace quelsor::testing {

// What a program run printed and how it ended.
struct CliRun {
    int exitCode = -1; // -1 when it did not exit normally (killed by a signal, not started)
    std::string out;
    std::string err;
};

// Runs program with each argument passed as it is (no shell in between), its standard input
// empty, and collects its exit status, standard output and standard error. The working
// directory is the test's own unless workingDirectory is given.
CliRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
    const std::string& workingDirectory = {});

#ifdef QUELSOR_CLI
// quelsor-cli of this build (the suite defines QUELSOR_CLI as its path).
inline CliRun RunCli(
    const std::vector<std::string>& arguments, const std::string& workingDirectory = {})
{
    return RunProgram(QUELSOR_CLI, arguments, workingDirectory);
}
#endif

// The lines of a program's output, without their line ends.
std::vector<std::string> Lines(const std::string& text);

} // namespace quelsor::testing
