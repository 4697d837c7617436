#pragma once

#include "app/MainForm.h"

#include <string>

namespace quelsor {

// The application name the user's folders are named after (~/.config/Quelsor,
// ~/.cache/Quelsor, %LOCALAPPDATA%\Quelsor).
inline constexpr const char* kApplicationName = "Quelsor";

// Fills in where the window keeps its files, for the program as installed or as a portable
// copy (the application object must exist and be named kApplicationName):
// - iniPath: quelsor.ini beside the executable when it exists; otherwise quelsor.ini in the
//   user's configuration folder, created from the installed sample configuration the first
//   time (ChooseConfigurationFile); logIniPath is set in that case;
// - scratchFolder: for the installed program (no quelsor.ini beside it), the user's cache folder
//   (the system's temporary folder when that cannot be made), never the program's folder, which
//   it may not write; a portable copy keeps the current directory.
// A folder that cannot be prepared is reported on stderr; the window still starts.
void ChooseProgramFiles(MainFormSetup& setup);

// The sample configuration installed with the program: share/quelsor/quelsor.ini under the
// installation prefix (the executable's folder's parent), else in the system's data folders.
// Empty when there is none.
std::string InstalledSampleConfiguration();

} // namespace quelsor
