#include "historyview.h"

#include "datasettable.h"
#include "historyservice.h"
#include "logbars.h"
#include "records.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <memory>

namespace Quilo {

namespace {

constexpr int kUnitRole = Qt::UserRole;
constexpr int kVisitRole = Qt::UserRole + 1;

// Columns at least as wide as their headings, which are longer in some languages.
void fitHeadings(QTreeWidget *tree)
{
    const QFontMetrics metrics(tree->header()->font());
    const QTreeWidgetItem *heads = tree->headerItem();
    for (int c = 0; c < tree->columnCount(); ++c)
        tree->setColumnWidth(c, std::max(tree->columnWidth(c), metrics.horizontalAdvance(heads->text(c)) + 24));
}

} // namespace

CHistoryService *InstallHistoryRecorder(QWidget *frame, CTarvelDoc &doc, std::function<void(const QString &)> show)
{
    auto *service = new CHistoryService(frame);
    QObject::connect(&doc, &CTarvelDoc::wholeUnitRead, service,
                     [service, &doc](const QList<COperationSummary> &, bool complete) { service->RecordWholeUnit(doc, complete); });
    QObject::connect(service, &CHistoryService::recorded, frame, [show](const QString &message) { show(message); });
    return service;
}

CHistoryView::CHistoryView(CTarvelDoc &doc, QWidget *parent)
    : QWidget(parent), m_doc(doc)
{
    setObjectName(QStringLiteral("CHistoryView"));
    auto *layout = new QVBoxLayout(this);

    m_location = new QLabel(this);
    m_location->setTextFormat(Qt::PlainText); // a history's name and the unit's texts are not markup
    m_location->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_location);
    auto *settings = new QHBoxLayout;
    m_record = new QCheckBox(LoadString(Str::HistRecordSetting), this);
    m_url = new QLineEdit(this);
    m_url->setPlaceholderText(LoadString(Str::HistUrlPlaceholder));
    auto *apply = new QPushButton(LoadString(Str::HistApply), this);
    settings->addWidget(m_record);
    settings->addWidget(m_url, 1);
    settings->addWidget(apply);
    layout->addLayout(settings);
    auto *buttons = new QHBoxLayout;
    auto *refresh = new QPushButton(LoadString(Str::HistRefresh), this);
    auto *import = new QPushButton(LoadString(Str::HistImport), this);
    m_stop = new QPushButton(LoadString(Str::HistStop), this);
    m_stop->setEnabled(false);
    buttons->addWidget(refresh);
    buttons->addWidget(import);
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    auto *split = new QSplitter(Qt::Horizontal, this);
    m_units = new QTreeWidget(split);
    m_units->setObjectName(QStringLiteral("historyUnits"));
    m_units->setHeaderLabels({LoadString(Str::HistColUnitOrVisit), LoadString(Str::HistColUnitClock)});
    fitHeadings(m_units);
    m_units->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_units->setRootIsDecorated(true);
    m_tabs = new QTabWidget(split);
    BuildTabs();
    split->addWidget(m_units);
    split->addWidget(m_tabs);
    split->setStretchFactor(1, 1);
    split->setSizes({300, 700});
    layout->addWidget(split, 1);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_status);

    connect(refresh, &QPushButton::clicked, this, &CHistoryView::Refresh);
    connect(import, &QPushButton::clicked, this, [this] {
        const QString filter = LoadString(Str::DocString).section(QLatin1Char('\n'), 3, 3);
        const QStringList files = QFileDialog::getOpenFileNames(this, LoadString(Str::HistImport), QString(), filter);
        if (!files.isEmpty())
            ImportFiles(files);
    });
    connect(apply, &QPushButton::clicked, this, &CHistoryView::OnApplySettings);
    connect(m_units, &QTreeWidget::itemSelectionChanged, this, &CHistoryView::OnSelection);
    connect(m_log, &QComboBox::currentIndexChanged, this, &CHistoryView::ShowLogChart);
    connect(m_pair, &QComboBox::currentIndexChanged, this, &CHistoryView::ShowLogChart);
}

// The comparison, the last visit's logs and the counters across visits, one tab each.
void CHistoryView::BuildTabs()
{
    m_comparison = new QTreeWidget(m_tabs);
    m_comparison->setObjectName(QStringLiteral("historyComparison"));
    m_comparison->setHeaderLabels({QString(), LoadString(Str::HistColEarlier), LoadString(Str::HistColLater),
                                   LoadString(Str::HistColDifference)});
    m_comparison->setRootIsDecorated(true);
    fitHeadings(m_comparison);
    m_comparison->setAlternatingRowColors(true);
    m_tabs->addTab(m_comparison, LoadString(Str::HistTabComparison));

    auto *logPage = new QWidget(m_tabs);
    auto *logLayout = new QVBoxLayout(logPage);
    auto *choice = new QHBoxLayout;
    m_log = new QComboBox(logPage);
    for (DataSetId set : kChartLogs)
        m_log->addItem(LoadString(FindDataSet(set)->title), static_cast<int>(set));
    m_pair = new QComboBox(logPage);
    m_pair->addItem(LoadString(Str::HistPairStakeWin));
    m_pair->addItem(LoadString(Str::HistPairCash));
    choice->addWidget(m_log);
    choice->addWidget(m_pair);
    choice->addStretch(1);
    logLayout->addLayout(choice);
    m_logChart = new QChartView(logPage);
    m_logChart->setRenderHint(QPainter::Antialiasing);
    logLayout->addWidget(m_logChart, 1);
    m_tabs->addTab(logPage, LoadString(Str::HistTabLogs));
    m_counterChart = new QChartView(m_tabs);
    m_counterChart->setRenderHint(QPainter::Antialiasing);
    m_tabs->addTab(m_counterChart, LoadString(Str::HistTabCounters));
}

CHistoryView::~CHistoryView()
{
    if (m_service && !m_ownService)
        disconnect(m_service, nullptr, this, nullptr);
}

void CHistoryView::SetService(CHistoryService *service)
{
    m_service = service;
}

void CHistoryView::OnInitialUpdate()
{
    if (!m_service) {
        m_service = new CHistoryService(this);
        m_ownService = true;
    }
    connect(m_service, &CHistoryService::unitsListed, this, &CHistoryView::OnUnits);
    connect(m_service, &CHistoryService::visitsListed, this, &CHistoryView::OnVisits);
    connect(m_service, &CHistoryService::sent, this, [this](int sent) {
        if (sent > 0)
            SetStatus(LoadString(Str::HistSentQueued).arg(sent));
    });
    connect(m_service, &CHistoryService::compared, this, &CHistoryView::OnCompared);
    connect(m_service, &CHistoryService::recorded, this, [this](const QString &message) {
        SetStatus(message);
        Refresh();
    });
    connect(m_service, &CHistoryService::imported, this, [this](const QStringList &messages, int) {
        SetStatus(messages.join(QLatin1Char('\n')));
        Refresh();
    });
    connect(m_service, &CHistoryService::busyChanged, m_stop, &QWidget::setEnabled);
    connect(m_stop, &QPushButton::clicked, m_service, &CHistoryService::Stop);
    const HistoryChoice choice = CHistoryService::Choice();
    m_record->setChecked(choice.record);
    if (choice.location.kind != HistoryLocation::Kind::SQLite || choice.location.path != DefaultHistoryFile())
        m_url->setText(choice.location.shown);
    ShowLocation();
    Refresh();
}

void CHistoryView::ShowLocation()
{
    const HistoryChoice choice = CHistoryService::Choice();
    // where the choice came from: an option or a variable by its own name, the others in words
    const QString from = choice.from == QLatin1String("default")    ? LoadString(Str::HistFromDefault)
                         : choice.from == QLatin1String("settings") ? LoadString(Str::HistFromSettings)
                                                                    : choice.from;
    m_location->setText(LoadString(Str::HistLocation).arg(choice.location.shown, from));
}

QString CHistoryView::statusText() const
{
    return m_status->text();
}

void CHistoryView::SetStatus(const QString &text, bool error)
{
    m_status->setText(text);
    m_status->setStyleSheet(error ? QStringLiteral("color: #b00020") : QString());
}

void CHistoryView::Refresh()
{
    if (const QTreeWidgetItem *item = m_units->currentItem())
        m_selectUnit = item->data(0, kUnitRole).toLongLong();
    // Requests run in order: the list shows what was just sent.
    m_service->SendQueued();
    m_service->ListUnits();
}

void CHistoryView::ImportFiles(const QStringList &files)
{
    SetStatus(LoadString(Str::HistImporting).arg(files.size()));
    m_service->Import(files);
}

void CHistoryView::OnApplySettings()
{
    QString url = m_url->text().trimmed();
    // The box shows the URL without its password: unchanged, it stands for the URL as given.
    const HistoryLocation current = CHistoryService::Choice().location;
    if (url == current.shown)
        url = current.given;
    if (!url.isEmpty() && !ParseHistoryLocation(url).valid()) {
        SetStatus(ParseHistoryLocation(url).error, true);
        return;
    }
    // The password stays in the settings file only: the box shows the URL without it.
    SaveHistorySettings(m_record->isChecked(), url);
    ShowLocation();
    Refresh();
}

void CHistoryView::OnUnits(const QList<UnitEntry> &units, const QString &error)
{
    if (!error.isEmpty()) {
        SetStatus(error, true);
        m_units->clear();
        emit shown();
        return;
    }
    m_units->clear();
    QTreeWidgetItem *select = nullptr;
    QDateTime latest;
    for (const UnitEntry &u : units) {
        auto *item = new QTreeWidgetItem(m_units, {u.name(), LoadString(Str::HistVisitCount).arg(u.visits)});
        item->setData(0, kUnitRole, u.id);
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        if (u.id == m_selectUnit || (!m_selectUnit && (!latest.isValid() || u.lastVisit > latest))) {
            select = item;
            latest = u.lastVisit;
        }
    }
    if (units.isEmpty())
        SetStatus(LoadString(Str::HistNothingYet));
    m_units->resizeColumnToContents(0);
    if (select)
        m_units->setCurrentItem(select);
    emit shown();
}

void CHistoryView::OnVisits(qint64 unitId, const QList<VisitEntry> &visits, const QString &error)
{
    if (!error.isEmpty()) {
        SetStatus(error, true);
        emit shown();
        return;
    }
    QTreeWidgetItem *unit = nullptr;
    for (int i = 0; i < m_units->topLevelItemCount() && !unit; ++i)
        if (m_units->topLevelItem(i)->data(0, kUnitRole).toLongLong() == unitId)
            unit = m_units->topLevelItem(i);
    if (!unit)
        return;
    const QSignalBlocker block(m_units);
    qDeleteAll(unit->takeChildren());
    for (const VisitEntry &v : visits) {
        auto *item = new QTreeWidgetItem(unit, {Quilo::LocalMinuteText(v.pcTime) + QStringLiteral("  #") + QString::number(v.id)
                                                    + (v.source == QLatin1String("import") ? QStringLiteral("  (") + v.port + QLatin1Char(')') : QString()),
                                                v.unitClock});
        item->setData(0, kUnitRole, unitId);
        item->setData(0, kVisitRole, v.id);
    }
    unit->setExpanded(true);
    m_units->resizeColumnToContents(0);
    ShowCounterChart(visits);
    if (visits.size() >= 2)
        m_service->Compare(visits.at(1).id, visits.at(0).id);
    else if (visits.size() == 1)
        m_service->Compare(visits.at(0).id, visits.at(0).id); // the visit alone: its logs (see OnCompared)
    else {
        m_comparison->clear();
        SetStatus(LoadString(Str::HistErrOneVisit));
        emit shown();
    }
}

void CHistoryView::OnSelection()
{
    QList<qint64> chosen;
    qint64 unitId = 0;
    for (const QTreeWidgetItem *item : m_units->selectedItems()) {
        unitId = item->data(0, kUnitRole).toLongLong();
        if (item->data(0, kVisitRole).isValid())
            chosen << item->data(0, kVisitRole).toLongLong();
    }
    const QTreeWidgetItem *current = m_units->currentItem();
    if (chosen.size() == 2) {
        m_service->Compare(chosen.at(0), chosen.at(1));
    } else if (chosen.size() == 1 && current && current->parent()) {
        // A visit against the one before it.
        const QTreeWidgetItem *parent = current->parent();
        const int at = parent->indexOfChild(const_cast<QTreeWidgetItem *>(current));
        if (at + 1 < parent->childCount())
            m_service->Compare(parent->child(at + 1)->data(0, kVisitRole).toLongLong(), chosen.first());
    } else if (chosen.isEmpty() && unitId) {
        m_selectUnit = unitId;
        m_service->ListVisits(unitId);
    }
}

void CHistoryView::OnCompared(const Comparison &c, const StoredVisit &later, const QString &error)
{
    if (!error.isEmpty()) {
        SetStatus(error, true);
        emit shown();
        return;
    }
    m_comparison->clear();
    m_later = ReadOut::FromRecords(later.records);
    if (c.earlier.id == c.later.id) {
        // One visit: nothing to compare it with, but its logs and counters are worth a look.
        auto *note = new QTreeWidgetItem(m_comparison, {LoadString(Str::HistOneVisit)});
        note->setFirstColumnSpanned(true);
        SetStatus(LoadString(Str::HistOneVisit));
        ShowLogChart();
        emit shown();
        return;
    }
    QTreeWidgetItem *flags = new QTreeWidgetItem(m_comparison, {LoadString(Str::HistFlagsHeading).arg(c.flags.size())});
    QFont bold = flags->font(0);
    bold.setBold(true);
    flags->setFont(0, bold);
    const QList<ComparisonLine> lines = ComparisonLines(c);
    QTreeWidgetItem *group = nullptr;
    QString section;
    for (const ComparisonLine &l : lines) {
        if (l.section == QLatin1String("flag")) {
            auto *item = new QTreeWidgetItem(flags, {l.item, l.earlier, l.later, l.difference});
            for (int col = 0; col < 4; ++col)
                item->setForeground(col, QColor(0xb0, 0x00, 0x20));
            continue;
        }
        if (l.section != section) {
            section = l.section;
            const unsigned title = section == QLatin1String("added")          ? Str::HistSectionAdded
                                   : section == QLatin1String("not-compared") ? Str::HistSectionNotCompared
                                   : section == QLatin1String("counter") || section == QLatin1String("net")
                                       ? Str::HistSectionCounters
                                       : Str::HistSectionPeriod;
            if (!group || group->text(0) != LoadString(title)) {
                group = new QTreeWidgetItem(m_comparison, {LoadString(title)});
                group->setFont(0, bold);
            }
        }
        new QTreeWidgetItem(group, {l.item, l.earlier, l.later, l.difference});
    }
    if (c.flags.isEmpty())
        new QTreeWidgetItem(flags, {LoadString(Str::HistNoFlags)});
    m_comparison->expandAll();
    for (int col = 0; col < 4; ++col)
        m_comparison->resizeColumnToContents(col);
    // A long flag must not push the figures out of sight: its row is cut short, its tip whole.
    const int itemWidth = m_comparison->viewport()->width() * 2 / 5;
    if (itemWidth > 0 && m_comparison->columnWidth(0) > itemWidth) {
        m_comparison->setColumnWidth(0, itemWidth);
        for (QTreeWidgetItemIterator it(m_comparison); *it; ++it)
            (*it)->setToolTip(0, (*it)->text(0));
    }
    SetStatus(LoadString(Str::HistCompareTitle)
                  .arg(c.later.unitType + QLatin1Char('/') + c.later.unitNumber)
                  .arg(c.earlier.id)
                  .arg(c.later.id),
              false);
    ShowLogChart();
    emit shown();
}

void CHistoryView::ShowLogChart()
{
    const auto set = static_cast<DataSetId>(m_log->currentData().toInt());
    const bool money = m_pair->currentIndex() == 1;
    const DataSetInfo *info = FindDataSet(set);
    auto *first = new QBarSet(money ? LoadString(Str::ColCashIn) : LoadString(Str::ColStake));
    auto *second = new QBarSet(money ? LoadString(Str::ColCashOut) : LoadString(Str::ColWin));
    QStringList dates;
    qreal top = 0;
    for (const LogBar &bar : LogBars(m_later, set, money)) {
        dates << bar.date;
        *first << bar.first;
        *second << bar.second;
        top = std::max<qreal>(top, std::max(bar.first, bar.second));
    }
    auto *series = new QBarSeries;
    series->append(first);
    series->append(second);
    auto *chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(LoadString(info->title));
    auto *x = new QBarCategoryAxis;
    x->append(dates);
    x->setLabelsAngle(-90);
    QFont small = x->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    x->setLabelsFont(small);
    x->setTruncateLabels(false);
    auto *y = new QValueAxis;
    y->setRange(0, top > 0 ? top * 1.05 : 1);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    chart->legend()->setAlignment(Qt::AlignTop);
    QChart *old = m_logChart->chart();
    m_logChart->setChart(chart);
    delete old;
}

void CHistoryView::ShowCounterChart(const QList<VisitEntry> &visits)
{
    auto *chart = new QChart;
    chart->setTitle(LoadString(Str::HistCountersChart));
    const std::pair<unsigned, quint32 CounterValues::*> lines[] = {
        {Str::ColCashIn, &CounterValues::cashIn}, {Str::ColCashOut, &CounterValues::cashOut},
        {Str::ColStake, &CounterValues::stake}, {Str::ColWin, &CounterValues::win}};
    auto *x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("yyyy-MM-dd"));
    x->setLabelsAngle(-45);
    auto *y = new QValueAxis;
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    qreal low = 0, high = 1;
    bool any = false;
    QDateTime from, to;
    for (const auto &[label, member] : lines) {
        auto *series = new QLineSeries;
        series->setName(LoadString(label));
        series->setPointsVisible(true);
        for (auto it = visits.rbegin(); it != visits.rend(); ++it) {
            if (!it->counters)
                continue;
            const qreal value = (*it->counters).*member;
            series->append(static_cast<qreal>(it->pcTime.toMSecsSinceEpoch()), value);
            low = any ? std::min(low, value) : value;
            high = any ? std::max(high, value) : value;
            any = true;
            from = from.isValid() ? std::min(from, it->pcTime) : it->pcTime;
            to = to.isValid() ? std::max(to, it->pcTime) : it->pcTime;
        }
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    if (any) {
        if (from.daysTo(to) < 3)
            x->setFormat(QStringLiteral("MM-dd HH:mm"));
        x->setRange(from.addSecs(-3600), to.addSecs(3600));
        y->setRange(low * 0.98, high * 1.02 + 1);
        y->applyNiceNumbers(); // round ticks, not the raw extremes
    }
    chart->legend()->setAlignment(Qt::AlignTop);
    QChart *old = m_counterChart->chart();
    m_counterChart->setChart(chart);
    delete old;
}

} // namespace Quilo
