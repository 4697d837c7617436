#pragma once

#include <filesystem>
#include <string>

namespace quelsor {

// File names travel through the program as UTF-8 text; these convert them to and from the
// library's path type without going through the system's narrow code page (which is not UTF-8
// on Windows).
std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);

} // namespace quelsor
