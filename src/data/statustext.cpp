#include "statustext.h"

#include "commandtable.h"
#include "fields.h"
#include "stringtable.h"

namespace Quilo {

QString ResultWords(int result)
{
    switch (result) {
    case ResultOk: return LoadString(Str::Result0);
    case ResultNotSent: return LoadString(Str::Result1);
    case ResultTwoBytes: return LoadString(Str::Result16);
    case ResultWrongLength: return LoadString(Str::Result32);
    case ResultBadChecksum: return LoadString(Str::Result48);
    case ResultRefused: return LoadString(Str::Result64);
    case ResultKeyFailed: return LoadString(Str::Result256);
    default: return LoadString(Str::CliResultOther).arg(result);
    }
}

unsigned StatusTextId(std::int32_t status)
{
    switch (RecordStatus::StateOf(status)) {
    case RecordStatus::State::NotRead: return Str::ResultNotRead;
    case RecordStatus::State::Read: return Str::Result0;
    case RecordStatus::State::Written: return Str::StateWritten;
    case RecordStatus::State::KeyRefused: return Str::Result256;
    case RecordStatus::State::Failed:
    case RecordStatus::State::WriteFailed: break;
    }
    switch (RecordStatus::ResultOf(status)) {
    case ResultNotSent: return Str::Result1;
    case ResultTwoBytes: return Str::Result16;
    case ResultWrongLength: return Str::Result32;
    case ResultBadChecksum: return Str::Result48;
    case ResultRefused: return Str::Result64;
    case ResultKeyFailed: return Str::Result256;
    default: return Str::ResultOther;
    }
}

QString StatusText(std::int32_t status)
{
    switch (RecordStatus::StateOf(status)) {
    case RecordStatus::State::NotRead: return LoadString(Str::ResultNotRead);
    case RecordStatus::State::Read: return LoadString(Str::Result0);
    case RecordStatus::State::Written: return LoadString(Str::StateWritten);
    case RecordStatus::State::KeyRefused: return LoadString(Str::Result256);
    case RecordStatus::State::Failed:
    case RecordStatus::State::WriteFailed: break;
    }
    return ResultWords(RecordStatus::ResultOf(status));
}

} // namespace Quilo
