// Arbitrary text through every reader of numbers a user types: the
// locale-independent number reader (qelctl arguments, rig files) and the
// read-outs' typed values. Refusals are fine; an accepted value must be one
// the text really says and inside its range.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mixer/controls/TypedValue.h"
#include "os/NumberText.h"

namespace {

void CheckNumber(std::string_view text)
{
    const auto value = qel::os::parseNumber(text);
    if (!value)
        return;
    if (!std::isfinite(*value))
        std::abort();
    // The whole text is the number: nothing but its characters.
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'))
            std::abort();
    // What reads back from its own text is the same value.
    const auto again = qel::os::parseNumber(qel::os::formatC("%.17g", *value));
    if (!again || *again != *value)
        std::abort();
}

void CheckTyped(std::string_view text, typed::Readout readout)
{
    const typed::Entry entry = typed::Read(text, readout);
    const std::string note = typed::Note(entry, text, readout);
    if (entry.ok()) {
        if (!note.empty())
            std::abort();
        if (entry.target == typed::Target::Volume && (entry.value < -63 || entry.value > 0))
            std::abort();
        if (entry.target == typed::Target::Position && (entry.value < -127 || entry.value > 127))
            std::abort();
        if (readout == typed::Readout::Crossfade && entry.target != typed::Target::Position)
            std::abort();
        return;
    }
    if (note.empty() || note.size() > 40)
        std::abort();
    for (const char c : note)
        if (c < 0x20 || c > 0x7E)
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckNumber(text);
    CheckTyped(text, typed::Readout::Level);
    CheckTyped(text, typed::Readout::Crossfade);
    return 0;
}
