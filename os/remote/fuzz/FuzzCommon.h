#pragma once
// Shared by the protocol fuzz targets: every frame of the input is decoded as
// the given kinds; what decodes must encode again to the same bytes.
#include <cstdlib>
#include <initializer_list>

#include "os/remote/Protocol.h"

namespace qel::os::remote::fuzz {

inline void decodeAs(std::span<const std::uint8_t> message, std::initializer_list<Kind> kinds) {
    for (const Kind k : kinds) {
        const auto m = decode(message, k);
        if (!m) continue;
        const auto again = encode(*m);
        if (again.size() != message.size() || !std::equal(again.begin(), again.end(), message.begin()))
            std::abort();
    }
}

inline void run(const std::uint8_t* data, std::size_t size, std::initializer_list<Kind> kinds) {
    const std::span<const std::uint8_t> input(data, size);
    decodeAs(input, kinds);
    bool refused = false;
    for (const auto frame : splitFrames(input, &refused)) decodeAs(frame, kinds);
}

}  // namespace qel::os::remote::fuzz
