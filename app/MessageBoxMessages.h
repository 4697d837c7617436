#pragma once

#include "common/OperatorMessages.h"

class QWidget;

namespace quelsor {

// The operator's messages as modal message boxes titled "Quelsor", over parent (may be null).
class MessageBoxMessages : public IOperatorMessages {
public:
    explicit MessageBoxMessages(QWidget* parent = nullptr)
        : parent_(parent)
    {
    }
    void ShowMessage(const std::string& text) override;

private:
    QWidget* parent_;
};

} // namespace quelsor
