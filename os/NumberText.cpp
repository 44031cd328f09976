#include "os/NumberText.h"

#include <cctype>
#include <climits>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace qel::os {
namespace {

// One non-floating conversion through the C library; integers, characters,
// strings and pointers do not depend on the locale.
template <class T>
void appendC(std::string& out, const std::string& directive, T value) {
    char buf[128];
    const int n = std::snprintf(buf, sizeof buf, directive.c_str(), value);
    if (n < 0) return;
    if (static_cast<std::size_t>(n) < sizeof buf) {
        out.append(buf, static_cast<std::size_t>(n));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), directive.c_str(), value);
    out.append(big.data(), static_cast<std::size_t>(n));
}

std::string floating(double value, char conv, int precision) {
    std::chars_format fmt = std::chars_format::general;
    switch (std::tolower(static_cast<unsigned char>(conv))) {
    case 'f': fmt = std::chars_format::fixed; break;
    case 'e': fmt = std::chars_format::scientific; break;
    case 'a': fmt = std::chars_format::hex; break;
    default: break;
    }
    const bool hex = fmt == std::chars_format::hex;
    if (precision < 0 && !hex) precision = 6;
    std::string buf(std::size_t{64} + (precision > 0 ? static_cast<std::size_t>(precision) : 0) + 330, '\0');
    std::to_chars_result r{};
    if (precision < 0)
        r = std::to_chars(buf.data(), buf.data() + buf.size(), value, fmt);
    else
        r = std::to_chars(buf.data(), buf.data() + buf.size(), value, fmt, precision);
    if (r.ec != std::errc()) return {};
    buf.resize(static_cast<std::size_t>(r.ptr - buf.data()));
    if (hex && std::isfinite(value)) buf.insert(buf[0] == '-' ? 1 : 0, "0x");
    if (std::isupper(static_cast<unsigned char>(conv)))
        for (char& c : buf) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return buf;
}

void pad(std::string& out, std::string text, const std::string& flags, int width, bool finite, bool hex) {
    const bool left = flags.find('-') != std::string::npos;
    if (text.empty() || text[0] != '-') {
        if (flags.find('+') != std::string::npos)
            text.insert(0, 1, '+');
        else if (flags.find(' ') != std::string::npos)
            text.insert(0, 1, ' ');
    }
    const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
    if (text.size() < w) {
        const std::size_t fill = w - text.size();
        if (left)
            text.append(fill, ' ');
        else if (flags.find('0') != std::string::npos && finite) {
            std::size_t at = (text[0] == '-' || text[0] == '+' || text[0] == ' ') ? 1 : 0;
            if (hex) at += 2;
            text.insert(at, fill, '0');
        } else
            text.insert(0, fill, ' ');
    }
    out += text;
}

int readInt(const char*& p) {
    int v = 0;
    while (*p >= '0' && *p <= '9') {
        if (v < 100000) v = v * 10 + (*p - '0');
        ++p;
    }
    return v;
}

} // namespace

std::string vformatC(const char* format, va_list args) {
    std::string out;
    if (!format) return out;
    const char* p = format;
    while (*p) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        ++p;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        std::string flags;
        while (*p && std::strchr("-+ #0", *p)) flags += *p++;
        int width = -1;
        if (*p == '*') {
            ++p;
            width = va_arg(args, int);
            if (width < 0) {
                flags += '-';
                width = width == INT_MIN ? 0 : -width;
            }
        } else if (*p >= '0' && *p <= '9')
            width = readInt(p);
        int precision = -1;
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
                precision = va_arg(args, int);
                if (precision < 0) precision = -1;
            } else
                precision = readInt(p);
        }
        std::string length;
        while (*p && std::strchr("hljztL", *p) && length.size() < 2) length += *p++;
        const char conv = *p;
        if (!conv) break;
        ++p;

        if (std::strchr("fFeEgGaA", conv)) {
            const double v = length == "L" ? static_cast<double>(va_arg(args, long double)) : va_arg(args, double);
            std::string plain;
            for (const char f : flags)
                if (f != '#') plain += f;
            pad(out, floating(v, conv, precision), plain, width, std::isfinite(v),
                conv == 'a' || conv == 'A');
            continue;
        }

        std::string directive = "%";
        for (const char f : flags) directive += f;
        if (width >= 0) directive += std::to_string(width);
        if (precision >= 0) directive += "." + std::to_string(precision);
        directive += length;
        directive += conv;
        switch (conv) {
        case 'd':
        case 'i':
            if (length == "l")
                appendC(out, directive, va_arg(args, long));
            else if (length == "ll")
                appendC(out, directive, va_arg(args, long long));
            else if (length == "z" || length == "t")
                appendC(out, directive, va_arg(args, std::ptrdiff_t));
            else if (length == "j")
                appendC(out, directive, va_arg(args, std::intmax_t));
            else
                appendC(out, directive, va_arg(args, int));
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (length == "l")
                appendC(out, directive, va_arg(args, unsigned long));
            else if (length == "ll")
                appendC(out, directive, va_arg(args, unsigned long long));
            else if (length == "z" || length == "t")
                appendC(out, directive, va_arg(args, std::size_t));
            else if (length == "j")
                appendC(out, directive, va_arg(args, std::uintmax_t));
            else
                appendC(out, directive, va_arg(args, unsigned));
            break;
        case 'c':
            if (!length.empty()) return out; // wide characters are not ours
            appendC(out, directive, va_arg(args, int)); break;
        case 's': {
            if (!length.empty()) return out;
            const char* s = va_arg(args, const char*);
            appendC(out, directive, s ? s : "(null)");
            break;
        }
        case 'p': appendC(out, directive, va_arg(args, void*)); break;
        default: return out; // %n, '\'' and unknown conversions end the text
        }
    }
    return out;
}

std::string formatC(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformatC(format, args);
    va_end(args);
    return text;
}

std::optional<double> parseNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    double v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return std::nullopt;
    return v;
}

} // namespace qel::os
