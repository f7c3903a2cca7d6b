#include "clioutput.h"

#include "formatters.h"
#include "stringtable.h"

#include <algorithm>

namespace QuiloCli {

QString InertLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = Quilo::InertText(line);
    return lines.join(QLatin1Char('\n'));
}

void Say(const CCliStreams &io, const QString &message)
{
    Tell(io, QStringLiteral("quilo: ") + message);
}

void Tell(const CCliStreams &io, const QString &message)
{
    io.err->write((InertLines(message) + QLatin1Char('\n')).toUtf8());
}

bool WriteOut(const CCliStreams &io, const QByteArray &data)
{
    // A device may take part of a write (a pipe whose reader left, a disk that filled up):
    // the rest is offered again, and only a write that takes nothing ends it with its reason.
    qint64 written = 0;
    QString reason;
    while (written < data.size()) {
        const qint64 n = io.out->write(data.constData() + written, data.size() - written);
        if (n <= 0) {
            reason = io.out->errorString();
            break;
        }
        written += n;
    }
    if (written == data.size())
        return true;
    Say(io, LoadString(Str::CliErrStdout).arg(written).arg(data.size()).arg(reason));
    return false;
}

QString AlignedRows(const QList<QStringList> &rows, const QString &indent)
{
    QList<qsizetype> widths;
    for (const QStringList &r : rows)
        for (qsizetype c = 0; c < r.size(); ++c) {
            if (widths.size() <= c)
                widths << 0;
            widths[c] = std::max(widths[c], r.at(c).size());
        }
    QString out;
    for (const QStringList &r : rows) {
        QString line = indent;
        for (qsizetype c = 0; c < r.size(); ++c)
            line += r.at(c).leftJustified(c + 1 < r.size() ? widths.at(c) + 2 : 0);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out += line + QLatin1Char('\n');
    }
    return out;
}

} // namespace QuiloCli
