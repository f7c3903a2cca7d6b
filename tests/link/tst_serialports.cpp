// The port list against a stand-in device tree: adapters plugged in after start-up, their
// stable names across re-plugging, and their latency timers.
#include "comport.h"
#include "devicetree.h"
#include "serialports.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kFtdi = u"usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"_s;

const CSerialPortEntry *find(const QList<CSerialPortEntry> &ports, const QString &devicePath)
{
    for (const CSerialPortEntry &p : ports)
        if (p.devicePath == devicePath)
            return &p;
    return nullptr;
}

} // namespace

class TestSerialPorts : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { CComPort::ClearPortMappings(); }

    void adapterComesAndGoes()
    {
        CFakeDeviceTree tree;
        QVERIFY(tree.isValid());
        const QString usb0 = tree.path(u"dev/ttyUSB0"_s), usb1 = tree.path(u"dev/ttyUSB1"_s);
        QVERIFY(!find(ListSerialPorts(), usb0));

        // Plugged in while the program runs, and Com2 mapped to its stable name.
        QVERIFY(tree.plug(u"ttyUSB0"_s, kFtdi, 16));
        CComPort::SetPortMapping(u"Com2"_s, tree.byId(kFtdi));
        const QList<CSerialPortEntry> first = ListSerialPorts();
        const CSerialPortEntry *adapter = find(first, usb0);
        QVERIFY(adapter);
        QCOMPARE(adapter->name, u"ttyUSB0"_s);
        QCOMPARE(adapter->stableNames, QStringList{tree.byId(kFtdi)});
        QCOMPARE(adapter->latencyTimerMs, 16);
        QCOMPARE(adapter->latencyTimerFile, tree.path(u"sys/bus/usb-serial/devices/ttyUSB0/latency_timer"_s));
        QCOMPARE(adapter->portNames, QStringList{u"Com2"_s});

        // Pulled: the link dangles for a moment and names nothing.
        tree.unplug(u"ttyUSB0"_s);
        QVERIFY(!find(ListSerialPorts(), usb0));

        // Back under another number, with a timer already at 1 ms: the same stable name, and
        // Com2 follows it.
        QVERIFY(tree.plug(u"ttyUSB1"_s, kFtdi, 1));
        const QList<CSerialPortEntry> again = ListSerialPorts();
        QVERIFY(!find(again, usb0));
        adapter = find(again, usb1);
        QVERIFY(adapter);
        QCOMPARE(adapter->stableNames, QStringList{tree.byId(kFtdi)});
        QCOMPARE(adapter->latencyTimerMs, 1);
        QCOMPARE(adapter->portNames, QStringList{u"Com2"_s});
    }
};

QTEST_GUILESS_MAIN(TestSerialPorts)
#include "tst_serialports.moc"
