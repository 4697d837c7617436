#pragma once

#include "config/Utf8Path.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quelsor::testing {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder()
    {
        static std::atomic<int> counter { 0 };
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path()
            / ("quelsor-config-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The UTF-8 name of a file in the folder.
    std::string File(const std::string& name) const
    {
        return Utf8FromPath(path_ / PathFromUtf8(name));
    }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& fileName, const std::string& bytes)
{
    std::ofstream out(PathFromUtf8(fileName), std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadBytes(const std::string& fileName)
{
    std::ifstream in(PathFromUtf8(fileName), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace quelsor::testing
