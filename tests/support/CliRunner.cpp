#include "tests/support/CliRunner.h"

#include "tests/support/ConsoleText.h"
#include "tests/support/ScratchFolder.h"

#include <cstdlib>
#include <sstream>

#ifdef _WIN32
#include "common/WideText.h"

#include <cstdio>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quelsor::testing {

CliRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
    const std::string& workingDirectory)
{
    // The outputs go through files of a scratch folder: no pipe can fill up while we wait.
    const ScratchFolder folder;
    const std::string outName = folder.File("stdout.txt");
    const std::string errName = folder.File("stderr.txt");
    CliRun run;
#ifdef _WIN32
    // cmd.exe: every argument in double quotes, and the whole line once more, since it drops
    // the first and the last quote of a line that starts with one.
    std::string command = "\"" + program + "\"";
    for (const std::string& argument : arguments)
        command += " \"" + argument + "\"";
    command += " <NUL >\"" + outName + "\" 2>\"" + errName + "\"";
    if (!workingDirectory.empty())
        command = "cd /d \"" + workingDirectory + "\" && " + command;
    // The wide call, so that UTF-8 arguments reach the program whole (std::system takes the
    // ANSI code page).
    std::wstring wide;
    if (WideFromUtf8("\"" + command + "\"", wide))
        run.exitCode = _wsystem(wide.c_str());
#else
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0
            || ::dup2(err, 2) < 0
            || (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0))
            ::_exit(127);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
#endif
    // Console text with "\n" line ends on every platform.
    run.out = ConsoleText(ReadBytes(outName));
    run.err = ConsoleText(ReadBytes(errName));
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace quelsor::testing
