#include "translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Quilo {

namespace {

QString g_language = QStringLiteral("en");

// Qt's own Hungarian lacks the help option's words that every program's --help shows; the
// program's translation carries them under Qt's context, where Qt looks them up.
[[maybe_unused]] constexpr const char *kQtTextsMissing[] = {
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help on commandline options."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help including Qt specific options."),
};

} // namespace

QStringList Languages()
{
    return {QStringLiteral("en"), QStringLiteral("hu")};
}

QString ChooseLanguage(const QString &requested)
{
    QString name = requested.trimmed();
    if (name.isEmpty())
        name = QLocale::system().name(); // LANG, LC_ALL, LC_MESSAGES as the system reads them
    name = name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
    return Languages().contains(name) ? name : QStringLiteral("en");
}

QString InstallTranslation(const QString &requested)
{
    const QString language = ChooseLanguage(requested);
    g_language = language;
    // numbers and dates as the language writes them, whatever the locale: --lang en is for
    // scripts that want English throughout
    QLocale::setDefault(QLocale(language == QLatin1String("hu") ? QLocale::Hungarian : QLocale::English,
                                language == QLatin1String("hu") ? QLocale::Hungary : QLocale::UnitedStates));
    if (language == QLatin1String("en"))
        return language;
    // kept for the whole run: an application holds translators by pointer
    static QTranslator program;
    static QTranslator qt;
    if (program.load(QStringLiteral(":/i18n/quilo_%1.qm").arg(language)))
        QCoreApplication::installTranslator(&program);
    if (qt.load(QStringLiteral("qtbase_%1").arg(language), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
    return language;
}

const QTranslator *ProgramTranslator(const QString &language)
{
    if (language != QLatin1String("hu"))
        return nullptr;
    // made once, on whichever thread asks first; only read after that
    static const QTranslator *const hungarian = [] {
        auto *t = new QTranslator;
        if (!t->load(QStringLiteral(":/i18n/quilo_hu.qm"))) {
            delete t;
            return static_cast<QTranslator *>(nullptr);
        }
        return t;
    }();
    return hungarian;
}

QString CurrentLanguage()
{
    return g_language;
}

QString LanguageArgument(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--"))
            break;
        if ((a == QLatin1String("--lang") || a == QLatin1String("-lang")) && i + 1 < arguments.size())
            return arguments.at(i + 1);
        if (a.startsWith(QLatin1String("--lang=")))
            return a.mid(7);
    }
    return QString();
}

} // namespace Quilo
