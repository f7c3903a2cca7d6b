#pragma once
// Signing in to the office site: passwords kept as argon2id hashes (libsodium), sessions held
// by the running server only (a restart signs everyone out), and a pause after repeated failed
// sign-ins for one name or from one address, so that passwords cannot be tried by the thousand.

#include "result.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <chrono>
#include <mutex>
#include <optional>

namespace Quilo::Site {

// The password's salted, slow hash as the history keeps it; fails only when the machine lacks
// the memory the hash needs.
Result<QString> HashPassword(const QByteArray &password);
bool PasswordMatches(const QString &hash, const QByteArray &password);
// Takes as long as PasswordMatches: a name with no account answers no faster than a wrong password.
void SpendPasswordTime(const QByteArray &password);

using Clock = std::chrono::steady_clock;

class Sessions
{
public:
    static constexpr std::chrono::hours kLifetime{12};

    // A new session for `user`: its token, 256 random bits as hex.
    QString Start(const QString &user);
    // The user the token belongs to while the session lasts.
    std::optional<QString> UserOf(const QString &token);
    void End(const QString &token);

private:
    struct Session
    {
        QString user;
        Clock::time_point expires;
    };
    std::mutex m_mutex;
    QHash<QString, Session> m_sessions;
};

class SignInPause
{
public:
    static constexpr int kFreeFailures = 3;

    // Seconds before a sign-in for `name` from `address` is tried again; 0: now.
    int SecondsLeft(const QString &name, const QString &address);
    void Failed(const QString &name, const QString &address);
    void Succeeded(const QString &name);

private:
    struct Record
    {
        int failures = 0;
        Clock::time_point until;
    };
    void fail(Record &r, Clock::time_point now);
    std::mutex m_mutex;
    QHash<QString, Record> m_byName;
    QHash<QString, Record> m_byAddress;
};

} // namespace Quilo::Site
