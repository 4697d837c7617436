// The sound commands as quelsor-cli sees them when they are built into quelsor-cli-sound: each
// one hands its arguments over to the helper.

#include "SoundHelper.h"

#include "Commands.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace quelsor::cli {

namespace {

    constexpr const char* kHelperName = "quelsor-cli-sound";

    // The folder of the running program's file, links resolved; empty when unknown.
    std::string ProgramFolder()
    {
        std::string path;
#if defined(__APPLE__)
        std::uint32_t size = 0;
        _NSGetExecutablePath(nullptr, &size);
        std::string given(size, '\0');
        if (_NSGetExecutablePath(given.data(), &size) != 0)
            return {};
        char resolved[PATH_MAX];
        if (realpath(given.c_str(), resolved) == nullptr)
            return {};
        path = resolved;
#else
        char resolved[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
        if (length <= 0)
            return {};
        path.assign(resolved, static_cast<std::size_t>(length));
#endif
        const std::size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string {} : path.substr(0, slash);
    }

} // namespace

std::string SoundHelperPath()
{
    const std::string folder = ProgramFolder();
    if (folder.empty())
        return {};
    for (const std::string& candidate : { folder + "/" + kHelperName,
             folder + "/" QUELSOR_SOUND_HELPER_FROM_BIN "/" + kHelperName }) {
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

int RunInSoundHelper(const char* command, const std::vector<std::string>& args)
{
    const std::string helper = SoundHelperPath();
    if (helper.empty()) {
        std::fprintf(stderr,
            "quelsor-cli %s: the sound commands are not installed (%s is neither beside "
            "quelsor-cli nor in %s from it)\n",
            command, kHelperName, QUELSOR_SOUND_HELPER_FROM_BIN);
        return 2;
    }
    std::vector<std::string> strings { helper, command };
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : strings)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);
    execv(helper.c_str(), argv.data());
    std::fprintf(stderr, "quelsor-cli %s: cannot run %s: %s\n", command, helper.c_str(),
        std::strerror(errno));
    return 2;
}

int RunDevices(const std::vector<std::string>& args) { return RunInSoundHelper("devices", args); }
int RunSimulate(const std::vector<std::string>& args) { return RunInSoundHelper("simulate", args); }
int RunRequest(const std::vector<std::string>& args) { return RunInSoundHelper("request", args); }
int RunPoll(const std::vector<std::string>& args) { return RunInSoundHelper("poll", args); }

} // namespace quelsor::cli
