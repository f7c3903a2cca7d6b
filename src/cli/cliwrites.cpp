#include "cliwrites.h"

#include "clioutput.h"
#include "clisession.h"
#include "fields.h"
#include "formatters.h"
#include "stringtable.h"
#include "unitclock.h"

namespace QuiloCli {

namespace {

constexpr int kDone = RecordStatus::kDone;

QString clockText(const std::array<std::uint8_t, 5> &bytes)
{
    CDateTimeField field;
    field.Parse(bytes.data());
    return field.GetText();
}

// A write the unit answered clearly without taking it: say with what.
int writeRefused(const CCliStreams &io, const COperationSummary &w)
{
    Say(io, LoadString(Str::CliWriteFailed).arg(ResultText(RecordStatus::AfterRead(w.writeResult))));
    return ExitFailed;
}

// The PC's wall clock to the minute, plain like the unit's.
QDateTime pcMinute()
{
    const QDateTime now = Quilo::PlainLocalNow();
    return Quilo::PlainDateTime(now.date(), QTime(now.time().hour(), now.time().minute()));
}

// The write's own result in words, for a reply that was neither acceptance nor refusal.
QString writeDamage(const COperationSummary &w)
{
    return ResultText(RecordStatus::AfterRead(w.writeResult));
}

} // namespace

int RunSetClock(const CCliOptions &o, const CCliStreams &io)
{
    if (o.clockFromPc && (pcMinute().date().year() < 2000 || pcMinute().date().year() > 2099)) {
        Say(io, LoadString(Str::CliErrClockPc).arg(pcMinute().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        return ExitUsage;
    }
    CSession session(io);
    if (!session.Setup(o))
        return ExitUsage;
    CTarvelDoc &doc = session.Doc();
    CSetSpec clock;
    clock.dataSet = CTarvelDoc::dsDateTime;

    const int before = StatusFromSummary(session.Read(clock));
    if (!doc.LastSummary().portOpened)
        return session.PortFailed();
    const QString oldText =
        before == kDone ? doc.ReadOut().Clock().GetText() : LoadString(Str::CliUnknownValue).arg(ResultText(before));
    const QString newText = o.clockFromPc
                                ? LoadString(Str::CliPcClock).arg(clockText(ClockBytes(pcMinute())))
                                : clockText(o.clockBytes);
    if (!o.yes && !confirm(io, LoadString(Str::CliConfirmClock).arg(oldText, newText))) {
        Say(io, LoadString(Str::CliDeclined));
        return ExitFailed;
    }
    // The PC's clock is taken when the write goes out, not when the question was asked.
    const QDateTime target = o.clockFromPc ? pcMinute() : o.clockValue;
    const std::array<std::uint8_t, 5> bytes = ClockBytes(target);
    // Written once only, whatever its answer: every write enters a change in the unit's date
    // modification log. After an unclear answer the engine has read the clock back instead.
    const int holds = doc.WriteDateTime(bytes.data());
    const COperationSummary &w = doc.LastSummary();
    if (!w.portOpened)
        return session.PortFailed();
    switch (w.readBack) {
    case COperationSummary::ReadBack::HoldsNew:
        Tell(io, LoadString(Str::CliClockDamagedNew).arg(writeDamage(w), doc.ReadOut().Clock().GetText()));
        return ExitOk;
    case COperationSummary::ReadBack::HoldsOther:
        Say(io, LoadString(Str::CliClockDamagedOld).arg(writeDamage(w), doc.ReadOut().Clock().GetText()));
        return ExitFailed;
    case COperationSummary::ReadBack::Failed:
        Say(io, LoadString(Str::CliClockDamagedUnknown).arg(writeDamage(w)));
        return ExitFailed;
    case COperationSummary::ReadBack::None:
        break;
    }
    if (!holds)
        return writeRefused(io, w);
    const int after = StatusFromSummary(session.Read(clock));
    if (!doc.LastSummary().portOpened)
        return session.PortFailed();
    if (after != kDone) {
        Say(io, LoadString(Str::CliReadBackFailed).arg(ResultText(after)));
        return ExitFailed;
    }
    // The unit's clock runs on: a read-back a minute or two later still holds the write.
    if (!ClockHolds(target, doc.ReadOut().ClockValue())) {
        Say(io, LoadString(Str::CliReadBackDiffer).arg(doc.ReadOut().Clock().GetText(), clockText(bytes)));
        return ExitFailed;
    }
    Tell(io, LoadString(Str::CliReadBackOk).arg(doc.ReadOut().Clock().GetText()));
    return ExitOk;
}

int RunWriteKey(const CCliOptions &o, const CCliStreams &io)
{
    CSession session(io);
    if (!session.Setup(o))
        return ExitUsage;
    CTarvelDoc &doc = session.Doc();
    const unsigned index = o.keyGroup.first + static_cast<unsigned>(o.keyRow);
    // the entry as the read-out holds it after each step
    const auto entry = [&doc, index] { return doc.ReadOut().Decoded<Quilo::dsKeyTable>(index); };
    CSetSpec one = o.keyGroup;
    one.first = one.last = index;

    session.Read(one, true);
    if (!doc.LastSummary().portOpened)
        return session.PortFailed();
    const bool oldKnown = entry().m_nStatus == kDone;
    const QString oldKey = entry().GetText();
    const QString oldText = oldKnown ? oldKey : LoadString(Str::CliUnknownValue).arg(ResultText(entry().m_nStatus));
    if (!o.yes
        && !confirm(io, LoadString(Str::CliConfirmKey)
                            .arg(QString::number(o.keyRow + 1), LoadString(o.keyGroup.groupId),
                                 QString::number(index + 1), oldText, o.keyText))) {
        Say(io, LoadString(Str::CliDeclined));
        return ExitFailed;
    }
    const int holds = doc.WriteKeyEntry(o.keyText, index);
    const COperationSummary &w = doc.LastSummary();
    if (!w.portOpened)
        return session.PortFailed();
    // After an unclear answer the engine has read the entry back: say what the unit holds.
    switch (w.readBack) {
    case COperationSummary::ReadBack::HoldsNew:
        Tell(io, LoadString(Str::CliKeyDamagedNew).arg(writeDamage(w), entry().GetText()));
        return ExitOk;
    case COperationSummary::ReadBack::HoldsOther:
        if (oldKnown && entry().GetText() == oldKey)
            Say(io, LoadString(Str::CliKeyDamagedOld).arg(writeDamage(w), entry().GetText()));
        else
            Say(io, LoadString(Str::CliKeyDamagedOther).arg(writeDamage(w), entry().GetText()));
        return ExitFailed;
    case COperationSummary::ReadBack::Failed:
        // a command to type: the group's own name, not its name in the language spoken
        Say(io, LoadString(Str::CliKeyDamagedUnknown).arg(writeDamage(w), o.keyGroup.groupName));
        return ExitFailed;
    case COperationSummary::ReadBack::None:
        break;
    }
    if (!holds)
        return writeRefused(io, w);
    session.Read(one, true);
    if (!doc.LastSummary().portOpened)
        return session.PortFailed();
    if (entry().m_nStatus != kDone) {
        Say(io, LoadString(Str::CliReadBackFailed).arg(ResultText(entry().m_nStatus)));
        return ExitFailed;
    }
    if (entry().GetText() != o.keyText) {
        Say(io, LoadString(Str::CliReadBackDiffer).arg(entry().GetText(), o.keyText));
        return ExitFailed;
    }
    Tell(io, LoadString(Str::CliReadBackOk).arg(entry().GetText()));
    return ExitOk;
}

} // namespace QuiloCli
