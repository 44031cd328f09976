#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qel::os {

// A device-interface class GUID. The bytes are kept in Windows memory order:
// Data1 (LE 32), Data2 (LE 16), Data3 (LE 16), Data4[8].
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    bool isNull() const;
    friend bool operator==(const Guid&, const Guid&) = default;

    // "{A098F460-2CC2-4072-A32A-36CCD74581A4}": upper-case, braces, 38 characters.
    std::string registryText() const;
    // "{a098f460-2cc2-4072-a32a-36ccd74581a4}": the lower-case form of USB device paths.
    std::string lowerText() const;
    // Registry form only: braces, groups 8-4-4-4-12 of hex digits.
    static std::optional<Guid> parse(std::string_view text);

    // The 16 bytes in memory order (the four 32-bit words of the GUID).
    std::array<std::uint8_t, 16> bytes() const;
    static Guid fromBytes(const std::array<std::uint8_t, 16>& b);
};

}  // namespace qel::os
