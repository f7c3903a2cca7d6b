#pragma once
// A network port behind the line functions of serialbackend.h: the same time-outs, the same
// "a damaged transfer delivers nothing", so the frame layer above cannot tell it from a cable.
// Blocking calls with poll() deadlines, on the thread that drives the line.

#include "netport.h"
#include "serialbackend.h"

namespace Quilo::Net {

// Connects (and for TLS checks the server's certificate, for RFC 2217 sets the remote line)
// within options.connectTimeoutMs; nothing of the unit's data is sent before that succeeded.
Serial::OpenResult open(const Address &address, const Options &options, Serial::Handle &handle);
void close(Serial::Handle &handle);
std::size_t read(Serial::Handle &handle, std::uint8_t *buffer, std::size_t count, const Serial::Timeouts &timeouts);
std::size_t write(Serial::Handle &handle, const std::uint8_t *buffer, std::size_t count,
                  const Serial::Timeouts &timeouts);
void flushInput(Serial::Handle &handle);
bool waitForInput(Serial::Handle &handle, int milliseconds);

} // namespace Quilo::Net
