#pragma once
// Writing the office site's pages: every text goes in escaped, so that what the unit, a file
// or a browser gave can never become markup. Markup itself comes only from string literals of
// this program (raw() takes nothing else) or from another writer.

#include <QList>
#include <QString>

#include <initializer_list>
#include <utility>

namespace Quilo::Site {

// `text` for an HTML text node or a quoted attribute value: control characters made visible
// (as everywhere the unit's texts are shown), then & < > " ' as character references.
QString Escape(const QString &text);

using Attributes = std::initializer_list<std::pair<const char *, QString>>;

class Html
{
public:
    // An element's start tag; attributes with an empty value are left out.
    Html &open(const char *tag, Attributes attributes = {});
    Html &close(const char *tag);
    // <tag attributes>text</tag>
    Html &element(const char *tag, const QString &text, Attributes attributes = {});
    Html &text(const QString &text);
    // Markup written by this program.
    template<std::size_t N>
    Html &raw(const char (&literal)[N])
    {
        m_out += QLatin1StringView(literal, N - 1);
        return *this;
    }
    Html &append(const Html &other);

    const QString &str() const { return m_out; }

private:
    QString m_out;
};

} // namespace Quilo::Site
