#include "app/MessageBoxMessages.h"

#include <QMessageBox>
#include <QString>

namespace quelsor {

void MessageBoxMessages::ShowMessage(const std::string& text)
{
    QMessageBox::information(
        parent_, QStringLiteral("Quelsor"), QString::fromStdString(text), QMessageBox::Ok);
}

} // namespace quelsor
