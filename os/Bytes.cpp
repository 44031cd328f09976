#include "os/Bytes.h"

namespace qel::os {

std::string hexText(ConstByteSpan b) {
    if (b.empty()) return "-";
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    s.reserve(b.size() * 2);
    for (const std::uint8_t v : b) {
        s.push_back(kDigits[v >> 4]);
        s.push_back(kDigits[v & 15]);
    }
    return s;
}

}  // namespace qel::os
