#pragma once
// Every message box of the window goes through messageBox(), so that tests can answer them
// instead of a person (a modal box would block a test run).

#include <QMessageBox>
#include <QString>

#include <functional>

namespace Quilo {

struct MessageRequest {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    QString caption;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

using MessageHook = std::function<QMessageBox::StandardButton(const MessageRequest &)>;

QMessageBox::StandardButton messageBox(QWidget *parent, const MessageRequest &request);
// An empty hook restores the real boxes.
void setMessageHook(MessageHook hook);

} // namespace Quilo
