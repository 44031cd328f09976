#pragma once
// Window messages the device layer posts for driver and AV/C events.
#include <cstdint>

namespace qel {

inline constexpr std::uint32_t QEL_MSG_DRIVER_EVENT = 0x8001;    // wParam: event code
inline constexpr std::uint32_t QEL_MSG_DIGITAL_INPUT = 0x8002;   // wParam: the AVCDigitalInDetectionCMD
inline constexpr std::uint32_t QEL_MSG_DEVICE_MESSAGE = 0x8004;  // wParam: the vendor command 7 object
// Device-interface arrival or removal (wParam 0x8000 or 0x8004), as the
// platform's device-change broadcast.
inline constexpr std::uint32_t QEL_MSG_DEVICE_CHANGE = 0x0219;

// wParam of the last message a registered window receives.
inline constexpr std::uint32_t QEL_EVENT_UNREGISTERED = 120;

// Driver event codes.
inline constexpr std::uint32_t QEL_EVENT_BUS_RESET = 1;
inline constexpr std::uint32_t QEL_EVENT_STREAMING_RESTARTED = 2;
inline constexpr std::uint32_t QEL_EVENT_CONFIGURATION_CHANGED = 3;

// How long closing a device waits for an event thread to end.
inline constexpr std::uint32_t QEL_EVENT_THREAD_STOP_MS = 10000;

}  // namespace qel
