#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quelsor::testing {

// A path in the test's temporary folder, named after the running test as well: ctest runs the
// tests of one executable side by side, so two tests must never share a scratch name.
inline std::string ScratchPath(const std::string& name)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string owner = test != nullptr
        ? std::string(test->test_suite_name()) + "." + test->name() + "_"
        : std::string();
    return ::testing::TempDir() + "quelsor_scratch_" + owner + name;
}

// A read-write binary file in the test's temporary folder, removed when it goes out of scope
// (std::tmpfile writes to the root of the drive on Windows, which needs rights tests lack).
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name)
        : path_(ScratchPath(name))
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
