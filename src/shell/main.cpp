// Quilo ReadOut: the window. With --simulate it talks to a simulated unit of its own on Com2.

#include "comport.h"
#include "mainframe.h"
#include "messagebox.h"
#include "screenshots.h"
#include "simulatedunit.h"
#include "stringtable.h"
#include "tarvelapp.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

namespace {

struct CommandLine
{
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption simulate{QStringLiteral("simulate"), QStringLiteral("Talk to a built-in simulated unit on Com2.")};
    QCommandLineOption screenshots{QStringLiteral("screenshots"),
                                   QStringLiteral("Save a picture of every view into <dir>, then quit."),
                                   QStringLiteral("dir")};

    CommandLine()
    {
        parser.setApplicationDescription(LoadString(Str::ProductName));
        screenshots.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(simulate);
        parser.addOption(screenshots);
        parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A saved read-out (.quilo) to show instead of the unit."));
    }
};

// --help and --version speak as the installed program, not under the settings' names.
void setUpCommandLineIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("quilo-readout"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILO_PROGRAM_VERSION));
}

} // namespace

int main(int argc, char *argv[])
{
    // --help and --version answer without a display (over ssh, or when the manual page is made
    // from them): they are looked at before the window's application needs one. Anything the
    // parser does not know here (Qt's own -platform ...) is left to the window's parser below.
    {
        setUpCommandLineIdentity();
        CommandLine early;
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        if (early.parser.parse(arguments) && (early.parser.isSet(early.help) || early.parser.isSet(early.version))) {
            QCoreApplication core(argc, argv);
            setUpCommandLineIdentity();
            if (early.parser.isSet(early.help))
                early.parser.showHelp(0);
            early.parser.showVersion();
        }
    }

    QApplication application(argc, argv);
    setUpCommandLineIdentity();
    CommandLine commandLine;
    QCommandLineParser &parser = commandLine.parser;
    const QCommandLineOption &simulate = commandLine.simulate;
    const QCommandLineOption &screenshots = commandLine.screenshots;
    parser.process(application);
    Quilo::setUpApplicationIdentity();

    QuiloSim::CSimulatedUnit unit;
    if (parser.isSet(simulate)) {
        unit.setPacing(true); // wire time, so the transfer looks like one with a real unit
        QString error;
        if (!unit.start(&error)) {
            QTextStream(stderr) << "quilo-readout: the simulated unit did not start: " << error << '\n';
            return 1;
        }
        CComPort::SetPortMapping(LoadString(Str::PortCom2), unit.slavePath());
    }

    // Unattended pictures: a message box (say, a missing start page) must not wait for a person.
    if (parser.isSet(screenshots)) {
        Quilo::setMessageHook([](const Quilo::MessageRequest &request) {
            QTextStream(stderr) << "quilo-readout: " << request.text << '\n';
            return QMessageBox::Ok;
        });
    }

    int result = 0;
    {
        CTarvelApp app;
        if (!app.InitInstance(parser.positionalArguments()))
            return 1;
        if (parser.isSet(screenshots)) {
            const int n = Quilo::takeScreenshots(*app.mainFrame(), parser.value(screenshots));
            QTextStream(stdout) << n << " screenshots in " << parser.value(screenshots) << '\n';
            result = n > 0 ? 0 : 1;
        } else {
            result = QApplication::exec();
        }
    }
    unit.stop();
    return result;
}
