#include "ConfigLocation.h"

#include "Configuration.h"
#include "Utf8Path.h"

#include <filesystem>
#include <system_error>

namespace quelsor {

namespace fs = std::filesystem;

ConfigurationChoice ChooseConfigurationFile(
    const std::string& executablePath, const std::string& userFolder, const std::string& sampleFile)
{
    ConfigurationChoice choice;
    std::error_code error;
    const std::string beside = IniPathForExecutable(executablePath);
    if (fs::exists(PathFromUtf8(beside), error)) {
        choice.iniPath = beside;
        choice.besideExecutable = true;
        return choice;
    }

    const fs::path folder = PathFromUtf8(userFolder);
    const fs::path user = folder / kUserIniName;
    choice.iniPath = Utf8FromPath(user);
    if (fs::exists(user, error))
        return choice;
    fs::create_directories(folder, error);
    if (error) {
        choice.problem = "cannot create " + userFolder + ": " + error.message();
        return choice;
    }
    const fs::path sample = PathFromUtf8(sampleFile);
    if (sampleFile.empty() || !fs::is_regular_file(sample, error))
        return choice;
    // skip_existing: a file another instance made in the meantime is kept.
    choice.copiedFromSample = fs::copy_file(sample, user, fs::copy_options::skip_existing, error);
    if (error) {
        choice.problem
            = "cannot copy " + sampleFile + " to " + choice.iniPath + ": " + error.message();
        choice.copiedFromSample = false;
        return choice;
    }
    // The copy takes the sample's mode: a read-only sample would give a file the threshold
    // could never be saved to.
    fs::permissions(
        user, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, error);
    return choice;
}

} // namespace quelsor
