// quilo-sim: a simulated Quilo unit on a pseudo-terminal or a serial device, until SIGINT/SIGTERM.

#include "faults.h"
#include "simulatedunit.h"
#include "statejson.h"
#include "unitgenerator.h"
#include "translation.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <optional>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "quilo-sim: %s\n", qPrintable(message));
    return 2;
}

std::optional<QuiloSim::Key> parseKey(const QString &text)
{
    QString digits = text;
    digits.remove(QLatin1Char(' ')).remove(QLatin1Char('-')).remove(QLatin1Char(':'));
    const QByteArray raw = QByteArray::fromHex(digits.toLatin1());
    if (digits.size() != 16 || raw.size() != 8 || raw.toHex() != digits.toLower().toLatin1())
        return std::nullopt;
    QuiloSim::Key key{};
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<std::uint8_t>(raw[static_cast<qsizetype>(i)]);
    return key;
}

// The options, their descriptions in the language chosen: made after the translation is in.
struct SimOptions
{
    const QCommandLineOption lang{QStringLiteral("lang"),
                                  QCoreApplication::translate("quilo-sim", "Speak LANGUAGE: en or hu (default: the locale's)."),
                                  QStringLiteral("LANGUAGE")};
    const QCommandLineOption seed{QStringLiteral("seed"), QCoreApplication::translate("quilo-sim", "Generate the unit from seed N."),
                                  QStringLiteral("N"), QStringLiteral("1")};
    const QCommandLineOption stateFile{QStringLiteral("state"),
                                       QCoreApplication::translate("quilo-sim", "Load the unit from a JSON file."),
                                       QStringLiteral("FILE")};
    const QCommandLineOption saveState{QStringLiteral("save-state"),
                                       QCoreApplication::translate("quilo-sim", "Save the unit to a JSON file on exit."),
                                       QStringLiteral("FILE")};
    const QCommandLineOption key{QStringLiteral("key"),
                                 QCoreApplication::translate("quilo-sim", "Key mode: require this 8-byte user key (16 hex digits)."),
                                 QStringLiteral("HEX")};
    const QCommandLineOption pace{QStringLiteral("pace"),
                                  QCoreApplication::translate("quilo-sim", "Emulate 9600-baud wire time (default on a pseudo-terminal).")};
    const QCommandLineOption noPace{QStringLiteral("no-pace"), QCoreApplication::translate("quilo-sim", "Answer at once.")};
    const QCommandLineOption turnaround{QStringLiteral("turnaround"),
                                        QCoreApplication::translate("quilo-sim", "Wait MS before each answer."),
                                        QStringLiteral("MS"), QStringLiteral("0")};
    const QCommandLineOption adapterLatency{
        QStringLiteral("adapter-latency"),
        QCoreApplication::translate("quilo-sim", "Answer in bursts every MS ms, as through a USB adapter with that latency timer."),
        QStringLiteral("MS"), QStringLiteral("0")};
    const QCommandLineOption fault{QStringLiteral("fault"), QCoreApplication::translate("quilo-sim", "Inject a fault (repeatable)."),
                                   QStringLiteral("SPEC")};
    const QCommandLineOption log{QStringLiteral("log"),
                                 QCoreApplication::translate("quilo-sim", "Log the traffic to FILE (- for standard error)."),
                                 QStringLiteral("FILE")};
    const QCommandLineOption link{QStringLiteral("link"),
                                  QCoreApplication::translate("quilo-sim", "Also reach the pseudo-terminal at PATH (a symbolic link)."),
                                  QStringLiteral("PATH")};
    const QCommandLineOption device{QStringLiteral("device"),
                                    QCoreApplication::translate("quilo-sim", "Serve a serial device (9600 8N1) instead of a pseudo-terminal."),
                                    QStringLiteral("DEV")};
};

// Describes the program and its options to `parser`.
void describe(QCommandLineParser &parser, const SimOptions &opt)
{
    // Words for people in the language chosen; option names, value names and the fault syntax
    // stay as they are typed.
    parser.setApplicationDescription(QCoreApplication::translate("quilo-sim",
        "A simulated Quilo unit. Prints the serial line to open (the pseudo-terminal's slave path)\n"
        "and answers the unit's commands until SIGINT or SIGTERM.\n"
        "Fault SPEC: TARGET=KIND[:N][,once]; TARGET any|CMD|CMD:PARAM; KIND silent, two,\n"
        "length[:D], checksum, late:MS, garbage[:N], refuse, gap:MS, drop[:N]."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(opt.lang);
    parser.addOptions({opt.seed, opt.stateFile, opt.saveState, opt.key, opt.pace, opt.noPace, opt.turnaround,
                       opt.adapterLatency, opt.fault, opt.log, opt.link, opt.device});
}

// The unit to simulate: loaded from its file or generated from the seed, with the key asked
// for. Nothing, with the message in *error, when the options do not make one.
std::optional<QuiloSim::UnitState> makeState(const QCommandLineParser &parser, const SimOptions &opt, QString *error)
{
    QuiloSim::UnitState state;
    if (parser.isSet(opt.stateFile)) {
        if (!QuiloSim::loadStateFile(parser.value(opt.stateFile), state, error)) {
            *error = parser.value(opt.stateFile) + QStringLiteral(": ") + *error;
            return std::nullopt;
        }
    } else {
        bool ok = false;
        const uint n = parser.value(opt.seed).toUInt(&ok);
        if (!ok) {
            *error = QCoreApplication::translate("quilo-sim", "--seed needs a number");
            return std::nullopt;
        }
        state = QuiloSim::generateState(n);
    }
    if (parser.isSet(opt.key)) {
        const auto userKey = parseKey(parser.value(opt.key));
        if (!userKey) {
            *error = QCoreApplication::translate("quilo-sim", "--key needs 16 hexadecimal digits");
            return std::nullopt;
        }
        state.userKey = userKey;
    }
    return state;
}

// The line's timing, the faults and the traffic log as the options ask. False, with the
// message in *error, for an option the unit cannot take.
bool configure(QuiloSim::CSimulatedUnit &unit, const QCommandLineParser &parser, const SimOptions &opt, QString *error)
{
    bool ok = false;
    const int turnaroundMs = parser.value(opt.turnaround).toInt(&ok);
    if (!ok || turnaroundMs < 0) {
        *error = QCoreApplication::translate("quilo-sim", "--turnaround needs a number of milliseconds");
        return false;
    }
    const int adapterLatencyMs = parser.value(opt.adapterLatency).toInt(&ok);
    if (!ok || adapterLatencyMs < 0 || adapterLatencyMs > 255) {
        *error = QCoreApplication::translate("quilo-sim", "--adapter-latency needs a number of milliseconds from 0 to 255");
        return false;
    }
    for (const QString &faultText : parser.values(opt.fault)) {
        const auto f = QuiloSim::parseFault(faultText, error);
        if (!f)
            return false;
        unit.addFault(*f);
    }
    // A real device has its own wire time; a pseudo-terminal has none.
    unit.setPacing(parser.isSet(opt.pace) || (!parser.isSet(opt.noPace) && !parser.isSet(opt.device)));
    unit.setTurnaroundMs(turnaroundMs);
    unit.setAdapterLatencyMs(adapterLatencyMs);
    unit.setDevice(parser.value(opt.device));
    unit.setLinkPath(parser.value(opt.link));
    if (parser.isSet(opt.log) && !unit.setLogFile(parser.value(opt.log), error)) {
        *error = parser.value(opt.log) + QStringLiteral(": ") + *error;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Blocked before any thread starts, so that only sigwait() below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quilo-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILO_PROGRAM_VERSION));
    // before the parser says anything, in that language
    Quilo::InstallTranslation(Quilo::LanguageArgument(QCoreApplication::arguments()));
    QCommandLineParser parser;
    const SimOptions opt;
    describe(parser, opt);
    parser.process(app);

    QString error;
    const std::optional<QuiloSim::UnitState> state = makeState(parser, opt, &error);
    if (!state)
        return fail(error);
    QuiloSim::CSimulatedUnit unit(*state);
    if (!configure(unit, parser, opt, &error))
        return fail(error);
    if (!unit.start(&error))
        return fail(error);
    std::printf("%s\n", qPrintable(unit.slavePath()));
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    unit.stop();
    if (parser.isSet(opt.saveState) && !QuiloSim::saveStateFile(unit.state(), parser.value(opt.saveState), &error))
        return fail(parser.value(opt.saveState) + QStringLiteral(": ") + error);
    return 0;
}
