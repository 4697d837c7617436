#pragma once

#include <cstdio>
#include <string>

namespace quelsor {

// std::fopen for a UTF-8 file name. On Windows the narrow fopen takes names in the ANSI code
// page, which cannot hold every name (and mangles "é" from UTF-8), so the name goes through
// _wfopen as UTF-16 there; elsewhere this is std::fopen. A name that is not valid UTF-8 opens
// nothing on Windows (nullptr).
std::FILE* OpenFileUtf8(const std::string& fileName, const char* mode);

// fileName in folder (UTF-8): folder, the platform's separator unless folder already ends with
// one, then fileName; fileName alone when folder is empty.
std::string PathInFolder(const std::string& folder, const std::string& fileName);

// std::remove for a UTF-8 file name (_wremove on Windows). True when the file was removed.
bool RemoveFileUtf8(const std::string& fileName);

} // namespace quelsor
