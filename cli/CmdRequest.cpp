// quelsor-cli request: one status request over the default sound devices.

#include "Commands.h"

#include <cstdio>

namespace quelsor::cli {

int RunRequest(const std::vector<std::string>& args)
{
    (void)args;
    std::fprintf(stderr, "quelsor-cli request: not available yet\n");
    return 2;
}

} // namespace quelsor::cli
