#pragma once

#include <string>
#include <vector>

namespace quelsor::cli {

// The commands on the sound devices (devices, simulate, request, poll) live in a program of their
// own, quelsor-cli-sound, so that the other commands start without loading the sound server's
// and Qt's libraries: 31 shared libraries fewer, whose loading took 14 ms of every start (a
// twentieth of detect's time on a 10-minute recording). quelsor-cli hands such a command over
// by replacing itself with the helper, which keeps the process, its standard streams, its
// signals and its exit code.

// The helper's path: beside the running program (the build tree), else in the folder the
// install puts it in, relative to the program's (QUELSOR_SOUND_HELPER_FROM_BIN, e.g.
// "../libexec/quelsor"). Empty when neither holds an executable file.
std::string SoundHelperPath();

// Runs `quelsor-cli-sound command args...` in place of this process. Returns only when that
// cannot be done, with the message printed and exit code 2.
int RunInSoundHelper(const char* command, const std::vector<std::string>& args);

} // namespace quelsor::cli
