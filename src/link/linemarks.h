#pragma once
// In-band line-error marks: with PARMRK a damaged character arrives as FF 00 x and a real FF
// as FF FF. Decoding them lets a read stop at the first damaged character instead of handing
// a NUL to the checksum.

#include <cstdint>

namespace Quilo {

class CLineMarkDecoder
{
public:
    enum class Step { Byte, Pending, LineError };

    // One raw byte in; Byte puts a data byte into `out`.
    constexpr Step feed(std::uint8_t raw, std::uint8_t &out)
    {
        switch (m_state) {
        case 0:
            if (raw == 0xFF) {
                m_state = 1;
                return Step::Pending;
            }
            out = raw;
            return Step::Byte;
        case 1:
            if (raw == 0xFF) {
                m_state = 0;
                out = raw;
                return Step::Byte;
            }
            if (raw == 0x00) {
                m_state = 2;
                return Step::Pending;
            }
            // An FF the driver did not double: the stream cannot be trusted.
            m_state = 0;
            return Step::LineError;
        default:
            m_state = 0; // the damaged character itself
            return Step::LineError;
        }
    }

    constexpr bool pending() const { return m_state != 0; }
    constexpr void reset() { m_state = 0; }
    constexpr std::uint8_t state() const { return m_state; }
    constexpr void setState(std::uint8_t state) { m_state = state <= 2 ? state : 0; }

private:
    std::uint8_t m_state = 0;
};

} // namespace Quilo
