#pragma once
// A serial line without a device, below the serial backend's interface: what the unit "sends"
// comes from a tape, what the program sends is kept. Built instead of serialbackend_posix.cpp.
//
// Tape: each read attempt takes one control byte c. c == 0xFF: the line is lost (hang-up or
// line error); otherwise c mod (count + 1) bytes follow (fewer when the tape runs out). An
// empty tape is a silent unit. Input "follows" while the tape is not empty.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace FakeSerial {

void load(const std::uint8_t *data, std::size_t size);
const std::vector<std::uint8_t> &written();
std::size_t tapeLeft();

} // namespace FakeSerial
