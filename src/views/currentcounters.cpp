#include "currentcounters.h"

#include "fields.h"
#include "formlayout.h"
#include "recordstate.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "ui_currentcounters.h"

#include <QLabel>

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
    m_pState = Quilo::addStateLine(this);
    Quilo::takeClickFocus(this);
    m_timer.setSingleShot(true);
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_bQuiet = true;
        Refresh();
    });
}

CCurrentCounters::~CCurrentCounters() = default;

QLineEdit *CCurrentCounters::box(int id) const
{
    return findChild<QLineEdit *>(QStringLiteral("edit%1").arg(id));
}

void CCurrentCounters::OnInitialUpdate()
{
    connect(&m_doc, &CTarvelDoc::recordsChanged, this, &CCurrentCounters::OnRecordsChanged);
    connect(&m_doc, &CTarvelDoc::operationFinished, this, &CCurrentCounters::OnFinished);
    Show();
    OnLoad();
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
    m_bLive = !m_doc.IsOffline(); // a file shown does not change
    m_bQuiet = false;             // what the user asked for is said
    m_timer.stop();
    if (!m_bLive)
        return;
    if (m_doc.RunningDataSet() == CTarvelDoc::kReadAll && m_doc.IsBusy())
        return; // it reads the counters too; the refreshing starts when it ends
    if (m_doc.IsBusy() && !m_bInFlight) {
        // asked for by the user (showing the view, Load): the running read gives way
        m_bInFlight = true;
        m_doc.StartRead(Quilo::ReadRequest::Set(Quilo::dsCounters));
        return;
    }
    Refresh();
}

void CCurrentCounters::Refresh()
{
    // a refresh never stops another transfer, nor starts a second read of its own
    if (m_bInFlight || m_doc.IsBusy() || m_doc.IsOffline() || !isVisible()) {
        m_bQuiet = false;
        return;
    }
    m_bInFlight = true;
    m_doc.StartRead(Quilo::ReadRequest::Set(Quilo::dsCounters));
}

void CCurrentCounters::OnFinished(const COperationSummary &summary)
{
    if (m_bInFlight && summary.dataSet == CTarvelDoc::dsCounters) {
        m_bInFlight = false;
        m_bQuiet = false;
        m_bLive = m_bLive && m_doc.ReadOut().IsRead(Quilo::dsCounters, 0);
    } else if (m_bInFlight && !m_doc.IsBusy() && !m_doc.HasPendingRead()) {
        m_bInFlight = false; // our waiting read was dropped by Stop
        m_bQuiet = false;
        m_bLive = false;
    }
    // after our read, or after another transfer kept us waiting
    if (m_bLive && !m_bInFlight && !m_timer.isActive())
        m_timer.start();
}

void CCurrentCounters::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_bLive && !m_bInFlight && !m_timer.isActive())
        m_timer.start();
}

void CCurrentCounters::OnRecordsChanged(int dataSet)
{
    if (dataSet == CTarvelDoc::dsCounters)
        Show();
}

void CCurrentCounters::Show()
{
    const CCountersRecord c = m_doc.ReadOut().Decoded<Quilo::dsCounters>(0);
    const bool has = c.HoldsUnitValue();
    const auto text = [&](int column) { return has ? c.GetColumnText(column) : QString(); };
    m_ui->edit1001->setText(text(0));
    m_ui->edit1002->setText(text(1));
    m_ui->edit1003->setText(text(2));
    m_ui->edit1004->setText(text(3));
    m_ui->edit1005->setText(has ? FormatString(Str::FmtWinMaxAt, c.GetColumnText(4), c.GetColumnText(5)) : QString());
    m_ui->edit1006->setText(text(6));
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        Quilo::widenToText(edit);
    Quilo::setStateLine(m_pState, Quilo::formStateText(c, nullptr));
}
