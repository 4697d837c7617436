#include "Commands.h"

#include <cstdio>

namespace quelsor::cli {

int RunFilters(const std::vector<std::string>& args)
{
    (void)args;
    std::fprintf(stderr, "quelsor-cli filters: not available yet\n");
    return 2;
}

} // namespace quelsor::cli
