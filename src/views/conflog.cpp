#include "conflog.h"

#include "config.h"
#include "formlayout.h"
#include "records.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "ui_conflog.h"

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
    if (m_doc.m_nConfigEvent >= 0 && m_doc.m_nConfigEvent < kEvents)
        m_pTabs->setCurrentIndex(m_doc.m_nConfigEvent);
    connect(m_pTabs, &QTabBar::currentChanged, this, [this] { Refresh(false); });
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

void CConfLog::Refresh(bool reload)
{
    m_doc.m_nDataSet = CTarvelDoc::dsConfEvents;
    const int selected = m_pTabs->currentIndex();
    if (selected < 0 || selected >= static_cast<int>(m_doc.m_aConfEvents.size()))
        return; // the tabs are not built yet
    m_doc.m_nConfigEvent = selected;
    CConfEventRecord &event = m_doc.m_aConfEvents[static_cast<std::size_t>(selected)];
    if (reload)
        event.m_nStatus = 0;
    m_doc.ReadDataSet();

    Quilo::showConfig(m_pForm, event.m_config);
    m_ui->edit1065->setText(event.m_changeTime.GetText());
    m_ui->edit1018->setText(event.m_in.GetText());
    m_ui->edit1019->setText(event.m_out.GetText());
    m_ui->edit1020->setText(event.m_stake.GetText());
    m_ui->edit1021->setText(event.m_win.GetText());
    m_ui->edit1022->setText(event.m_games.GetText());
}
