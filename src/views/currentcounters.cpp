#include "currentcounters.h"

#include "fields.h"
#include "formlayout.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "ui_currentcounters.h"

#include <QPaintEvent>

#include <array>

namespace {
const std::array<Quilo::FormText, 6> kTexts{{
    {"label1001", Str::LblCashIn},
    {"label1002", Str::LblCashOut},
    {"label1003", Str::LblStake},
    {"label1004", Str::LblWin},
    {"label1005", Str::LblWinMax},
    {"label1006", Str::LblGameCounter},
}};
} // namespace

CCurrentCounters::CCurrentCounters(CTarvelDoc &doc, QWidget *parent)
    : QWidget(parent), m_doc(doc), m_ui(std::make_unique<Ui::CCurrentCountersForm>())
{
    m_ui->setupUi(this);
    Quilo::setFormTexts(this, kTexts);
    Quilo::mapDialogUnits(this);
}

CCurrentCounters::~CCurrentCounters() = default;

QLineEdit *CCurrentCounters::box(int id) const
{
    return findChild<QLineEdit *>(QStringLiteral("edit%1").arg(id));
}

bool CCurrentCounters::answersCommand(unsigned command) const
{
    return command == Str::CmdLoad;
}

void CCurrentCounters::onCommand(unsigned command)
{
    if (command == Str::CmdLoad)
        OnLoad();
}

void CCurrentCounters::OnLoad()
{
    Refresh();
}

void CCurrentCounters::paintEvent(QPaintEvent *event)
{
    // A paint that only covers the boxes is theirs: their texts changed, or they blink a
    // caret. Reading again for it would read for ever.
    QRegion own = event->region();
    for (const QLineEdit *edit : findChildren<QLineEdit *>())
        own -= QRegion(edit->geometry());
    if (!own.isEmpty())
        Refresh();
}

void CCurrentCounters::Refresh()
{
    // a paint while a read of the unit is running (any view's) must not start another
    if (m_bRefreshing || m_doc.m_comPort.IsOpen())
        return;
    m_bRefreshing = true;
    m_doc.m_nDataSet = CTarvelDoc::dsCounters;
    m_doc.ReadDataSet();
    const CCountersRecord &c = m_doc.m_counters;
    m_ui->edit1001->setText(c.GetColumnText(0));
    m_ui->edit1002->setText(c.GetColumnText(1));
    m_ui->edit1003->setText(c.GetColumnText(2));
    m_ui->edit1004->setText(c.GetColumnText(3));
    m_ui->edit1005->setText(FormatString(Str::FmtWinMaxAt, c.GetColumnText(4), c.GetColumnText(5)));
    m_ui->edit1006->setText(c.GetColumnText(6));
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        Quilo::widenToText(edit);
    m_bRefreshing = false;
}
