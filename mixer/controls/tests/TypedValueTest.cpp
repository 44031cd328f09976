// Reading values typed into the surface's read-outs: what each read-out
// takes, what it refuses, and the notes for the top bar.
#include "mixer/controls/TypedValue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using typed::Problem;
using typed::Read;
using typed::Readout;
using typed::Target;

void ExpectValue(const char* text, Readout readout, Target target, int value)
{
    SCOPED_TRACE(text);
    const typed::Entry e = Read(text, readout);
    EXPECT_EQ(e.problem, Problem::None);
    EXPECT_TRUE(e.ok());
    EXPECT_EQ(e.target, target);
    EXPECT_EQ(e.value, value);
}

void ExpectProblem(std::string_view text, Readout readout, Problem problem)
{
    SCOPED_TRACE(std::string(text));
    const typed::Entry e = Read(text, readout);
    EXPECT_EQ(e.problem, problem);
    EXPECT_FALSE(e.ok());
}

TEST(TypedValue, LevelReadoutTakesDecibelsWithOrWithoutTheUnit)
{
    ExpectValue("-12", Readout::Level, Target::Volume, -12);
    ExpectValue("-12 dB", Readout::Level, Target::Volume, -12);
    ExpectValue("-12dB", Readout::Level, Target::Volume, -12);
    ExpectValue("  -12   DB ", Readout::Level, Target::Volume, -12);
    ExpectValue("-12.0", Readout::Level, Target::Volume, -12);
    // Whole dB toward zero, as every level the device gets.
    ExpectValue("-12.9 dB", Readout::Level, Target::Volume, -12);
    ExpectValue("-0.5", Readout::Level, Target::Volume, 0);
    ExpectValue("0", Readout::Level, Target::Volume, 0);
    ExpectValue("+0", Readout::Level, Target::Volume, 0);
    ExpectValue("-63", Readout::Level, Target::Volume, -63);
    ExpectValue("-063", Readout::Level, Target::Volume, -63);
}

TEST(TypedValue, PanTextsOnLevelAndCrossfadeReadouts)
{
    for (Readout r : {Readout::Level, Readout::Crossfade}) {
        ExpectValue("L20", r, Target::Position, -20);
        ExpectValue("R5", r, Target::Position, 5);
        ExpectValue("C", r, Target::Position, 0);
        ExpectValue("c", r, Target::Position, 0);
        ExpectValue("l 20", r, Target::Position, -20);
        ExpectValue(" r127 ", r, Target::Position, 127);
        ExpectValue("L127", r, Target::Position, -127);
        ExpectValue("L0", r, Target::Position, 0);
    }
    // The crossfader's read-out shows the plain position: it takes it back.
    ExpectValue("-20", Readout::Crossfade, Target::Position, -20);
    ExpectValue("127", Readout::Crossfade, Target::Position, 127);
    ExpectValue("5.7", Readout::Crossfade, Target::Position, 5);
}

TEST(TypedValue, TextItCannotReadIsUnreadable)
{
    for (Readout r : {Readout::Level, Readout::Crossfade}) {
        ExpectProblem("", r, Problem::Empty);
        ExpectProblem("   ", r, Problem::Empty);
        for (const char* bad : {"L", "R", "L ", "abc", "-12 dBx", "dB", "-", "+", ".", "--12", "- 12",
                                "1e3", "0x10", "nan", "inf", "-12,5", "12dBdB", "L-5", "L+5", "L20 dB",
                                "L20.5", "C5", "CL", "R5L", "12 L", "\xC3\xA9", "-12\t\tdBx"})
            ExpectProblem(bad, r, Problem::Unreadable);
    }
    // A NUL inside the text is no end of it.
    ExpectProblem(std::string_view("-12\0", 4), Readout::Level, Problem::Unreadable);
}

TEST(TypedValue, ValuesBeyondTheRangeAreRefusedNotClamped)
{
    for (const char* far : {"-64", "-63.5", "1", "0.5", "+3 dB", "-120", "-99999999999999999999999",
                            "99999999999999999999999999999999999999 dB"}) {
        SCOPED_TRACE(far);
        const typed::Entry e = Read(far, Readout::Level);
        EXPECT_EQ(e.problem, Problem::OutOfRange);
        EXPECT_EQ(e.target, Target::Volume);
    }
    for (Readout r : {Readout::Level, Readout::Crossfade}) {
        for (const char* far : {"R999", "L128", "R00000000000000000000000000128", "L99999999999999999999"}) {
            SCOPED_TRACE(far);
            const typed::Entry e = Read(far, r);
            EXPECT_EQ(e.problem, Problem::OutOfRange);
            EXPECT_EQ(e.target, Target::Position);
        }
    }
    ExpectProblem("-128", Readout::Crossfade, Problem::OutOfRange);
    ExpectProblem("1000000", Readout::Crossfade, Problem::OutOfRange);
    // Leading zeros make no number huge.
    ExpectValue("R0000000000000000000005", Readout::Level, Target::Position, 5);
}

TEST(TypedValue, TheCrossfaderTakesNoLevel)
{
    ExpectProblem("-12 dB", Readout::Crossfade, Problem::NotHere);
    ExpectProblem("0dB", Readout::Crossfade, Problem::NotHere);
}

TEST(TypedValue, NotesAreShortAndPrintable)
{
    auto note = [](std::string_view text, Readout r) { return typed::Note(Read(text, r), text, r); };
    EXPECT_EQ(note("-12", Readout::Level), "");
    EXPECT_EQ(note("", Readout::Level), "No value typed");
    EXPECT_EQ(note("abc", Readout::Level), "Cannot read \"abc\"");
    EXPECT_EQ(note("-70", Readout::Level), "Volume is -63 to 0 dB");
    EXPECT_EQ(note("R999", Readout::Level), "Pan is L127 to R127");
    EXPECT_EQ(note("R999", Readout::Crossfade), "Crossfader is L127 to R127");
    EXPECT_EQ(note("-12 dB", Readout::Crossfade), "Crossfader takes L, R, C or a number");
    // Long or non-ASCII text is cut and made printable for the LED display.
    const std::string longText(500, 'x');
    const std::string cut = note(longText + "\x01\xFF", Readout::Level);
    EXPECT_EQ(cut, "Cannot read \"" + std::string(16, 'x') + "...\"");
    EXPECT_EQ(note("a\tb\x01\xC3\xA9", Readout::Level), "Cannot read \"a?b???\"");
    for (const std::string& n : {cut, note("\x7F\x80", Readout::Crossfade)}) {
        EXPECT_LE(n.size(), 40u);
        for (char c : n)
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << n;
    }
}

} // namespace
