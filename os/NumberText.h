#pragma once
#include <cstdarg>
#include <optional>
#include <string>
#include <string_view>

namespace qel::os {

// Number texts that read the same in every locale: "-12.0 dB", "48.0 kHz".
// The C library's printf and strtod follow LC_NUMERIC, and Qt sets it from
// the user's environment at start-up, so a German user would get "-12,0 dB".

// printf-style formatting whose floating conversions (f F e E g G a A) always
// use '.' and never group digits. The other conversions are the C library's.
// Not supported: the '#' flag on floating conversions (ignored), %n and the
// '\'' flag (the text ends at them).
#ifdef __MINGW_PRINTF_FORMAT
// mingw-w64: the C99 printf of __USE_MINGW_ANSI_STDIO (set by the toolchain).
std::string formatC(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
#else
std::string formatC(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif
std::string vformatC(const char* format, va_list args);

// A decimal number with '.' as the point: optional sign, digits, optional
// fraction and exponent ("-6.5", "+3", "1e-3", ".5"). The whole text must be
// the number; no blanks, no hex, no inf or nan, nothing out of range.
std::optional<double> parseNumber(std::string_view text);

} // namespace qel::os
