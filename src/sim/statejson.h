#pragma once
// The unit's state as a JSON document, so that testers can save a unit and craft their own.
// Dates, times and keys are their bytes in hexadecimal ("24 06 15 13 45": BCD reads as written),
// amounts are integers, texts are UTF-8 (sent in code page 1250). Anything left out of a loaded
// file keeps the value that the file's "seed" (default 1) generates.

#include "unitstate.h"

#include <QJsonObject>

namespace QuiloSim {

QJsonObject stateToJson(const UnitState &state);
// False, with a message naming the offending entry, when the document is not a valid unit:
// wrong array sizes, unknown keys, values out of range, texts too long for their field or with
// characters the unit cannot show. `state` is left untouched then.
bool stateFromJson(const QJsonObject &json, UnitState &state, QString *error = nullptr);

bool saveStateFile(const UnitState &state, const QString &path, QString *error = nullptr);
bool loadStateFile(const QString &path, UnitState &state, QString *error = nullptr);

QString hexBytes(const QByteArray &bytes); // "C6 01 ..."

} // namespace QuiloSim
