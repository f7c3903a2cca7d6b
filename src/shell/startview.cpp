#include "startview.h"

#include "messagebox.h"
#include "rtfreader.h"
#include "stringtable.h"

#include <QFile>

CStartView::CStartView(CTarvelDoc &, QWidget *parent) : QTextEdit(parent)
{
    // read-only from the start, so a page whose file is missing cannot be typed into either
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setTabStopDistance(48); // half an inch, the usual rich-text default
}

QString CStartView::fileName()
{
    return QStringLiteral("wtarvel.rtf");
}

void CStartView::OnInitialUpdate()
{
    QFile file(fileName());
    if (!file.open(QIODevice::ReadOnly)) {
        Quilo::messageBox(this, {QMessageBox::Critical, LoadString(Str::StartPageMissing) + QLatin1Char('\n') + file.errorString(),
                                 LoadString(Str::ProductName), QMessageBox::Ok});
        clear();
        return;
    }
    const QByteArray rtf = file.read(kMaxFileSize);
    Quilo::RtfReader::fill(Quilo::RtfReader::parse(rtf), *document());
}
