#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quelsor::testing {

// A read-write binary file in the test's temporary folder, removed when it goes out of scope
// (std::tmpfile writes to the root of the drive on Windows, which needs rights tests lack).
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name)
        : path_(::testing::TempDir() + "quelsor_scratch_" + name)
        , file_(std::fopen(path_.c_str(), "w+b"))
    {
    }
    ~ScratchFile()
    {
        if (file_ != nullptr)
            std::fclose(file_);
        std::remove(path_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    std::FILE* get() const { return file_; }

private:
    std::string path_;
    std::FILE* file_;
};

} // namespace quelsor::testing
