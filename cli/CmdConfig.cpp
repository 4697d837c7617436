#include "Commands.h"

#include <cstdio>

namespace quelsor::cli {

int RunConfig(const std::vector<std::string>& args)
{
    (void)args;
    std::fprintf(stderr, "quelsor-cli config: not available yet\n");
    return 2;
}

} // namespace quelsor::cli
