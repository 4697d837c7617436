#pragma once

#include "common/OperatorMessages.h"

#include <cstdio>
#include <string>

namespace quelsor::cli {

// The operator's messages of a command: one line each on stderr, written at once.
class StderrMessages : public IOperatorMessages {
public:
    void ShowMessage(const std::string& text) override
    {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
};

} // namespace quelsor::cli
