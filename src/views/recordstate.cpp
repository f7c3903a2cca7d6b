#include "recordstate.h"

#include "fields.h"
#include "statustext.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QLabel>
#include <QPalette>

namespace Quilo {

QString missingText(const CDataField &record)
{
    if (record.HoldsUnitValue())
        return QString();
    return StatusText(record.m_nStatus);
}

QString formStateText(const CDataField &record, const CRecordMeta *meta)
{
    switch (record.State()) {
    case RecordStatus::State::NotRead: return LoadString(Str::FormNotRead);
    case RecordStatus::State::Read:
    case RecordStatus::State::Written: break;
    default: return LoadString(Str::FormFailed).arg(StatusText(record.m_nStatus));
    }
    if (!meta)
        return QString();
    const QList<int> failed = meta->failedChunks();
    if (failed.isEmpty())
        return QString();
    return LoadString(Str::FormChunksFailed)
        .arg(failed.size())
        .arg(meta->chunkStatus.size())
        .arg(StatusText(meta->chunkStatus.at(failed.first())));
}

QLabel *addStateLine(QWidget *form)
{
    auto *line = new QLabel(form);
    line->setObjectName(QStringLiteral("stateLine"));
    line->setWordWrap(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, QColor(0xA0, 0x20, 0x20));
    line->setPalette(palette);
    // under everything the form holds, as wide as the form
    int bottom = 0;
    for (const QWidget *w : form->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (w != line)
            bottom = std::max(bottom, w->geometry().bottom());
    const int height = line->fontMetrics().height() * 2 + 4;
    const int margin = 8;
    line->setGeometry(margin, bottom + margin, std::max(form->width(), form->minimumWidth()) - 2 * margin, height);
    const QSize needed(form->minimumWidth(), line->geometry().bottom() + margin);
    form->setMinimumSize(needed.expandedTo(form->minimumSize()));
    form->resize(form->size().expandedTo(needed));
    line->hide();
    return line;
}

void setStateLine(QLabel *line, const QString &text)
{
    line->setText(text);
    line->setVisible(!text.isEmpty());
}

void takeClickFocus(QWidget *view)
{
    if (view->focusPolicy() == Qt::NoFocus)
        view->setFocusPolicy(Qt::ClickFocus);
}

} // namespace Quilo
