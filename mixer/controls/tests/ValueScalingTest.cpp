#include "mixer/controls/ValueScaling.h"
#include "os/tests/DecimalCommaLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace scaling;

TEST(ValueScaling, DeviceLevelToFaderTruncatesTowardZero)
{
    EXPECT_EQ(FaderPosFromLevel(-63.5), 63);
    EXPECT_EQ(FaderPosFromLevel(0.4), 0);
    EXPECT_EQ(FaderPosFromLevel(-20.7), 20);
    EXPECT_EQ(FaderPosFromLevel(-12.5), 12);
    // Out of range values are left to the slider's clamp.
    EXPECT_EQ(FaderPosFromLevel(-70.0), 70);
    EXPECT_EQ(FaderPosFromLevel(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(FaderPosFromLevel(-1e12), std::numeric_limits<int>::max());
}

TEST(ValueScaling, FaderToDeviceLevelIsClampedWholeDecibels)
{
    EXPECT_EQ(LevelFromFaderPos(0), 0);
    EXPECT_EQ(LevelFromFaderPos(20), -20);
    EXPECT_EQ(LevelFromFaderPos(63), -63);
    EXPECT_EQ(LevelFromFaderPos(64), -63);
    EXPECT_EQ(LevelFromFaderPos(-3), 0);
}

TEST(ValueScaling, ReadoutNeverShowsNegativeZero)
{
    EXPECT_FALSE(std::signbit(ReadoutFromLevel(0)));
    EXPECT_EQ(FormatLevel(ReadoutFromLevel(0)), " 0.0");
    EXPECT_EQ(FormatLevelDb(ReadoutFromLevel(0)), " 0.0 dB");
    EXPECT_EQ(FormatLevel(ReadoutFromLevel(-20)), "-20.0");
    EXPECT_EQ(FormatLevelDb(ReadoutFromLevel(-63)), "-63.0 dB");
    // Device levels are shown as they come.
    EXPECT_EQ(FormatLevel(-12.5), "-12.5");
    EXPECT_EQ(FormatLevelDb(-6.0), "-6.0 dB");
    // Every whole level reads back as itself.
    for (int level = -63; level <= 0; ++level)
        EXPECT_DOUBLE_EQ(ReadoutFromLevel(level), level) << level;
}

TEST(ValueScaling, BalanceFromDeviceIsClampedAndNegated)
{
    EXPECT_EQ(BalancePosFromDevice(200), -127);
    EXPECT_EQ(BalancePosFromDevice(-300), 127);
    EXPECT_EQ(BalancePosFromDevice(40.7), -40);
    EXPECT_EQ(BalancePosFromDevice(-0.9), 0);
    // The headphone strip leaves clamping to its slider.
    EXPECT_EQ(BalancePosFromDevice(200, false), -200);
}

TEST(ValueScaling, OutputBalanceDeadZoneOnlyOnMainOut)
{
    for (int p : {-2, -1, 0, 1, 2}) {
        EXPECT_EQ(BalanceToDevice(p, true), 0) << p;
        EXPECT_EQ(BalanceShown(p, true), 0) << p;
    }
    EXPECT_EQ(BalanceToDevice(3, true), -3);
    EXPECT_EQ(BalanceToDevice(-3, true), 3);
    EXPECT_EQ(BalanceShown(3, true), 3);
    EXPECT_EQ(BalanceToDevice(2, false), -2);
    EXPECT_EQ(BalanceToDevice(-50, false), 50);
    EXPECT_EQ(BalanceToDevice(-128, false), 127);
    EXPECT_EQ(BalanceToDevice(200, true), -127);
}

TEST(ValueScaling, PanCrossfadeAndMeters)
{
    EXPECT_EQ(PanToDevice(-127), -127);
    EXPECT_EQ(PanToDevice(130), 127);
    EXPECT_EQ(CrossfadeToDevice(-127), 127);
    EXPECT_EQ(CrossfadeToDevice(127), -127);
    EXPECT_EQ(CrossfadePosFromDevice(40.7), -40);
    EXPECT_EQ(MeterPosFromReading(0), 100);
    EXPECT_EQ(MeterPosFromReading(100), 0);
    EXPECT_EQ(MeterPosFromReading(37.5), 62);
    EXPECT_EQ(MeterPosFromReading(150), 0);
    EXPECT_EQ(MeterPosFromReading(-5), 100);
}

TEST(ValueScaling, ReadoutsUseAPointUnderADecimalCommaLocale)
{
    const qel::os::test::DecimalCommaLocale german;
    if (!german.active()) GTEST_SKIP() << german.kMissing;
    EXPECT_EQ(FormatLevel(-20.0), "-20.0");
    EXPECT_EQ(FormatLevel(-6.5), "-6.5");
    EXPECT_EQ(FormatLevelDb(-12.0), "-12.0 dB");
    EXPECT_EQ(FormatLevelDb(ReadoutFromLevel(0)), " 0.0 dB");
}
