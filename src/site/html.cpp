#include "html.h"

#include "formatters.h"

namespace Quilo::Site {

QString Escape(const QString &text)
{
    const QString inert = InertText(text);
    QString out;
    out.reserve(inert.size() + 8);
    for (const QChar c : inert) {
        switch (c.unicode()) {
        case '&': out += QLatin1StringView("&amp;"); break;
        case '<': out += QLatin1StringView("&lt;"); break;
        case '>': out += QLatin1StringView("&gt;"); break;
        case '"': out += QLatin1StringView("&quot;"); break;
        case '\'': out += QLatin1StringView("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

Html &Html::open(const char *tag, Attributes attributes)
{
    m_out += QLatin1Char('<') + QLatin1StringView(tag);
    for (const auto &[name, value] : attributes) {
        if (value.isEmpty())
            continue;
        m_out += QLatin1Char(' ') + QLatin1StringView(name) + QLatin1StringView("=\"") + Escape(value) + QLatin1Char('"');
    }
    m_out += QLatin1Char('>');
    return *this;
}

Html &Html::close(const char *tag)
{
    m_out += QLatin1StringView("</") + QLatin1StringView(tag) + QLatin1Char('>');
    return *this;
}

Html &Html::element(const char *tag, const QString &text, Attributes attributes)
{
    return open(tag, attributes).text(text).close(tag);
}

Html &Html::text(const QString &text)
{
    m_out += Escape(text);
    return *this;
}

Html &Html::append(const Html &other)
{
    m_out += other.m_out;
    return *this;
}

} // namespace Quilo::Site
