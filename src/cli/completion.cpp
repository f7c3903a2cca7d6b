#include "completion.h"

#include "translation.h"

#include "cliargs.h"
#include "datasets.h"
#include "datasettable.h"
#include "serialports.h"

namespace QuiloCli {

namespace {

QStringList groupNames(const Quilo::DataSetInfo &set)
{
    QStringList names;
    for (const Quilo::KeyGroup &group : set.groups)
        names << QLatin1String(group.name);
    return names;
}

QStringList portNames()
{
    QStringList names;
    for (int i = 1; i <= 4; ++i)
        names << QStringLiteral("Com%1").arg(i);
    for (const CSerialPortEntry &port : ListSerialPorts())
        names << port.devicePath << port.stableNames;
    return names;
}

// What a word of kind `kind` may be; `previous` is the positional word before it (the data set
// whose group or event number comes next).
QStringList wordsOfKind(WordKind kind, const QString &previous)
{
    switch (kind) {
    case WordKind::Set:
        return SetNames();
    case WordKind::SetArgument: {
        const Quilo::DataSetInfo *set = Quilo::FindDataSet(previous);
        if (!set)
            return {};
        if (!set->groups.empty())
            return groupNames(*set);
        if (set->id != Quilo::dsConfEvents)
            return {};
        QStringList events{QStringLiteral("all")};
        for (unsigned e = 1; e <= set->records; ++e)
            events << QString::number(e);
        return events;
    }
    case WordKind::KeyGroup:
        return groupNames(*Quilo::FindDataSet(Quilo::dsKeyTable));
    case WordKind::Port:
        return portNames();
    case WordKind::Format:
        return FormatNames();
    case WordKind::Language:
        return Quilo::Languages();
    case WordKind::Separator:
        // Quoted as the shell needs it: a bare ';' would end the command.
        return {QStringLiteral("tab"), QStringLiteral(","), QStringLiteral("';'")};
    case WordKind::File:
        return {QLatin1String(kCompleteFiles)};
    case WordKind::ClockNow:
        return {QStringLiteral("now")};
    case WordKind::Free:
        break;
    }
    return {};
}

QStringList startingWith(const QStringList &candidates, const QString &current)
{
    QStringList matching;
    for (const QString &candidate : candidates)
        if (candidate == QLatin1String(kCompleteFiles) || candidate.startsWith(current, Qt::CaseInsensitive))
            matching << candidate;
    matching.removeDuplicates();
    return matching;
}

const OptionInfo *findOption(const QList<OptionInfo> &options, QString word)
{
    while (word.startsWith(QLatin1Char('-')))
        word.remove(0, 1);
    word = word.section(QLatin1Char('='), 0, 0);
    for (const OptionInfo &option : options)
        if (option.names.contains(word))
            return &option;
    return nullptr;
}

} // namespace

QStringList CompletionCandidates(const QStringList &words)
{
    const QString current = words.isEmpty() ? QString() : words.last();
    const QList<OptionInfo> options = Options();

    // Walk the words before the current one as the parser would: options (and the value of
    // those that take one) apart, the rest positional.
    QStringList positional;
    const OptionInfo *awaitingValue = nullptr;
    bool optionsEnded = false;
    for (qsizetype i = 0; i + 1 < words.size(); ++i) {
        const QString &word = words.at(i);
        if (awaitingValue) {
            // Without bash-completion's helpers the shell splits "--port=Com1" at the '='.
            if (word != QLatin1String("="))
                awaitingValue = nullptr;
            continue;
        }
        if (!optionsEnded && word == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && word.size() > 1 && word.startsWith(QLatin1Char('-'))) {
            const OptionInfo *option = findOption(options, word);
            if (option && option->takesValue && !word.contains(QLatin1Char('=')))
                awaitingValue = option;
        } else {
            positional << word;
        }
    }
    if (awaitingValue)
        return startingWith(wordsOfKind(awaitingValue->value, positional.value(positional.size() - 1)), current);

    if (!optionsEnded && current.startsWith(QLatin1Char('-'))) {
        QStringList names;
        for (const OptionInfo &option : options)
            for (const QString &name : option.names)
                names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        return startingWith(names, current);
    }

    if (positional.isEmpty()) {
        QStringList names;
        for (const CommandInfo &command : Commands())
            names << QLatin1String(command.name);
        // front ends of their own, which quilo's main hands their words before this parser runs
        names << QStringLiteral("collect") << QStringLiteral("serve");
        return startingWith(names, current);
    }
    const CommandInfo *command = FindCommand(positional.first());
    const qsizetype index = positional.size() - 1;
    if (!command || index >= static_cast<qsizetype>(command->words.size()))
        return {};
    return startingWith(wordsOfKind(command->words[static_cast<std::size_t>(index)], positional.last()), current);
}

} // namespace QuiloCli
