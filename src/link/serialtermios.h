#pragma once
// The line's settings as termios flags, apart from any device: a pseudo-terminal keeps neither
// parity nor stop bits, so only the mapping itself can show that they are asked for right.

#include "serialbackend.h"

#include <termios.h>

namespace Quilo::Serial {

// Sets `tio` to carry the settings: speed, character size, parity, stop bits, raw bytes both
// ways and line errors marked in the data. Flow control stays as `tio` has it. False, with
// `tio` untouched, when the line cannot carry the settings.
bool toTermios(const LineSettings &settings, termios &tio);

} // namespace Quilo::Serial
