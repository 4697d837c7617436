#include "Commands.h"

#include <cstdio>

namespace quelsor::cli {

int RunAnswer(const std::vector<std::string>& args)
{
    (void)args;
    std::fprintf(stderr, "quelsor-cli answer: not available yet\n");
    return 2;
}

} // namespace quelsor::cli
