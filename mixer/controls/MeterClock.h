#pragma once
// Milliseconds on a steady clock, for the peak mark and the clip lamp. Tests
// put in their own.
#include <QtGlobal>

#include <functional>

using MeterClock = std::function<qint64()>;

MeterClock SteadyMeterClock();
