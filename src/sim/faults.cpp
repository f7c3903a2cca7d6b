#include "faults.h"

#include <QCoreApplication>
#include <QStringList>

namespace QuiloSim {
namespace {

struct KindName {
    FaultKind kind;
    const char *name;
    bool needsArg;
    int defaultArg;
};

constexpr KindName kKinds[] = {
    {FaultKind::Silent, "silent", false, 0},   {FaultKind::TwoBytes, "two", false, 0},
    {FaultKind::Length, "length", false, -1},  {FaultKind::Checksum, "checksum", false, 0},
    {FaultKind::Late, "late", true, 0},        {FaultKind::Garbage, "garbage", false, 0},
    {FaultKind::Refuse, "refuse", false, 0},   {FaultKind::Gap, "gap", true, 0},
    {FaultKind::Drop, "drop", false, 0},
};

const KindName *kindNamed(const QString &name)
{
    for (const KindName &k : kKinds)
        if (name == QLatin1String(k.name))
            return &k;
    return nullptr;
}

const KindName &kindOf(FaultKind kind)
{
    for (const KindName &k : kKinds)
        if (k.kind == kind)
            return k;
    return kKinds[0];
}

std::optional<int> number(const QString &text, int low, int high)
{
    bool ok = false;
    const int v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toInt(&ok, 16)
                                                                            : text.toInt(&ok, 10);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

std::optional<Fault> failed(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return std::nullopt;
}

} // namespace

bool Fault::matches(std::uint8_t cmd, std::uint8_t prm) const
{
    return (command < 0 || command == cmd) && (param < 0 || param == prm);
}

bool Fault::changesNothing() const
{
    return kind == FaultKind::Silent || kind == FaultKind::Refuse || kind == FaultKind::Drop;
}

std::optional<Fault> parseFault(const QString &faultText, QString *error)
{
    const qsizetype eq = faultText.indexOf(QLatin1Char('='));
    if (eq < 0)
        return failed(error, QCoreApplication::translate("quilo-sim", "expected TARGET=KIND in \"%1\"").arg(faultText));
    Fault f;
    const QStringList target = faultText.left(eq).trimmed().split(QLatin1Char(':'));
    if (target.value(0) != QLatin1String("any")) {
        const auto cmd = number(target.value(0), 0, 255);
        if (!cmd)
            return failed(error, QCoreApplication::translate("quilo-sim", "bad command in \"%1\"").arg(faultText));
        f.command = *cmd;
    }
    if (target.size() > 2)
        return failed(error, QCoreApplication::translate("quilo-sim", "bad target in \"%1\"").arg(faultText));
    if (target.size() == 2) {
        const auto prm = number(target[1], 0, 255);
        if (!prm)
            return failed(error, QCoreApplication::translate("quilo-sim", "bad parameter in \"%1\"").arg(faultText));
        f.param = *prm;
    }
    QStringList what = faultText.mid(eq + 1).trimmed().split(QLatin1Char(','));
    if (what.size() > 2 || (what.size() == 2 && what[1] != QLatin1String("once")))
        return failed(error, QCoreApplication::translate("quilo-sim", "only \",once\" may follow the kind in \"%1\"").arg(faultText));
    f.once = what.size() == 2;
    const QStringList kindArg = what[0].split(QLatin1Char(':'));
    const KindName *kind = kindNamed(kindArg[0]);
    if (!kind || kindArg.size() > 2 || (kind->needsArg && kindArg.size() < 2))
        return failed(error, QCoreApplication::translate("quilo-sim", "bad fault kind in \"%1\"").arg(faultText));
    f.kind = kind->kind;
    f.arg = kind->defaultArg;
    if (kindArg.size() == 2) {
        const bool signedArg = f.kind == FaultKind::Length;
        const auto arg = number(kindArg[1], signedArg ? -255 : 0, signedArg ? 255 : 600000);
        if (!arg)
            return failed(error, QCoreApplication::translate("quilo-sim", "bad number in \"%1\"").arg(faultText));
        f.arg = *arg;
    }
    return f;
}

QString faultToString(const Fault &fault)
{
    QString text = fault.command < 0 ? QStringLiteral("any") : QString::number(fault.command);
    if (fault.param >= 0)
        text += QLatin1Char(':') + QString::number(fault.param);
    text += QLatin1Char('=') + QLatin1String(kindOf(fault.kind).name);
    if (kindOf(fault.kind).needsArg || fault.arg != kindOf(fault.kind).defaultArg)
        text += QLatin1Char(':') + QString::number(fault.arg);
    if (fault.once)
        text += QStringLiteral(",once");
    return text;
}

Transmission applyFault(const std::optional<Fault> &fault, const QByteArray &answer, std::uint8_t command,
                        std::uint8_t param, std::mt19937 &random)
{
    Transmission t;
    t.bytes = answer;
    if (!fault)
        return t;
    switch (fault->kind) {
    case FaultKind::Silent:
        t.bytes.clear();
        break;
    case FaultKind::TwoBytes:
        t.bytes = QByteArray(1, static_cast<char>(command)) + static_cast<char>(param);
        break;
    case FaultKind::Length:
        if (fault->arg < 0)
            t.bytes.chop(std::min<qsizetype>(-fault->arg, t.bytes.size()));
        for (int i = 0; i < fault->arg; ++i)
            t.bytes.append(static_cast<char>(random() & 0xFF));
        break;
    case FaultKind::Checksum:
        if (t.bytes.size() >= 2)
            t.bytes[t.bytes.size() - 2] = static_cast<char>(t.bytes[t.bytes.size() - 2] + 1);
        break;
    case FaultKind::Late:
        t.delayMs = fault->arg;
        break;
    case FaultKind::Garbage: {
        const qsizetype n = fault->arg > 0 ? fault->arg : std::max<qsizetype>(answer.size(), 2);
        t.bytes.resize(n);
        for (char &c : t.bytes)
            c = static_cast<char>(random() & 0xFF);
        break;
    }
    case FaultKind::Refuse:
        t.bytes = QByteArray(1, static_cast<char>(~command & 0xFF)) + static_cast<char>(~param & 0xFF);
        break;
    case FaultKind::Gap:
        t.gapAfter = static_cast<int>(t.bytes.size() / 2) - 1;
        t.gapMs = fault->arg;
        break;
    case FaultKind::Drop:
        t.bytes.clear();
        t.dropLine = true;
        break;
    }
    return t;
}

void CFaultTable::add(const Fault &fault)
{
    m_faults.append(fault);
    m_seen.append(0);
}

void CFaultTable::clear()
{
    m_faults.clear();
    m_seen.clear();
}

std::optional<Fault> CFaultTable::take(std::uint8_t command, std::uint8_t param)
{
    int best = -1;
    int bestRank = -1;
    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        const Fault &f = m_faults[i];
        if (!f.matches(command, param))
            continue;
        const int rank = (f.command >= 0 ? 2 : 0) + (f.param >= 0 ? 1 : 0);
        if (rank > bestRank) {
            best = static_cast<int>(i);
            bestRank = rank;
        }
    }
    if (best < 0)
        return std::nullopt;
    const Fault f = m_faults[best];
    if (f.kind == FaultKind::Drop && m_seen[best]++ < f.arg)
        return std::nullopt; // still answering normally
    if (f.once) {
        m_faults.removeAt(best);
        m_seen.removeAt(best);
    }
    return f;
}

} // namespace QuiloSim
