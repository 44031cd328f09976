#pragma once
// Messages of the mixer surface. Sliders report to their element; elements
// report to their container. The first parameter is split into a high word
// and a low word unless noted.

// Slider to element: first parameter the slider's control id, second its position.
inline constexpr unsigned UM_SLIDER_MOVED = 0x28D1;
inline constexpr unsigned UM_SLIDER_RELEASED = 0x28D2;

// Element to container.
inline constexpr unsigned UM_VOLUME = 0x291D;       // block id | channel; level in whole dB, -63..0
inline constexpr unsigned UM_MUTE = 0x291F;         // block id | 0; previous mute word (outputs) or meter index (input)
inline constexpr unsigned UM_SOLO = 0x2920;         // 0 | 0; meter index of the side
inline constexpr unsigned UM_SYNC_SOURCE = 0x2921;  // 0 | 0; sync source index 0..4
inline constexpr unsigned UM_DIGITAL_MODE = 0x2922; // 0 | 0; digital mode index 0..3
inline constexpr unsigned UM_SAMPLE_RATE = 0x2923;  // 0 | 0; rate in Hz
inline constexpr unsigned UM_CROSSFADE = 0x2924;    // block id | 0; crossfader value
inline constexpr unsigned UM_PAN = 0x2925;          // block id | channel (1, 2); pan -127..127
inline constexpr unsigned UM_BALANCE = 0x2926;      // block id | 0; balance -127..127
