#include "tests/support/ScratchFolder.h"

#include "config/Utf8Path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace quelsor::testing {

namespace {

    // The running test's full name and the label, with every character outside [A-Za-z0-9_.-]
    // replaced (the names of parameterised tests hold '/').
    std::string FolderName(const std::string& label)
    {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = test != nullptr
            ? std::string(test->test_suite_name()) + "." + test->name()
            : std::string("no-test");
        if (!label.empty())
            name += "-" + label;
        name.resize(std::min<std::size_t>(name.size(), 160)); // a file name holds 255 bytes
        for (char& c : name) {
            const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
                || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-';
            if (!plain)
                c = '_';
        }
        return name;
    }

} // namespace

std::filesystem::path ScratchRoot()
{
    const char* suite = std::getenv("TEST_TMPDIR");
    if (suite != nullptr && *suite != '\0')
        return PathFromUtf8(suite);
    return PathFromUtf8(QUELSOR_TEST_SCRATCH);
}

ScratchFolder::ScratchFolder(const std::string& label, ScratchName naming)
{
    static std::atomic<int> counter { 0 };
    const std::string name = naming == ScratchName::AfterTest ? FolderName(label) : label;
    path_
        = ScratchRoot() / (name + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored); // left by a crashed run with the same pid
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::File(const std::string& name) const
{
    return Utf8FromPath(path_ / PathFromUtf8(name));
}

InScratchFolder::InScratchFolder(const std::string& label)
    : previous_(std::filesystem::current_path())
    , folder_(label)
{
    std::filesystem::current_path(folder_.Path());
}

InScratchFolder::~InScratchFolder()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

void WriteBytes(const std::string& fileName, const std::string& bytes)
{
    std::ofstream out(PathFromUtf8(fileName), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadBytes(const std::string& fileName)
{
    std::ifstream in(PathFromUtf8(fileName), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace quelsor::testing
