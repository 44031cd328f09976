#include "mixer/controls/ValueScaling.h"

#include "os/NumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace scaling {

int Clamp(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

double Clamp(double value, double low, double high)
{
    return value < low ? low : value > high ? high : value;
}

int Truncate(double value)
{
    // Out-of-range doubles would be undefined behaviour in the cast.
    if (std::isnan(value))
        return 0;
    value = Clamp(value, -2147483647.0, 2147483647.0);
    return static_cast<int>(value);
}

int FaderPosFromLevel(double levelDb)
{
    return Truncate(-levelDb);
}

int LevelFromFaderPos(int position)
{
    return Clamp(-position, kVolumeMin, kVolumeMax);
}

double ReadoutFromLevel(int level)
{
    // Integer first: a double -0.0 would print as "-0.0".
    const int tenths = Truncate(10.0 * level - 0.5);
    return tenths / 10.0;
}

namespace {

std::string Format(const char* format, double value)
{
    return qel::os::formatC(format, value);
}

} // namespace

std::string FormatLevel(double level)
{
    return Format("%4.1f", level);
}

std::string FormatLevelDb(double level)
{
    return Format("%4.1f dB", level);
}

int BalancePosFromDevice(double value, bool clamp)
{
    if (clamp)
        value = Clamp(value, double(kPanMin), double(kPanMax));
    return Truncate(-value);
}

int PanToDevice(int position)
{
    return Clamp(position, kPanMin, kPanMax);
}

int BalanceShown(int position, bool deadZone)
{
    return deadZone && position >= -2 && position <= 2 ? 0 : position;
}

int BalanceToDevice(int position, bool deadZone)
{
    return Clamp(-BalanceShown(position, deadZone), kPanMin, kPanMax);
}

int CrossfadeToDevice(int position)
{
    return -position;
}

double OutputBalanceRequest(int value, bool fireWire)
{
    const int v = Clamp(value, kPanMin, kPanMax);
    const double divisor = v <= 0 ? 4.51 : -4.51;
    const double request = (std::exp(std::abs(v) / 20.0) + 1.0) / divisor;
    return fireWire ? -request : request;
}

int CrossfadePosFromDevice(double value)
{
    return Truncate(-value);
}

int MeterPosFromReading(double percent)
{
    return Clamp(Truncate(kMeterMax - percent), 0, kMeterMax);
}

} // namespace scaling
