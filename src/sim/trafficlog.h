#pragma once
// Every frame in and out, with its time, in hexadecimal: one line each.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>

namespace QuiloSim {

class CTrafficLog
{
public:
    // "-" is standard error; an empty path logs nothing.
    bool open(const QString &path, QString *error = nullptr);
    bool isOpen() const { return m_file != nullptr; }
    // "<-" for what the unit received, "->" for what it sent.
    void frame(std::int64_t timeNs, const char *direction, const char *what, const QByteArray &bytes);
    void note(std::int64_t timeNs, const QString &text);

private:
    void line(std::int64_t timeNs, const QString &text);

    std::unique_ptr<QFile> m_file;
};

} // namespace QuiloSim
