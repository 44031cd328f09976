#pragma once
// Byte-wise access to little-endian driver records and big-endian device data.
// Every accessor checks its bounds: a read past the end yields 0, a write past
// the end does nothing, so a short buffer can never be overread.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qel::os {

using ByteSpan = std::span<std::uint8_t>;
using ConstByteSpan = std::span<const std::uint8_t>;

inline std::uint32_t getLe32(ConstByteSpan b, std::size_t off) {
    if (off > b.size() || b.size() - off < 4) return 0;
    return std::uint32_t{b[off]} | std::uint32_t{b[off + 1]} << 8 | std::uint32_t{b[off + 2]} << 16 |
           std::uint32_t{b[off + 3]} << 24;
}
inline std::uint16_t getLe16(ConstByteSpan b, std::size_t off) {
    if (off > b.size() || b.size() - off < 2) return 0;
    return static_cast<std::uint16_t>(b[off] | b[off + 1] << 8);
}
inline std::uint32_t getBe32(ConstByteSpan b, std::size_t off) {
    if (off > b.size() || b.size() - off < 4) return 0;
    return std::uint32_t{b[off]} << 24 | std::uint32_t{b[off + 1]} << 16 | std::uint32_t{b[off + 2]} << 8 |
           std::uint32_t{b[off + 3]};
}
inline std::uint16_t getBe16(ConstByteSpan b, std::size_t off) {
    if (off > b.size() || b.size() - off < 2) return 0;
    return static_cast<std::uint16_t>(b[off] << 8 | b[off + 1]);
}
inline void putLe32(ByteSpan b, std::size_t off, std::uint32_t v) {
    if (off > b.size() || b.size() - off < 4) return;
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void putLe16(ByteSpan b, std::size_t off, std::uint16_t v) {
    if (off > b.size() || b.size() - off < 2) return;
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putBe32(ByteSpan b, std::size_t off, std::uint32_t v) {
    if (off > b.size() || b.size() - off < 4) return;
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline void putBe16(ByteSpan b, std::size_t off, std::uint16_t v) {
    if (off > b.size() || b.size() - off < 2) return;
    b[off] = static_cast<std::uint8_t>(v >> 8);
    b[off + 1] = static_cast<std::uint8_t>(v);
}

// An 8-bit text field of `width` bytes at `off`: the bytes up to the first zero,
// or the whole field when the driver left out the terminating zero.
inline std::string getText(ConstByteSpan b, std::size_t off, std::size_t width) {
    if (off >= b.size()) return {};
    const std::size_t avail = std::min(width, b.size() - off);
    std::size_t n = 0;
    while (n < avail && b[off + n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(b.data() + off), n);
}
// Writes the text zero-terminated and zero-padded; a text too long for the field
// is cut so that the terminating zero always fits.
inline void putText(ByteSpan b, std::size_t off, std::size_t width, std::string_view text) {
    if (width == 0 || off > b.size() || b.size() - off < width) return;
    const std::size_t n = std::min(text.size(), width - 1);
    for (std::size_t i = 0; i < width; ++i)
        b[off + i] = i < n ? static_cast<std::uint8_t>(text[i]) : 0;
}

// Lower-case hex without separators; "-" for an empty buffer.
std::string hexText(ConstByteSpan b);

}  // namespace qel::os
