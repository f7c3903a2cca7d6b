#include "commbar.h"

#include "serialports.h"
#include "stringtable.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <functional>

namespace {
const std::array<unsigned, 4> kPortNames{Str::PortCom1, Str::PortCom2, Str::PortCom3, Str::PortCom4};
constexpr int kDefaultPort = 1; // "Com2", the document's port at start

// Reads the machine's ports again whenever the list drops down, so that an adapter plugged in
// after start-up can be picked without restarting. Its width stays put (by-id names are long
// and come and go); the list itself is as wide as its longest entry.
class CPortSelector : public QComboBox
{
public:
    CPortSelector(std::function<void()> refresh, QWidget *parent) : QComboBox(parent), m_refresh(std::move(refresh))
    {
        setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        setMinimumContentsLength(24);
    }
    void showPopup() override
    {
        m_refresh();
        view()->setMinimumWidth(view()->sizeHintForColumn(0) + view()->verticalScrollBar()->sizeHint().width());
        QComboBox::showPopup();
    }

private:
    std::function<void()> m_refresh;
};
} // namespace

CCommBar::CCommBar(CTarvelDoc &doc, QWidget *parent)
    : QWidget(parent)
    , m_doc(doc)
    , m_pProgress(new QProgressBar(this))
    , m_pStop(new QToolButton(this))
    , m_pPort(new CPortSelector([this] { addMachinePorts(); }, this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(new QLabel(LoadString(Str::CommLabel), this));
    m_pProgress->setTextVisible(false);
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(0);
    m_pProgress->setFixedWidth(260);
    layout->addWidget(m_pProgress);
    m_pStop->setObjectName(QStringLiteral("stopButton"));
    m_pStop->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    layout->addWidget(m_pStop);
    layout->addSpacing(16);
    layout->addWidget(new QLabel(LoadString(Str::PortLabel), this));

    for (unsigned id : kPortNames) {
        const QString name = LoadString(id);
        m_pPort->addItem(name, name);
    }
    addMachinePorts();
    m_pPort->setCurrentIndex(kDefaultPort);
    m_pPort->setMaxVisibleItems(16);
    // Typed: a network port (rfc2217://venue-7:4001) or a device path the list does not hold.
    m_pPort->setEditable(true);
    m_pPort->setInsertPolicy(QComboBox::NoInsert);
    layout->addWidget(m_pPort);
    connect(m_pPort, &QComboBox::currentIndexChanged, this, &CCommBar::OnSelChangePort);
    connect(m_pPort->lineEdit(), &QLineEdit::editingFinished, this, &CCommBar::OnPortTyped);
}

// A typed name the list holds picks that entry; any other becomes an entry of its own. One
// that leads nowhere says so when the port is opened, as a mapped name would.
void CCommBar::OnPortTyped()
{
    const QString typed = m_pPort->lineEdit()->text().trimmed();
    if (typed.isEmpty() || typed == m_pPort->itemText(m_pPort->currentIndex())) {
        m_pPort->lineEdit()->setText(m_pPort->itemText(m_pPort->currentIndex()));
        return;
    }
    int index = m_pPort->findText(typed);
    if (index < 0)
        index = m_pPort->findData(typed);
    if (index < 0) {
        m_pPort->addItem(typed, typed);
        index = m_pPort->count() - 1;
    }
    m_pPort->setCurrentIndex(index);
}

// Beyond the four classic names: the serial ports this machine has, USB adapters among them,
// named by their device path so the user can tell them apart, and adapters also by their
// /dev/serial/by-id name, which stays the same when they are plugged in again. Rebuilt in
// place; the choice stays, even when its adapter is gone for the moment.
void CCommBar::addMachinePorts()
{
    const QString chosen = m_pPort->currentData().toString();
    const QString chosenLabel = m_pPort->currentText();
    const QSignalBlocker quiet(m_pPort); // the document's port does not change here
    while (m_pPort->count() > static_cast<int>(kPortNames.size()))
        m_pPort->removeItem(m_pPort->count() - 1);
    const QList<CSerialPortEntry> ports = ListSerialPorts();
    for (const CSerialPortEntry &port : ports) {
        const QString description = port.description.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(port.description);
        m_pPort->addItem(port.name + description, port.devicePath);
        for (const QString &stable : port.stableNames)
            m_pPort->addItem(QFileInfo(stable).fileName(), stable); // names maker and serial number already
    }
    if (chosen.isEmpty())
        return;
    int index = m_pPort->findData(chosen);
    if (index < 0) {
        m_pPort->addItem(chosenLabel, chosen);
        index = m_pPort->count() - 1;
    }
    m_pPort->setCurrentIndex(index);
}

bool CCommBar::selectPort(const QString &name)
{
    const int index = m_pPort->findData(name);
    if (index < 0)
        return false;
    if (index == m_pPort->currentIndex())
        OnSelChangePort(index);
    else
        m_pPort->setCurrentIndex(index);
    return true;
}

void CCommBar::OnSelChangePort(int index)
{
    if (index < 0)
        return;
    m_doc.SetPort(m_pPort->itemData(index).toString());
}

void CCommBar::SetRange(int minimum, int maximum)
{
    // an empty range would turn the bar into a busy indicator
    m_pProgress->setRange(minimum, maximum > minimum ? maximum : minimum + 1);
}

void CCommBar::SetStep(int)
{
    // the engine moves the bar by positions; the step is implied
}

void CCommBar::SetPos(int position)
{
    // a value outside the range would be ignored and leave the bar full at the end
    m_pProgress->setValue(std::clamp(position, m_pProgress->minimum(), m_pProgress->maximum()));
}

void CCommBar::setStopAction(QAction *stop)
{
    m_pStop->setDefaultAction(stop);
}
