#include "comport.h"
#include "portnames.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using Quilo::PortSource;

class TestPortNames : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_config;

    static void writeSetting(const QString &key, const QString &value)
    {
        QSettings s(u"Local AppWizard-Generated Applications"_s, u"tarvel"_s);
        s.beginGroup(u"Ports"_s);
        if (value.isEmpty())
            s.remove(key);
        else
            s.setValue(key, value);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
    }

    void cleanup()
    {
        CComPort::ClearPortMappings();
        qunsetenv("QUILO_PORTS");
        writeSetting(u"Com2"_s, QString());
    }

    // Each source beats the ones after it: override, environment, settings file, default.
    void resolution_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("override");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("path");
        QTest::addColumn<PortSource>("source");

        QTest::newRow("default Com1") << u"Com1"_s << QString() << QString() << QString() << u"/dev/ttyS0"_s << PortSource::Default;
        QTest::newRow("default Com4") << u"Com4"_s << QString() << QString() << QString() << u"/dev/ttyS3"_s << PortSource::Default;
        QTest::newRow("any case") << u"COM2"_s << QString() << QString() << QString() << u"/dev/ttyS1"_s << PortSource::Default;
        QTest::newRow("settings") << u"Com2"_s << QString() << QString() << u"/dev/ttyUSB0"_s << u"/dev/ttyUSB0"_s << PortSource::Settings;
        QTest::newRow("environment over settings")
            << u"Com2"_s << QString() << u"Com1=/dev/ttyUSB9; Com2=/dev/pts/5"_s << u"/dev/ttyUSB0"_s
            << u"/dev/pts/5"_s << PortSource::Environment;
        QTest::newRow("environment for another name")
            << u"Com2"_s << QString() << u"Com1=/dev/ttyUSB9"_s << QString() << u"/dev/ttyS1"_s << PortSource::Default;
        QTest::newRow("malformed environment refused")
            << u"Com2"_s << QString() << u"=;Com2;;junk"_s << QString() << QString() << PortSource::Environment;
        QTest::newRow("empty entries pass") << u"Com2"_s << QString() << u";Com2=/dev/pts/5;;"_s << QString()
                                            << u"/dev/pts/5"_s << PortSource::Environment;
        QTest::newRow("override over all")
            << u"Com2"_s << u"/dev/pts/7"_s << u"Com2=/dev/pts/5"_s << u"/dev/ttyUSB0"_s << u"/dev/pts/7"_s
            << PortSource::Override;
        QTest::newRow("device path") << u"/dev/ttyACM0"_s << QString() << QString() << QString() << u"/dev/ttyACM0"_s << PortSource::Path;
        QTest::newRow("unknown name") << u"Com9"_s << QString() << QString() << QString() << QString() << PortSource::None;
        QTest::newRow("mapped Com9") << u"Com9"_s << QString() << u"Com9=/dev/ttyUSB3"_s << QString() << u"/dev/ttyUSB3"_s << PortSource::Environment;
        QTest::newRow("empty") << QString() << QString() << QString() << QString() << QString() << PortSource::None;
        QTest::newRow("network environment")
            << u"Com3"_s << QString() << u"Com3=rfc2217://venue-7:4001"_s << QString() << u"rfc2217://venue-7:4001"_s
            << PortSource::Environment;
        QTest::newRow("network settings") << u"Com2"_s << QString() << QString() << u"tcp+tls://10.0.0.5:3001"_s
                                          << u"tcp+tls://10.0.0.5:3001"_s << PortSource::Settings;
        QTest::newRow("network name itself") << u"tcp://[::1]:4001"_s << QString() << QString() << QString()
                                             << u"tcp://[::1]:4001"_s << PortSource::Path;
        QTest::newRow("malformed network name") << u"rfc2217://venue-7"_s << QString() << QString() << QString()
                                                << QString() << PortSource::Path;
    }

    void resolution()
    {
        QFETCH(QString, name);
        QFETCH(QString, override);
        QFETCH(QString, environment);
        QFETCH(QString, setting);
        QFETCH(QString, path);
        QFETCH(PortSource, source);

        if (!override.isEmpty())
            CComPort::SetPortMapping(u"Com2"_s, override);
        if (!environment.isEmpty())
            qputenv("QUILO_PORTS", environment.toUtf8());
        if (!setting.isEmpty())
            writeSetting(u"Com2"_s, setting);

        QCOMPARE(CComPort::DevicePath(name), path);
        QCOMPARE(Quilo::PortPathSource(name), source);
    }

    // A mapping with a faulty entry is not used at all, for any name: the request would else
    // go to a default device the user did not mean. The port says why it does not open.
    void malformedMappingsAreRefused_data()
    {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("setting"); // the value of Com2 in [Ports]
        QTest::addColumn<QString>("mentions");
        QTest::newRow("no path") << u"Com2="_s << QString() << u"Com2="_s;
        QTest::newRow("not a path") << u"Com2=ttyUSB0"_s << QString() << u"Com2=ttyUSB0"_s;
        QTest::newRow("misspelt name") << u"Cmo2=/dev/ttyUSB0"_s << QString() << u"Cmo2"_s;
        QTest::newRow("garbage") << u"garbage"_s << QString() << u"garbage"_s;
        QTest::newRow("twice") << u"Com2=/dev/a;com2=/dev/b"_s << QString() << u"twice"_s;
        QTest::newRow("another name's entry") << u"Com1=;Com2=/dev/pts/5"_s << QString() << u"Com1="_s;
        QTest::newRow("settings file") << QString() << u"ttyUSB0"_s << u"[Ports]"_s;
        QTest::newRow("unknown scheme") << u"Com2=telnet://venue:23"_s << QString() << u"telnet"_s;
        QTest::newRow("network without port") << u"Com2=tcp://venue-7"_s << QString() << u"tcp://venue-7"_s;
    }

    void malformedMappingsAreRefused()
    {
        QFETCH(QString, environment);
        QFETCH(QString, setting);
        QFETCH(QString, mentions);
        if (!environment.isEmpty())
            qputenv("QUILO_PORTS", environment.toUtf8());
        if (!setting.isEmpty())
            writeSetting(u"Com2"_s, setting);
        QCOMPARE(CComPort::DevicePath(u"Com2"_s), QString());
        const QString why = Quilo::PortMappingError(u"Com2"_s);
        QVERIFY2(why.contains(mentions), qPrintable(why));
        CComPort port(u"Com2"_s);
        QCOMPARE(port.Open(), 0);
        QCOMPARE(port.LastError().message, why);
        QVERIFY(Quilo::PortMappingError(u"/dev/ttyS1"_s).isEmpty()); // a path needs no mapping
    }

    void overrideCanBeRemoved()
    {
        CComPort::SetPortMapping(u"com3"_s, u"/dev/pts/9"_s);
        QCOMPARE(CComPort::DevicePath(u"Com3"_s), u"/dev/pts/9"_s);
        CComPort::SetPortMapping(u"Com3"_s, QString());
        QCOMPARE(CComPort::DevicePath(u"Com3"_s), u"/dev/ttyS2"_s);
    }
};

QTEST_GUILESS_MAIN(TestPortNames)
#include "tst_portnames.moc"
