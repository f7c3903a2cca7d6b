#pragma once
// The visit history in the window: the units and their visits on the left, on the right the
// comparison of two visits (flags first), each log as bars over time and the counters across
// the unit's visits. Every database call runs on the history service's thread; the view only
// shows answers. The service is the one the frame gives it (see InstallHistoryRecorder), or,
// when none was given, the view's own.

#include "comparison.h"
#include "quiloview.h"
#include "readout.h"

#include <QWidget>

#include <functional>
#include <memory>

class CTarvelDoc;
class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace Quilo {

class CHistoryService;

// Records every whole-unit read of the document in the history, on a service owned by
// `frame`; `show` gets the outcome in a sentence (the status bar).
CHistoryService *InstallHistoryRecorder(QWidget *frame, CTarvelDoc &doc, std::function<void(const QString &)> show);

class CHistoryView : public QWidget, public View
{
    Q_OBJECT
public:
    CHistoryView(CTarvelDoc &doc, QWidget *parent);
    ~CHistoryView() override;

    // The service to ask; before OnInitialUpdate(). The view does not own it.
    void SetService(CHistoryService *service);
    QWidget *widget() override { return this; }
    void OnInitialUpdate() override;

    // Sends the history what waits on this PC for it, then lists the units again.
    void Refresh();
    // Records saved read-outs as visits (the Import button asks for them first).
    void ImportFiles(const QStringList &files);

    QTreeWidget *units() const { return m_units; }
    QTreeWidget *comparison() const { return m_comparison; }
    QTabWidget *tabs() const { return m_tabs; }
    QString statusText() const;
    CHistoryService *service() const { return m_service; }

signals:
    // A list or a comparison arrived (tests wait for it).
    void shown();

private:
    void BuildTabs();
    void OnUnits(const QList<UnitEntry> &units, const QString &error);
    void OnVisits(qint64 unitId, const QList<VisitEntry> &visits, const QString &error);
    void OnCompared(const Comparison &comparison, const StoredVisit &later, const QString &error);
    void OnSelection();
    void OnApplySettings();
    void ShowLogChart();
    void ShowCounterChart(const QList<VisitEntry> &visits);
    void SetStatus(const QString &text, bool error = false);
    void ShowLocation();

    CTarvelDoc &m_doc;
    CHistoryService *m_service = nullptr;
    bool m_ownService = false;
    QLabel *m_location = nullptr;
    QCheckBox *m_record = nullptr;
    QLineEdit *m_url = nullptr;
    QPushButton *m_stop = nullptr;
    QTreeWidget *m_units = nullptr;
    QTabWidget *m_tabs = nullptr;
    QTreeWidget *m_comparison = nullptr;
    QComboBox *m_log = nullptr;
    QComboBox *m_pair = nullptr;
    QChartView *m_logChart = nullptr;
    QChartView *m_counterChart = nullptr;
    QLabel *m_status = nullptr;
    Quilo::ReadOut m_later; // the later visit of the comparison shown, for the log chart
    qint64 m_selectUnit = 0;  // the unit to open once the list is there
};

} // namespace Quilo
