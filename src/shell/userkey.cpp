#include "userkey.h"

#include "keyedit.h"
#include "keymodedlg.h"
#include "tarveldoc.h"

namespace Quilo {

void OnDefineUserKey(CTarvelDoc &doc, QWidget *parent)
{
    CKeyModeDlg dialog(parent);
    dialog.keyEdit().m_bCloseOnEnter = false;
    dialog.m_strKey = doc.UserKeyText();
    dialog.m_bSWKeyMode = doc.KeyMode() != 0;
    // Escape hands back the members too: as opened, or as the last click on the check box
    // left them
    dialog.DoModal();
    const int mode = dialog.m_bSWKeyMode ? 1 : 0;
    // Delete or the clipboard can leave a text that is no key; the unit is then never sent a
    // key made up from it
    if (!doc.SetKeyMode(mode, dialog.m_strKey))
        doc.SetKeyMode(mode, doc.UserKeyText());
}

} // namespace Quilo
