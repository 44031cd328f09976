#include "controlpanel/driver/StatusText.h"

#include <cstdio>

namespace qel::cpl {

namespace {
struct Text {
    Status code;
    const char* text;
};
constexpr Text kTexts[] = {
    {0xE0000022, "Negative response for an FCP request."},
    {0xE0000072, "Channel allocation failed."},
    {0xE0000073, "Bandwidth allocation failed."},
    {0xE0000074, "ISO resource allocation failed."},
    {0xE0000076, "Start streaming failed."},
    {0xE0000077, "Channel number has changed because of bus reset."},
    {0xE0000080, "Selected sampling rate not supported."},
};
}  // namespace

const char* statusMessage(Status code) {
    for (const Text& t : kTexts)
        if (t.code == code) return t.text;
    return "";
}

std::string statusLine(Status code) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s 0x%08X: %s", "Error code", static_cast<unsigned>(code), statusMessage(code));
    return buf;
}

}  // namespace qel::cpl
