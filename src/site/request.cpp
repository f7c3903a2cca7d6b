#include "request.h"

#include "translation.h"

#include <QStringList>

namespace Quilo::Site {

QString BrowserLanguage(const QString &acceptLanguage)
{
    QString best = QStringLiteral("en");
    double bestWeight = -1;
    const QStringList spoken = Languages();
    // A header of thousands of entries is someone's test, not a browser: the first 32 decide.
    const QStringList items = acceptLanguage.left(4096).split(QLatin1Char(','));
    for (qsizetype i = 0; i < items.size() && i < 32; ++i) {
        const QStringList parts = items.at(i).split(QLatin1Char(';'));
        const QString tag = parts.first().trimmed().section(QLatin1Char('-'), 0, 0).toLower();
        double weight = 1;
        for (qsizetype p = 1; p < parts.size(); ++p) {
            const QString param = parts.at(p).trimmed();
            if (param.startsWith(QLatin1String("q="))) {
                bool ok = false;
                weight = param.mid(2).toDouble(&ok);
                if (!ok || weight < 0 || weight > 1)
                    weight = 0;
            }
        }
        if (weight > 0 && weight > bestWeight && spoken.contains(tag)) {
            best = tag;
            bestWeight = weight;
        }
    }
    return best;
}

QString CookieValue(const QString &cookieHeader, const QString &name)
{
    for (const QString &item : cookieHeader.split(QLatin1Char(';'))) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq > 0 && item.left(eq).trimmed() == name)
            return item.mid(eq + 1).trimmed();
    }
    return QString();
}

std::optional<qint64> PositiveNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 15)
        return std::nullopt;
    qint64 n = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        n = n * 10 + (c.unicode() - '0');
    }
    if (n <= 0)
        return std::nullopt;
    return n;
}

bool ValidAccountName(const QString &name)
{
    if (name.isEmpty() || name.size() > 64 || name.trimmed() != name)
        return false;
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    return true;
}

} // namespace Quilo::Site
