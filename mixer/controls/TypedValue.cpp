#include "mixer/controls/TypedValue.h"

#include "mixer/controls/ValueScaling.h"

#include <cstddef>

namespace typed {

namespace {

// More digits than this before the point make a number beyond every range.
constexpr std::size_t kMaxDigits = 6;
constexpr std::size_t kNoteEcho = 16;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

struct Number {
    bool read = false;
    bool huge = false;
    double value = 0;
};

// [+-] digits [. digits], all of s; no exponent, no locale.
Number ReadNumber(std::string_view s)
{
    Number n;
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    const std::size_t wholeStart = i;
    std::size_t digits = 0;
    double whole = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        // Leading zeros do not make a number huge.
        if (digits > 0 || s[i] != '0')
            ++digits;
        if (digits <= kMaxDigits)
            whole = whole * 10 + (s[i] - '0');
    }
    const bool anyWhole = i > wholeStart;
    double fraction = 0;
    bool anyFraction = false;
    if (i < s.size() && s[i] == '.') {
        ++i;
        double scale = 0.1;
        for (; i < s.size() && IsDigit(s[i]); ++i, scale /= 10) {
            fraction += (s[i] - '0') * scale;
            anyFraction = true;
        }
    }
    if (i != s.size() || (!anyWhole && !anyFraction))
        return n;
    n.read = true;
    n.huge = digits > kMaxDigits;
    n.value = negative ? -(whole + fraction) : whole + fraction;
    return n;
}

// "C", or L/R then blanks and whole digits.
bool ReadPan(std::string_view s, Entry& entry)
{
    const char side = s.empty() ? '\0' : Lower(s.front());
    if (side != 'l' && side != 'r' && side != 'c')
        return false;
    entry.target = Target::Position;
    if (side == 'c') {
        if (s.size() != 1)
            entry.problem = Problem::Unreadable;
        entry.value = 0;
        return true;
    }
    std::string_view rest = Trim(s.substr(1));
    if (rest.empty()) {
        entry.problem = Problem::Unreadable;
        return true;
    }
    for (char c : rest)
        if (!IsDigit(c)) {
            entry.problem = Problem::Unreadable;
            return true;
        }
    const Number n = ReadNumber(rest);
    if (!n.read) {
        entry.problem = Problem::Unreadable;
    } else if (n.huge || n.value > scaling::kPanMax) {
        entry.problem = Problem::OutOfRange;
    } else {
        entry.value = side == 'l' ? -int(n.value) : int(n.value);
    }
    return true;
}

// A number with or without a trailing "dB" (blanks allowed before it).
Entry ReadLevel(std::string_view s, Readout readout)
{
    Entry entry;
    bool decibels = false;
    if (s.size() >= 2 && Lower(s[s.size() - 2]) == 'd' && Lower(s.back()) == 'b') {
        decibels = true;
        s = Trim(s.substr(0, s.size() - 2));
    }
    const Number n = ReadNumber(s);
    if (!n.read) {
        entry.problem = Problem::Unreadable;
        return entry;
    }
    if (readout == Readout::Crossfade) {
        entry.target = Target::Position;
        if (decibels)
            entry.problem = Problem::NotHere;
        else if (n.huge || n.value < scaling::kPanMin || n.value > scaling::kPanMax)
            entry.problem = Problem::OutOfRange;
        else
            entry.value = scaling::Truncate(n.value);
        return entry;
    }
    entry.target = Target::Volume;
    if (n.huge || n.value < scaling::kVolumeMin || n.value > scaling::kVolumeMax)
        entry.problem = Problem::OutOfRange;
    else
        entry.value = scaling::Truncate(n.value);
    return entry;
}

// The user's text as the LED display can show it: printable ASCII, cut.
std::string Echo(std::string_view text)
{
    text = Trim(text);
    std::string out;
    for (char c : text.substr(0, kNoteEcho))
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (text.size() > kNoteEcho)
        out += "...";
    return out;
}

} // namespace

Entry Read(std::string_view text, Readout readout)
{
    const std::string_view s = Trim(text);
    Entry entry;
    if (s.empty()) {
        entry.problem = Problem::Empty;
        return entry;
    }
    if (ReadPan(s, entry))
        return entry;
    return ReadLevel(s, readout);
}

std::string Note(const Entry& entry, std::string_view text, Readout readout)
{
    switch (entry.problem) {
    case Problem::None: return {};
    case Problem::Empty: return "No value typed";
    case Problem::Unreadable: return "Cannot read \"" + Echo(text) + "\"";
    case Problem::NotHere: return "Crossfader takes L, R, C or a number";
    case Problem::OutOfRange:
        if (entry.target == Target::Volume)
            return "Volume is -63 to 0 dB";
        return readout == Readout::Crossfade ? "Crossfader is L127 to R127" : "Pan is L127 to R127";
    }
    return {};
}

} // namespace typed
