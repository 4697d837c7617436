#pragma once

#include <string>
#include <vector>

namespace quelsor::cli {

// The commands on the sound devices (devices, simulate, request, poll) live in a program of their
// own, quelsor-cli-sound, so that the other commands start without loading the sound server's
// and Qt's libraries: about 30 shared libraries whose loading costs 15 to 20 ms, a tenth of a
// 10-minute recording's decoding. quelsor-cli hands such a command over by replacing itself
// with the helper, so the helper keeps the process, its standard streams, its signals and its
// exit code.

// The helper's path: beside the running program (the build tree), else in the folder the
// install puts it in, relative to the program's (QUELSOR_SOUND_HELPER_FROM_BIN, e.g.
// "../libexec/quelsor"). Empty when neither holds an executable file.
std::string SoundHelperPath();

// Runs `quelsor-cli-sound command args...` in place of this process. Returns only when that
// cannot be done, with the message printed and exit code 2.
int RunInSoundHelper(const char* command, const std::vector<std::string>& args);

} // namespace quelsor::cli
