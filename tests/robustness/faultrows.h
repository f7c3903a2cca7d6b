#pragma once
// The faults a unit, a cable or an adapter make, as the simulated unit stages them, with the
// result code each must give. Timings follow from the line's time-outs for a reply of n data
// bytes, so every row means the same whatever the command.

#include "commandtable.h"
#include "unitbench.h"

#include <QList>
#include <QString>

struct FaultRow
{
    QString name;
    QString kind;      // the part of the fault text after '='
    int requestResult; // after a 2-byte request
    int frameResult;   // after a data frame (write or key presentation)
    bool dropsLine;    // the device is gone afterwards
    int extraMs;       // time the fault itself may add beyond the three read attempts
};

inline QList<FaultRow> FaultRows(int n)
{
    using namespace Quilo;
    const int attempt = AttemptMs(n);
    const int lateInTime = attempt + attempt / 2;     // answered in the second attempt
    const int lateTooLate = SilentReplyMs(n) + 500;  // after the third attempt gave up
    return {
        {QStringLiteral("silent"), QStringLiteral("silent"), ResultWrongLength, ResultWrongLength, false, 0},
        {QStringLiteral("two bytes"), QStringLiteral("two"), ResultTwoBytes, ResultTwoBytes, false, 0},
        {QStringLiteral("one byte short"), QStringLiteral("length:-1"), ResultWrongLength, ResultWrongLength, false, 0},
        {QStringLiteral("three bytes extra"), QStringLiteral("length:3"), ResultOk, ResultOk, false, 0},
        {QStringLiteral("bad checksum"), QStringLiteral("checksum"), ResultBadChecksum, ResultBadChecksum, false, 0},
        {QStringLiteral("late, second attempt"), QStringLiteral("late:%1").arg(lateInTime), ResultOk, ResultOk, false,
         0},
        {QStringLiteral("late beyond time-outs"), QStringLiteral("late:%1").arg(lateTooLate), ResultWrongLength,
         ResultWrongLength, false, lateTooLate},
        {QStringLiteral("garbage"), QStringLiteral("garbage"), ResultBadChecksum, ResultBadChecksum, false, 0},
        {QStringLiteral("garbage, 2 bytes"), QStringLiteral("garbage:2"), ResultTwoBytes, ResultTwoBytes, false, 0},
        {QStringLiteral("refusal"), QStringLiteral("refuse"), ResultTwoBytes, ResultRefused, false, 0},
        // far below the 100 ms interval: a busy machine can only widen the gap
        {QStringLiteral("short inter-byte gap"), QStringLiteral("gap:10"), ResultOk, ResultOk, false, 0},
        {QStringLiteral("long inter-byte gap"), QStringLiteral("gap:400"), ResultWrongLength, ResultWrongLength,
         false, 400},
        {QStringLiteral("line dropped"), QStringLiteral("drop"), ResultWrongLength, ResultWrongLength, true, 0},
    };
}

// Slack for the healthy transactions around a fault and for a busy machine.
inline constexpr int kSlackMs = 4000;
