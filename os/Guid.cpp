#include "os/Guid.h"

#include <cstdio>

namespace qel::os {

bool Guid::isNull() const { return *this == Guid{}; }

static std::string formatGuid(const Guid& g, bool upper) {
    const char* fmt = upper ? "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}"
                            : "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}";
    char buf[40];
    std::snprintf(buf, sizeof buf, fmt, static_cast<unsigned>(g.data1), unsigned{g.data2},
                  unsigned{g.data3}, unsigned{g.data4[0]}, unsigned{g.data4[1]}, unsigned{g.data4[2]},
                  unsigned{g.data4[3]}, unsigned{g.data4[4]}, unsigned{g.data4[5]}, unsigned{g.data4[6]},
                  unsigned{g.data4[7]});
    return buf;
}

std::string Guid::registryText() const { return formatGuid(*this, true); }
std::string Guid::lowerText() const { return formatGuid(*this, false); }

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<Guid> Guid::parse(std::string_view t) {
    if (t.size() != 38 || t.front() != '{' || t.back() != '}') return std::nullopt;
    std::uint8_t digits[16];
    std::size_t n = 0;
    for (std::size_t i = 1; i < 37; ++i) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (t[i] != '-') return std::nullopt;
            continue;
        }
        const int hi = hexValue(t[i]);
        const int lo = hexValue(t[++i]);
        if (hi < 0 || lo < 0 || (i == 9 || i == 14 || i == 19 || i == 24)) return std::nullopt;
        digits[n++] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    if (n != 16) return std::nullopt;
    Guid g;
    g.data1 = std::uint32_t{digits[0]} << 24 | std::uint32_t{digits[1]} << 16 |
              std::uint32_t{digits[2]} << 8 | digits[3];
    g.data2 = static_cast<std::uint16_t>(digits[4] << 8 | digits[5]);
    g.data3 = static_cast<std::uint16_t>(digits[6] << 8 | digits[7]);
    for (int i = 0; i < 8; ++i) g.data4[i] = digits[8 + i];
    return g;
}

std::array<std::uint8_t, 16> Guid::bytes() const {
    std::array<std::uint8_t, 16> b{};
    for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(data1 >> (8 * i));
    b[4] = static_cast<std::uint8_t>(data2);
    b[5] = static_cast<std::uint8_t>(data2 >> 8);
    b[6] = static_cast<std::uint8_t>(data3);
    b[7] = static_cast<std::uint8_t>(data3 >> 8);
    for (int i = 0; i < 8; ++i) b[8 + i] = data4[i];
    return b;
}

Guid Guid::fromBytes(const std::array<std::uint8_t, 16>& b) {
    Guid g;
    g.data1 = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
              std::uint32_t{b[3]} << 24;
    g.data2 = static_cast<std::uint16_t>(b[4] | b[5] << 8);
    g.data3 = static_cast<std::uint16_t>(b[6] | b[7] << 8);
    for (int i = 0; i < 8; ++i) g.data4[i] = b[8 + i];
    return g;
}

}  // namespace qel::os
