#pragma once
// Pictures of every view, for the documentation and for a look at the layout: visits each item
// of the tree that shows a view, then the start page and the About box, and saves the window.

#include <QString>
#include <QStringList>

#include <functional>

class CMainFrame;

namespace Quilo {

// Returns the number of pictures saved into `directory`; -1 when it cannot be created.
// betweenVisits runs between the whole-unit read-outs the history's pictures need; setFaults,
// when given, gives the unit the faults named (as quilo-sim's --fault takes them; none: a unit
// without faults), for the pictures of a unit that fails some records.
int takeScreenshots(CMainFrame &frame, const QString &directory, const std::function<void()> &betweenVisits = {},
                    const std::function<void(const QStringList &)> &setFaults = {});

} // namespace Quilo
