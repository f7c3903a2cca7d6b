#pragma once
// A pseudo-terminal for tests: the program opens slavePath() as its serial port, the test
// plays the unit on the master side.

#include <QByteArray>
#include <QString>

class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    // A descriptor of the slave end that the pair holds itself: the line's settings as the
    // driver has them, whoever set them.
    int slaveFd() const { return m_slaveKeeper; }

    // Bytes to the program; true when all went out.
    bool write(const QByteArray &bytes);
    // Bytes from the program: up to count, waiting at most timeoutMs in all.
    QByteArray read(int count, int timeoutMs);
    // Whatever arrives within waitMs after the last byte.
    QByteArray readAvailable(int waitMs);
    // The unit goes away: the program's side sees a hang-up.
    void closeMaster();

private:
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the tty alive (and its settings) between the program's opens
    QString m_slavePath;
};
