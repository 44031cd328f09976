#pragma once
// Conversions between control positions, decibels and device values shared
// by all strips. Every double-to-integer conversion truncates toward zero.
#include <string>

namespace scaling {

inline constexpr int kVolumeMin = -63; // dB at the bottom of a fader
inline constexpr int kVolumeMax = 0;
inline constexpr int kFaderMax = 63;   // fader position of -63 dB
inline constexpr int kPanMin = -127;
inline constexpr int kPanMax = 127;
inline constexpr int kMeterMax = 100;  // dark; 0 is fully lit

int Clamp(int value, int low, int high);
double Clamp(double value, double low, double high);
int Truncate(double value);

// Device level in dB to fader position: -level truncated (the slider clamps).
int FaderPosFromLevel(double levelDb);
// Fader position to the whole-dB level sent to the device, -63..0.
int LevelFromFaderPos(int position);
// The value a read-out shows for a whole-dB level: t / 10 with t = trunc(10 * level - 0.5).
double ReadoutFromLevel(int level);

// Read-out texts: "%4.1f" and "%4.1f dB".
std::string FormatLevel(double level);
std::string FormatLevelDb(double level);

// Pan or balance from the device to a slider position; clamped first when clamp is set.
int BalancePosFromDevice(double value, bool clamp = true);
// Stereo input pan position to the device value (unchanged, clamped).
int PanToDevice(int position);
// Output balance position to the device value: negated and clamped; with the
// main out's dead zone positions -2..2 count as 0.
int BalanceToDevice(int position, bool deadZone);
// The balance position as the read-out shows it (dead zone applied).
int BalanceShown(int position, bool deadZone);

// The pan value an output's UM_BALANCE value (-127..127) asks of the device:
// exponential in the value, negated on FireWire.
double OutputBalanceRequest(int value, bool fireWire);

// Crossfader: the device value is the negated position and back.
int CrossfadeToDevice(int position);
int CrossfadePosFromDevice(double value);

// Level meter position for a reading in percent of full scale (0 = fully lit).
int MeterPosFromReading(double percent);

} // namespace scaling
