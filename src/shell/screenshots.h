#pragma once
// Pictures of every view, for the documentation and for a look at the layout: visits each item
// of the tree that shows a view, then the start page and the About box, and saves the window.

#include <QString>

class CMainFrame;

namespace Quilo {

// Returns the number of pictures saved into `directory`; -1 when it cannot be created.
int takeScreenshots(CMainFrame &frame, const QString &directory);

} // namespace Quilo
