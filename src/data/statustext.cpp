#include "statustext.h"

#include "commandtable.h"
#include "fields.h"
#include "stringtable.h"

namespace Quilo {

namespace {

// The words of a result the line or the unit gave; 0 for a code that has none.
unsigned resultId(int result)
{
    switch (result) {
    case ResultOk: return Str::Result0;
    case ResultNotSent: return Str::Result1;
    case ResultTwoBytes: return Str::Result16;
    case ResultWrongLength: return Str::Result32;
    case ResultBadChecksum: return Str::Result48;
    case ResultRefused: return Str::Result64;
    case ResultKeyFailed: return Str::Result256;
    default: return 0;
    }
}

// The words of a state that says it all; 0 for a failure, which its result words tell.
unsigned stateId(std::int32_t status)
{
    switch (RecordStatus::StateOf(status)) {
    case RecordStatus::State::NotRead: return Str::ResultNotRead;
    case RecordStatus::State::Read: return Str::Result0;
    case RecordStatus::State::Written: return Str::StateWritten;
    case RecordStatus::State::KeyRefused: return Str::Result256;
    case RecordStatus::State::Failed:
    case RecordStatus::State::WriteFailed: break;
    }
    return 0;
}

} // namespace

QString ResultWords(int result)
{
    const unsigned id = resultId(result);
    return id ? LoadString(id) : LoadString(Str::CliResultOther).arg(result);
}

unsigned StatusTextId(std::int32_t status)
{
    if (const unsigned id = stateId(status))
        return id;
    const int result = RecordStatus::ResultOf(status);
    const unsigned id = result == ResultOk ? 0 : resultId(result);
    return id ? id : Str::ResultOther;
}

QString StatusText(std::int32_t status)
{
    if (const unsigned id = stateId(status))
        return LoadString(id);
    return ResultWords(RecordStatus::ResultOf(status));
}

} // namespace Quilo
