#include "os/NumberText.h"

#include <gtest/gtest.h>

#include "os/tests/DecimalCommaLocale.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

using qel::os::formatC;
using qel::os::parseNumber;

namespace {

// Switches the C library to a decimal-comma locale for one test, as Qt does
// at start-up with the user's environment, and back afterwards.
class DecimalComma : public ::testing::Test {
protected:
    void SetUp() override {
        locale_ = std::make_unique<qel::os::test::DecimalCommaLocale>();
        if (!locale_->active()) GTEST_SKIP() << qel::os::test::DecimalCommaLocale::kMissing;
    }
    void TearDown() override { locale_.reset(); }

    // The C library's text for the same format in the "C" locale.
    template <class... T>
    static std::string inC(const char* format, T... values) {
        const std::string here = std::setlocale(LC_ALL, nullptr);
        std::setlocale(LC_ALL, "C");
        char buf[512];
        std::snprintf(buf, sizeof buf, format, values...);
        std::setlocale(LC_ALL, here.c_str());
        return buf;
    }

private:
    std::unique_ptr<qel::os::test::DecimalCommaLocale> locale_;
};

} // namespace

TEST_F(DecimalComma, FloatingConversionsUseAPoint) {
    EXPECT_EQ(formatC("%4.1f dB", -20.0), "-20.0 dB");
    EXPECT_EQ(formatC("%4.1f", 0.0), " 0.0");
    EXPECT_EQ(formatC("%.1f kHz", 44.1), "44.1 kHz");
    EXPECT_EQ(formatC("%g", -6.5), "-6.5");
    EXPECT_EQ(formatC(" (%g dB)", -0.00390625), " (-0.00390625 dB)");
    EXPECT_EQ(formatC("%e", 1234.5), "1.234500e+03");
    EXPECT_EQ(formatC("%E", 1234.5), "1.234500E+03");
    EXPECT_EQ(formatC("%a", 1.5), "0x1.8p+0");
    EXPECT_EQ(formatC("%f", 1e20), "100000000000000000000.000000");
}

TEST_F(DecimalComma, AgreesWithTheCLibraryInTheCLocale) {
    const char* formats[] = {"%f",   "%.0f",  "%.3f",  "%8.2f", "%-8.2f|", "%+.1f", "% .1f", "%08.2f",
                             "%-08.1f|", "%g", "%.3g", "%10g",  "%G",      "%e",    "%.2e",  "%+012.3e",
                             "%.0e", "%.0g", "%.17g", "%.1f dB", "%5.1f%%"};
    const double values[] = {0.0, -0.0, 1.0, -6.5, 0.05, 0.15, 2.5, 99.95, -63.0, 1e-7, 123456789.0, 1e300,
                             std::numeric_limits<double>::denorm_min()};
    for (const char* f : formats)
        for (const double v : values) EXPECT_EQ(formatC(f, v), inC(f, v)) << f << " of " << v;
    for (const double v : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()})
        for (const char* f : {"%f", "%5.1f", "%-6g|", "%E", "%+f", "%08.1f"})
            EXPECT_EQ(formatC(f, v), inC(f, v)) << f << " of " << v;
}

TEST_F(DecimalComma, OtherConversionsAreTheCLibrarys) {
    EXPECT_EQ(formatC("%d %i %u %x %X %o", -3, 7, 12u, 255u, 255u, 8u), "-3 7 12 ff FF 10");
    EXPECT_EQ(formatC("%5d|%-5d|%05d|%+d", 42, 42, 42, 42), "   42|42   |00042|+42");
    EXPECT_EQ(formatC("%ld %lld %zu %lu", -1L, 1LL << 40, std::size_t{9}, 5ul), "-1 1099511627776 9 5");
    EXPECT_EQ(formatC("%hhu %hd", 300 & 0xFF, -2), "44 -2");
    EXPECT_EQ(formatC("0x%08X", 0x1234u), "0x00001234");
    EXPECT_EQ(formatC("%s=%.3s|%6s|%-6s|", "a", "abcdef", "r", "l"), "a=abc|     r|l     |");
    EXPECT_EQ(formatC("%c%c", 'o', 'k'), "ok");
    EXPECT_EQ(formatC("%*d|%-*d|%.*f", 4, 1, 3, 2, 2, 1.005), inC("%*d|%-*d|%.*f", 4, 1, 3, 2, 2, 1.005));
    EXPECT_EQ(formatC("%*.1f|", -6, 2.25), "2.2   |");
    EXPECT_EQ(formatC("100%% of %d", 3), "100% of 3");
    const std::string longText(300, 'x');
    EXPECT_EQ(formatC("[%s]", longText.c_str()), "[" + longText + "]");
    EXPECT_EQ(formatC("plain text"), "plain text");
    EXPECT_EQ(formatC("%.1f %d %s %.2f", 1.25, 4, "and", -0.5), "1.2 4 and -0.50");
}

TEST_F(DecimalComma, ParsesNumbersWithAPoint) {
    EXPECT_EQ(parseNumber("-6.5"), -6.5);
    EXPECT_EQ(parseNumber("+3"), 3.0);
    EXPECT_EQ(parseNumber("0"), 0.0);
    EXPECT_EQ(parseNumber(".5"), 0.5);
    EXPECT_EQ(parseNumber("1e-3"), 1e-3);
    EXPECT_EQ(parseNumber("2.5E2"), 250.0);
    EXPECT_EQ(parseNumber("100"), 100.0);
    // std::string_view without a terminating zero: only the view is read.
    const char digits[] = {'1', '2', '.', '5', '9'};
    EXPECT_EQ(parseNumber(std::string_view(digits, 4)), 12.5);
}

TEST_F(DecimalComma, RefusesEverythingElse) {
    for (const char* bad : {"", "-", "+", "+-1", "-+1", "--1", "-6,5", "6,5", " 1", "1 ", "1x", "0x10", "inf", "-inf",
                            "nan", "1e", "1e999", "-1e999", "1..2", ".", "e3", "1e-400"})
        EXPECT_FALSE(parseNumber(bad).has_value()) << '"' << bad << '"';
    const std::string huge = "1" + std::string(400, '0');
    EXPECT_FALSE(parseNumber(huge).has_value());
}
