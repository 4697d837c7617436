#include "Commands.h"

#include <cstdio>

namespace quelsor::cli {

int RunDetect(const std::vector<std::string>& args)
{
    (void)args;
    std::fprintf(stderr, "quelsor-cli detect: not available yet\n");
    return 2;
}

} // namespace quelsor::cli
