#include "trafficlog.h"

#include "statejson.h"

#include <QDateTime>

#include <cstdio>

namespace QuiloSim {

bool CTrafficLog::open(const QString &path, QString *error)
{
    m_file.reset();
    if (path.isEmpty())
        return true;
    auto file = std::make_unique<QFile>();
    const bool ok = path == QLatin1String("-") ? file->open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered)
                                               : (file->setFileName(path),
                                                  file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text));
    if (!ok) {
        if (error)
            *error = file->errorString();
        return false;
    }
    m_file = std::move(file);
    return true;
}

void CTrafficLog::frame(std::int64_t timeNs, const char *direction, const char *what, const QByteArray &bytes)
{
    if (m_file)
        line(timeNs, QStringLiteral("%1 %2 %3").arg(QLatin1String(direction), QLatin1String(what), hexBytes(bytes)));
}

void CTrafficLog::note(std::int64_t timeNs, const QString &text)
{
    if (m_file)
        line(timeNs, QStringLiteral("-- ") + text);
}

void CTrafficLog::line(std::int64_t timeNs, const QString &text)
{
    // Wall-clock time to match other logs, monotonic microseconds to measure with.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    m_file->write(QStringLiteral("%1 %2.%3 %4\n")
                      .arg(stamp)
                      .arg(timeNs / 1'000'000'000)
                      .arg(timeNs / 1000 % 1'000'000, 6, 10, QLatin1Char('0'))
                      .arg(text)
                      .toUtf8());
    m_file->flush();
}

} // namespace QuiloSim
