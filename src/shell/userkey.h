#pragma once
// "Define user key(mode)": the key mode dialog, and the document taking its result.

class CTarvelDoc;
class QWidget;

namespace Quilo {

// Runs the dialog on the document's key mode and user key and keeps what it hands back. A key
// text that does not read as eight values is not taken: the previous key stays.
void OnDefineUserKey(CTarvelDoc &doc, QWidget *parent);

} // namespace Quilo
