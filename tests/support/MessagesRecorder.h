#pragma once

#include "common/OperatorMessages.h"

#include <string>
#include <vector>

namespace quelsor::testing {

// The operator's message box for tests: every message, in order.
class MessagesRecorder : public IOperatorMessages {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

} // namespace quelsor::testing
