#include "conflog.h"

#include "config.h"
#include "formlayout.h"
#include "recordstate.h"
#include "records.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "ui_conflog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>

#include <algorithm>
#include <array>

namespace {

const std::array<Quilo::FormText, 9> kTexts{{
    {"labelLog", Str::LblLog},
    {"labelNumber", Str::LblNumber},
    {"labelChangeTime", Str::LblChangeTime},
    {"groupPrior", Str::LblCountersPrior},
    {"labelIn", Str::LblIn},
    {"labelOut", Str::LblOut},
    {"labelStake", Str::LblStakeColon},
    {"labelWin", Str::LblWinColon},
    {"labelGames", Str::LblGames},
}};

// The tabs look like a row of buttons, one fixed width, narrow enough for all twenty in a row.
QString eventTabsStyle(const QFontMetrics &metrics)
{
    const int width = std::max(20, metrics.horizontalAdvance(QStringLiteral("20")) + 8);
    return QStringLiteral("QTabBar::tab { width: %1px; min-height: 20px; padding: 0px; margin-right: 1px;"
                          " border: 1px solid palette(mid); border-radius: 2px; background: palette(button); }"
                          " QTabBar::tab:selected { background: palette(dark); color: palette(bright-text); }")
        .arg(width);
}

} // namespace

CConfLog::CConfLog(CTarvelDoc &doc, QWidget *parent)
    : QScrollArea(parent), m_doc(doc), m_ui(std::make_unique<Ui::CConfLogForm>()), m_pForm(new QWidget)
{
    m_ui->setupUi(m_pForm);
    Quilo::setFormTexts(m_pForm, kTexts);
    Quilo::setConfigFormTexts(m_pForm);
    Quilo::mapDialogUnits(m_pForm);

    // the tab row takes the place held for it in the form
    m_pTabs = new QTabBar(m_pForm);
    m_pTabs->setStyleSheet(eventTabsStyle(m_pTabs->fontMetrics()));
    m_pTabs->setObjectName(QStringLiteral("tabs1068"));
    m_pTabs->setGeometry(m_ui->tab1068->geometry());
    m_pTabs->setFocusPolicy(Qt::NoFocus);
    m_pTabs->setExpanding(false);
    m_pTabs->setUsesScrollButtons(true);
    m_pTabs->setDrawBase(false);
    delete m_ui->tab1068;
    m_ui->tab1068 = nullptr;
    m_pState = Quilo::addStateLine(m_pForm);
    Quilo::takeClickFocus(this);
    Quilo::takeClickFocus(m_pForm);

    setWidget(m_pForm);
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
}

CConfLog::~CConfLog() = default;

void CConfLog::OnInitialUpdate()
{
    for (int i = 1; i <= kEvents; ++i)
        m_pTabs->addTab(QString::number(i));
    // the entry shown last, when the document holds one that exists
    const int shown = m_doc.Selection(Quilo::dsConfEvents).event;
    if (shown >= 0 && shown < kEvents)
        m_pTabs->setCurrentIndex(shown);
    connect(m_pTabs, &QTabBar::currentChanged, this, [this] { Refresh(false); });
    connect(&m_doc, &CTarvelDoc::recordsChanged, this, [this](int dataSet, int first) {
        if (dataSet == CTarvelDoc::dsConfEvents && first == selectedEvent())
            Show();
    });
    Refresh(false);
}

bool CConfLog::answersCommand(unsigned command) const
{
    return command == Str::CmdLoad;
}

void CConfLog::onCommand(unsigned command)
{
    if (command == Str::CmdLoad)
        Refresh(true);
}

int CConfLog::selectedEvent() const
{
    const int selected = m_pTabs->currentIndex();
    constexpr int kKept = static_cast<int>(Quilo::RecordTraits<Quilo::dsConfEvents>::kRecords);
    return selected >= 0 && selected < kKept ? selected : -1;
}

void CConfLog::Refresh(bool reload)
{
    const int selected = selectedEvent();
    if (selected < 0)
        return; // the tabs are not built yet
    Show();
    m_doc.StartRead(Quilo::ReadRequest::Event(selected), reload);
}

void CConfLog::Show()
{
    const int selected = selectedEvent();
    if (selected < 0)
        return;
    const CConfEventRecord event = m_doc.ReadOut().Decoded<Quilo::dsConfEvents>(static_cast<unsigned>(selected));
    const CRecordMeta *meta = m_doc.Meta(CTarvelDoc::dsConfEvents, static_cast<unsigned>(selected));
    Quilo::showConfig(m_pForm, event.m_config, event.HoldsUnitValue(), meta);
    // the counters and the change time are chunks 19 to 24
    const QList<int> failed = meta && event.HoldsUnitValue() ? meta->failedChunks() : QList<int>();
    const auto text = [&](const CDataField &field, int chunk) {
        return event.HoldsUnitValue() && !failed.contains(chunk) ? field.GetText() : QString();
    };
    m_ui->edit1018->setText(text(event.m_in, 18));
    m_ui->edit1019->setText(text(event.m_out, 19));
    m_ui->edit1020->setText(text(event.m_stake, 20));
    m_ui->edit1021->setText(text(event.m_win, 21));
    m_ui->edit1022->setText(text(event.m_games, 22));
    m_ui->edit1065->setText(text(event.m_changeTime, 23));
    Quilo::setStateLine(m_pState, Quilo::formStateText(event, meta));
}
