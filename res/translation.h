#pragma once
// The language the program speaks. English is the source language and needs nothing; Hungarian
// comes from Qt Linguist's compiled translation built into the program. The language follows
// the locale (LANG=hu_HU.UTF-8) unless --lang names one. Only words change: values keep the
// unit's formats, and what other programs read (JSON, .quilo files, exit statuses) stays as it is.

#include <QString>
#include <QStringList>

class QTranslator;

namespace Quilo {

// "hu" or "en" for a request such as "hu", "hu_HU.UTF-8", "en_US", "C"; empty: the locale's.
QString ChooseLanguage(const QString &requested);

// Installs the translations for `requested` (see ChooseLanguage) into the running application,
// the program's own and Qt's (dialog buttons), and makes it the default locale for texts.
// Returns the language now spoken. Call once, after the application object exists.
QString InstallTranslation(const QString &requested = QString());

// The language installed: "en" until InstallTranslation chose another.
QString CurrentLanguage();

// The value of --lang LANG or --lang=LANG among raw arguments, before any parser runs (so that
// the parser's own messages are in that language); empty without one.
QString LanguageArgument(const QStringList &arguments);

// The program's translation into `language` ("hu"), loaded once and kept for the whole run, for
// a ThreadLanguage (stringtable.h); null for English, the table's own language.
const QTranslator *ProgramTranslator(const QString &language);

// The languages the program speaks, for --help and completion.
QStringList Languages();

} // namespace Quilo
