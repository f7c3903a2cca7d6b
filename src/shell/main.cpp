// Quilo ReadOut: the window. With --simulate it talks to a simulated unit of its own on Com2.

#include "comport.h"
#include "historylocation.h"
#include "mainframe.h"
#include "messagebox.h"
#include "screenshots.h"
#include "simulatedunit.h"
#include "stringtable.h"
#include "tarvelapp.h"
#include "translation.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <optional>

namespace {

struct CommandLine
{
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    // the descriptions in the language chosen (Qt Linguist's context "quilo-readout")
    QCommandLineOption simulate{QStringLiteral("simulate"),
                                QCoreApplication::translate("quilo-readout", "Talk to a built-in simulated unit on Com2.")};
    QCommandLineOption simPace{
        QStringLiteral("sim-pace"),
        QCoreApplication::translate("quilo-readout",
                                    "With --simulate: the unit thinks MS milliseconds before each reply, to watch a slow read."),
        QStringLiteral("MS")};
    QCommandLineOption lang{QStringLiteral("lang"),
                            QCoreApplication::translate("quilo-readout", "Speak LANGUAGE: en or hu (default: the locale's)."),
                            QStringLiteral("LANGUAGE")};
    QCommandLineOption screenshots{
        QStringLiteral("screenshots"),
        QCoreApplication::translate("quilo-readout", "Save a picture of every view into <dir>, then quit."),
        QStringLiteral("dir")};

    CommandLine()
    {
        parser.setApplicationDescription(LoadString(Str::ProductName));
        screenshots.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(simulate);
        parser.addOption(simPace);
        parser.addOption(lang);
        parser.addOption(screenshots);
        parser.addPositionalArgument(
            QStringLiteral("file"),
            QCoreApplication::translate("quilo-readout", "A saved read-out (.quilo) to show instead of the unit."));
    }
};

// --help and --version speak as the installed program, not under the settings' names.
void setUpCommandLineIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("quilo-readout"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILO_PROGRAM_VERSION));
}

bool asksFor(const QStringList &arguments, std::initializer_list<const char *> names)
{
    for (const QString &a : arguments) {
        if (a == QLatin1String("--"))
            return false;
        for (const char *name : names)
            if (a == QLatin1String(name))
                return true;
    }
    return false;
}

// --sim-pace in milliseconds, with the same bounds as quilo's; nullopt (and said) when it is not one.
std::optional<int> simPace(const CommandLine &commandLine)
{
    const QCommandLineParser &parser = commandLine.parser;
    if (!parser.isSet(commandLine.simPace))
        return 0;
    bool ok = false;
    const int paceMs = parser.value(commandLine.simPace).toInt(&ok);
    if (ok && paceMs >= 0 && paceMs <= 10000)
        return paceMs;
    QTextStream(stderr) << "quilo-readout: " << LoadString(Str::CliErrPace).arg(parser.value(commandLine.simPace)) << '\n';
    return std::nullopt;
}

// The built-in unit behind Com2, paced at the wire's speed so that a transfer looks like one
// with a real unit; false (and said) when it does not start.
bool startSimulatedUnit(QuiloSim::CSimulatedUnit &unit, int paceMs)
{
    unit.setPacing(true);
    unit.setTurnaroundMs(paceMs);
    QString error;
    if (!unit.start(&error)) {
        QTextStream(stderr) << "quilo-readout: "
                            << QCoreApplication::translate("quilo-readout", "the simulated unit did not start: %1").arg(error)
                            << '\n';
        return false;
    }
    CComPort::SetPortMapping(LoadString(Str::PortCom2), unit.slavePath());
    return true;
}

// Unattended pictures: a message box (say, a missing start page) must not wait for a person,
// and the visits the pictures make go to a history of their own, not the user's.
void prepareForPictures(const QTemporaryDir &pictureHistory)
{
    if (qEnvironmentVariableIsEmpty(Quilo::kHistoryEnvironment) && pictureHistory.isValid())
        qputenv(Quilo::kHistoryEnvironment, QFile::encodeName(pictureHistory.filePath(QStringLiteral("history.sqlite"))));
    Quilo::setMessageHook([](const Quilo::MessageRequest &request) {
        QTextStream(stderr) << "quilo-readout: " << request.text << '\n';
        return QMessageBox::Ok;
    });
}

// The pictures of the window into `folder`; the exit status.
int takePictures(CTarvelApp &app, QuiloSim::CSimulatedUnit &unit, const QString &folder)
{
    // A week of play between the history's two visits, so that they differ as visits do.
    const auto playOn = [&unit] {
        QuiloSim::UnitState state = unit.state();
        state.counters.cashIn += 48200;
        state.counters.cashOut += 31650;
        state.counters.stake += 96400;
        state.counters.win += 79850;
        state.counters.games += 3856;
        unit.setState(state);
    };
    const auto setFaults = [&unit](const QStringList &faults) {
        unit.clearFaults();
        for (const QString &f : faults)
            if (const auto fault = QuiloSim::parseFault(f))
                unit.addFault(*fault);
    };
    const int n = Quilo::takeScreenshots(*app.mainFrame(), folder, playOn, setFaults);
    QTextStream(stdout) << QCoreApplication::translate("quilo-readout", "%1 screenshots in %2").arg(n).arg(folder) << '\n';
    return n > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString language = Quilo::LanguageArgument(arguments);

    // --help and --version answer without a display (over ssh, or when the manual page is made
    // from them): they are looked at before the window's application needs one.
    if (asksFor(arguments, {"-h", "--help", "-?", "-v", "--version"})) {
        QCoreApplication core(argc, argv);
        setUpCommandLineIdentity();
        Quilo::InstallTranslation(language);
        CommandLine early;
        early.parser.process(core);
    }

    QApplication application(argc, argv);
    setUpCommandLineIdentity();
    Quilo::InstallTranslation(language);
    CommandLine commandLine;
    QCommandLineParser &parser = commandLine.parser;
    parser.process(application);
    Quilo::setUpApplicationIdentity();

    const std::optional<int> paceMs = simPace(commandLine);
    if (!paceMs)
        return 1; // as the parser ends on an option it does not know
    QuiloSim::CSimulatedUnit unit;
    if (parser.isSet(commandLine.simulate) && !startSimulatedUnit(unit, *paceMs))
        return 1;
    QTemporaryDir pictureHistory;
    const bool pictures = parser.isSet(commandLine.screenshots);
    if (pictures)
        prepareForPictures(pictureHistory);

    int result = 0;
    {
        CTarvelApp app;
        if (!app.InitInstance(parser.positionalArguments()))
            return 1;
        result = pictures ? takePictures(app, unit, parser.value(commandLine.screenshots)) : QApplication::exec();
    }
    unit.stop();
    return result;
}
