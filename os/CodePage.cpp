#include "os/CodePage.h"

namespace qel::os {

std::string windows1252ToUtf8(std::string_view text) {
    // 0x80..0x9F are the code page's own; 0xA0..0xFF equal Latin-1.
    static constexpr char16_t k80to9F[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string outText;
    outText.reserve(text.size());
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        const char32_t c = b < 0x80 ? b : b < 0xA0 ? k80to9F[b - 0x80] : b;
        if (c < 0x80) {
            outText.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            outText.push_back(static_cast<char>(0xC0 | (c >> 6)));
            outText.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            outText.push_back(static_cast<char>(0xE0 | (c >> 12)));
            outText.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            outText.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return outText;
}

}  // namespace qel::os
