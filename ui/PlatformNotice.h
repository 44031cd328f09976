#pragma once
// What a window of a program on the simulated rig adds to its title and its
// About box, so nobody takes the rig for hardware. On the interfaces'
// drivers the texts stay as they are.
#include <QString>

#include "os/Os.h"

// `title` with " (simulated rig)" on the rig.
inline QString WithPlatformNotice(const QString& title, const qel::os::IOs& platform)
{
    return platform.simulated() ? title + QLatin1String(qel::os::kSimulatedRigNotice) : title;
}

// The About boxes' line on the rig.
inline constexpr const char* kSimulatedRigAboutText = "Running on the simulated rig, not on the hardware.";
