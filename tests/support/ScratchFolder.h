#pragma once

#include <filesystem>
#include <string>

namespace quelsor::testing {

// The folder the tests' scratch files go below: the suite's own folder of the build when ctest
// runs it (TEST_TMPDIR), otherwise tests/scratch of the build. Never the shared /tmp, so two
// builds or two developers testing at once never meet.
std::filesystem::path ScratchRoot();

// How a scratch folder is named: after the running test and the label, or after the label alone
// for a path that must stay short (a Unix socket's path holds at most 107 bytes).
enum class ScratchName { AfterTest, LabelOnly };

// A fresh, empty folder below ScratchRoot(), named after the running test (ctest runs the tests
// of one program side by side) and the label, and unique within the process; removed with
// everything in it when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(
        const std::string& label = {}, ScratchName naming = ScratchName::AfterTest);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The UTF-8 name of an entry of the folder (name may hold '/' for a subfolder).
    std::string File(const std::string& name) const;

private:
    std::filesystem::path path_;
};

// Makes a ScratchFolder the current directory for the object's life (for code that writes
// its files in the current directory).
class InScratchFolder {
public:
    explicit InScratchFolder(const std::string& label = {});
    ~InScratchFolder();
    InScratchFolder(const InScratchFolder&) = delete;
    InScratchFolder& operator=(const InScratchFolder&) = delete;

    const ScratchFolder& Folder() const { return folder_; }

private:
    std::filesystem::path previous_;
    ScratchFolder folder_;
};

// Whole-file helpers for UTF-8 file names; ReadBytes gives "" for a file that cannot be read.
void WriteBytes(const std::string& fileName, const std::string& bytes);
std::string ReadBytes(const std::string& fileName);

} // namespace quelsor::testing
