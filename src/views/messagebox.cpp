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
    // texts may carry a file's or the unit's words: never read as markup
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void setMessageHook(MessageHook h)
{
    hook() = std::move(h);
}

} // namespace Quilo
