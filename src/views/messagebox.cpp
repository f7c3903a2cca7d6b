#include "messagebox.h"

namespace Quilo {

namespace {
MessageHook &hook()
{
    static MessageHook h;
    return h;
}
} // namespace

QMessageBox::StandardButton messageBox(QWidget *parent, const MessageRequest &request)
{
    if (hook())
        return hook()(request);
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void setMessageHook(MessageHook h)
{
    hook() = std::move(h);
}

} // namespace Quilo
