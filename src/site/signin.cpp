#include "signin.h"

#include "stringtable.h"

#include <sodium.h>

#include <QRandomGenerator>

#include <algorithm>
#include <cstring>

namespace Quilo::Site {

namespace {

// libsodium's interactive limits: about a tenth of a second and 64 MiB per hash.
constexpr unsigned long long kOps = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr size_t kMemory = crypto_pwhash_MEMLIMIT_INTERACTIVE;

bool ready()
{
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

} // namespace

Result<QString> HashPassword(const QByteArray &password)
{
    char out[crypto_pwhash_STRBYTES];
    if (!ready() || crypto_pwhash_str(out, password.constData(), static_cast<unsigned long long>(password.size()), kOps, kMemory) != 0)
        return Failed{LoadString(Str::SiteErrHash)};
    return QString::fromLatin1(out);
}

bool PasswordMatches(const QString &hash, const QByteArray &password)
{
    const QByteArray h = hash.toLatin1();
    if (!ready() || h.isEmpty() || h.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(h.constData(), password.constData(), static_cast<unsigned long long>(password.size())) == 0;
}

void SpendPasswordTime(const QByteArray &password)
{
    static const QString dummy = HashPassword(QByteArrayLiteral("no account has this password")).valueOr(QString());
    PasswordMatches(dummy, password);
}

QString Sessions::Start(const QString &user)
{
    unsigned char bytes[32];
    if (ready()) {
        randombytes_buf(bytes, sizeof bytes);
    } else {
        // never a token anyone could guess, even without libsodium's generator
        quint32 words[sizeof bytes / sizeof(quint32)];
        QRandomGenerator::system()->fillRange(words);
        std::memcpy(bytes, words, sizeof bytes);
    }
    const QString token = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes).toHex());
    const std::lock_guard lock(m_mutex);
    // sessions that ended go when a new one starts: the table stays as small as the office
    const Clock::time_point now = Clock::now();
    for (auto it = m_sessions.begin(); it != m_sessions.end();)
        it = it->expires <= now ? m_sessions.erase(it) : std::next(it);
    m_sessions.insert(token, {user, now + kLifetime});
    return token;
}

std::optional<QString> Sessions::UserOf(const QString &token)
{
    if (token.isEmpty())
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    const auto it = m_sessions.constFind(token);
    if (it == m_sessions.constEnd() || it->expires <= Clock::now())
        return std::nullopt;
    return it->user;
}

void Sessions::End(const QString &token)
{
    const std::lock_guard lock(m_mutex);
    m_sessions.remove(token);
}

int SignInPause::SecondsLeft(const QString &name, const QString &address)
{
    const std::lock_guard lock(m_mutex);
    const Clock::time_point now = Clock::now();
    Clock::time_point until = now;
    if (const auto it = m_byName.constFind(name); it != m_byName.constEnd())
        until = std::max(until, it->until);
    if (const auto it = m_byAddress.constFind(address); it != m_byAddress.constEnd())
        until = std::max(until, it->until);
    const auto left = std::chrono::ceil<std::chrono::seconds>(until - now).count();
    return static_cast<int>(std::max<qint64>(0, left));
}

void SignInPause::fail(Record &r, Clock::time_point now)
{
    ++r.failures;
    // free tries first, then 5 s doubling with each failure, at most a quarter of an hour
    if (r.failures >= kFreeFailures) {
        const int doublings = std::min(r.failures - kFreeFailures, 8);
        r.until = now + std::min(std::chrono::seconds(5 << doublings), std::chrono::seconds(900));
    }
}

void SignInPause::Failed(const QString &name, const QString &address)
{
    const std::lock_guard lock(m_mutex);
    const Clock::time_point now = Clock::now();
    // names made up by the thousand must not grow the table without end: what no longer
    // holds anyone back goes
    for (QHash<QString, Record> *table : {&m_byName, &m_byAddress})
        if (table->size() > 10000)
            table->removeIf([now](const auto &entry) { return entry.value().until <= now; });
    fail(m_byName[name], now);
    fail(m_byAddress[address], now);
}

void SignInPause::Succeeded(const QString &name)
{
    const std::lock_guard lock(m_mutex);
    m_byName.remove(name);
}

} // namespace Quilo::Site
