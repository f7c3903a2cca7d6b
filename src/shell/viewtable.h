#pragma once
// The frame's view table: which view a command shows and the title it gives the window.
// A new view joins by adding one row in viewtable.cpp.

#include "quiloview.h"

#include <span>

class CTarvelDoc;
class QWidget;

namespace Quilo {

using ViewFactory = View *(*)(CTarvelDoc &doc, QWidget *parent);

struct ViewTableRow {
    unsigned command;
    unsigned title;      // string number, becomes the document title
    ViewFactory create;
};

std::span<const ViewTableRow> viewTable();
// The row of `command`, or nullptr.
const ViewTableRow *findView(unsigned command);

template<class V>
View *createView(CTarvelDoc &doc, QWidget *parent)
{
    return new V(doc, parent);
}

} // namespace Quilo
