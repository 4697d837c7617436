#pragma once

#include <string>

namespace quelsor {

// The name of the configuration file in the user's configuration folder.
inline constexpr const char* kUserIniName = "quelsor.ini";

// Where the window keeps its configuration.
struct ConfigurationChoice {
    std::string iniPath; // UTF-8: the file to load at start and to write the threshold to
    bool besideExecutable = false; // iniPath is IniPathForExecutable(executablePath)
    bool copiedFromSample = false; // the user's file was created from the sample just now
    std::string problem; // why the user's file could not be prepared (empty when it could)
};

// Chooses the configuration file of the program at executablePath (all paths UTF-8):
// - the file beside the executable (IniPathForExecutable) when it exists: a portable copy or a
//   build tree keeps its own file, whatever the folder's rights;
// - otherwise kUserIniName in userFolder, which is created when missing. A missing user file
//   is created as a copy of sampleFile (the sample configuration installed with the program)
//   when that exists; without a sample the file is left to the first save, which creates it
//   with the threshold alone. A file already there is never replaced.
// When the folder or the copy cannot be made, problem says so and iniPath is still the user's
// file: the window then starts without requests and reports the failed save at close, as for
// any file it cannot write.
ConfigurationChoice ChooseConfigurationFile(const std::string& executablePath,
    const std::string& userFolder, const std::string& sampleFile);

} // namespace quelsor
