#pragma once

#include <string>

namespace quelsor {

// The modal message box of the window: failures of resources and start-up (sound, files,
// configuration, parser stack). The window shows them in a box; tests and the command line
// collect or print them. Texts are UTF-8.
class IOperatorMessages {
public:
    virtual ~IOperatorMessages() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};

} // namespace quelsor
