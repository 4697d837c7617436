#pragma once

namespace quelsor {

// quelsor's help text, also the source of its manual page.
extern const char* const kWindowUsage;

// What quelsor does with its command line before any window exists: -h/--help prints
// kWindowUsage and --version the version, on stdout, and the program then ends (returns 0).
// Anything else is left to the toolkit (its own options, such as -platform NAME) and is
// otherwise ignored: returns -1 and the window starts.
int HandleInformationOptions(int argc, char** argv);

} // namespace quelsor
