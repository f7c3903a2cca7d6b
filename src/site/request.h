#pragma once
// The few things the office site reads from a browser's request besides the path: the language
// it asks for, the session cookie, numbers in the query. Whatever a request holds, these give a
// value or nothing; they never throw and never take more than they check.

#include <QString>

#include <optional>

namespace Quilo::Site {

// "hu" or "en": the language of Accept-Language ("hu-HU,hu;q=0.9,en;q=0.8") with the highest
// weight among those the program speaks; English when it names none of them.
QString BrowserLanguage(const QString &acceptLanguage);

// The value of cookie `name` in a Cookie header ("a=1; quilo_session=abc"); empty when absent.
QString CookieValue(const QString &cookieHeader, const QString &name);

// A positive whole number as a query gives it: decimal digits only, no sign, no spaces, not
// beyond 15 digits. Nothing for anything else (the page then says the parameter is bad).
std::optional<qint64> PositiveNumber(const QString &text);

// A name for an account: 1 to 64 characters, none of them a control character or a space at
// either end.
bool ValidAccountName(const QString &name);

} // namespace Quilo::Site
