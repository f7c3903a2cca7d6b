// What the office site reads from a browser's request besides the path: Accept-Language, the
// Cookie header, numbers in the query, account names. Whatever the bytes, each gives a value
// it checked or nothing, and the checks hold for what comes back.
#include "request.h"

#include <QRegularExpression>

#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    const QString language = Quilo::Site::BrowserLanguage(text);
    check(language == QLatin1String("en") || language == QLatin1String("hu"));

    const QString cookie = Quilo::Site::CookieValue(text, QStringLiteral("quilo_session"));
    check(!cookie.contains(QLatin1Char(';')));

    if (const std::optional<qint64> n = Quilo::Site::PositiveNumber(text)) {
        check(*n > 0);
        check(QString::number(*n) == QString(text).remove(QRegularExpression(QStringLiteral("^0+"))));
    }

    if (Quilo::Site::ValidAccountName(text)) {
        check(!text.isEmpty() && text.size() <= 64 && text.trimmed() == text);
        for (const QChar c : text)
            check(c.category() != QChar::Other_Control);
    }
    return 0;
}
