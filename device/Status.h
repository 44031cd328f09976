#pragma once
// Status codes of the device layer. 0 is success; values below 0xE0000000 are
// platform errors passed through unchanged.
#include <cstdint>
#include <string>

namespace qel {

using Status = std::uint32_t;

inline constexpr Status QEL_OK = 0;
inline constexpr Status QEL_E_FAILED = 0xE0000001;
inline constexpr Status QEL_E_NO_MEMORY = 0xE0000002;
inline constexpr Status QEL_E_TIMEOUT = 0xE0000005;
inline constexpr Status QEL_E_NO_MORE_INTERFACES = 0xE0000007;
inline constexpr Status QEL_E_NO_PNP_EVENTS = 0xE0000012;
inline constexpr Status QEL_E_NOT_OPEN = 0xE0000013;
inline constexpr Status QEL_E_VERSION_MISMATCH = 0xE0000014;
inline constexpr Status QEL_E_ALREADY_OPEN = 0xE0000020;
inline constexpr Status QEL_E_BAD_CALL = 0xE0000030;
inline constexpr Status QEL_E_BAD_LENGTH = 0xE0000037;
inline constexpr Status QEL_E_DEVICE_NOT_FOUND = 0xE0000040;
inline constexpr Status QEL_E_NO_DEVICES = 0xE0000042;
inline constexpr Status QEL_E_NO_EVENT = 0xE0000100;
inline constexpr Status QEL_E_OPEN_FAILED = 0xE0008001;
inline constexpr Status QEL_E_DEVICE_NOT_OPEN = 0xE0008002;
inline constexpr Status QEL_E_WAIT_TIMEOUT = 0xE0008003;
inline constexpr Status QEL_E_INVALID_ARG = 0xE0008008;
inline constexpr Status QEL_E_NO_MORE_DEVICES = 0xE0008010;
inline constexpr Status QEL_E_OUT_OF_MEMORY = 0xE0008020;

// The driver's answer while a WDM sound device is in use.
inline constexpr Status QEL_E_WDM_DEVICE_IN_USE = 0xE0000047;

// "QEL_E_NOT_OPEN", "ERROR_INVALID_PARAMETER", ... or "" for a code without a name.
std::string statusName(Status status);
// "0xE0000013 QEL_E_NOT_OPEN" (the name left out when unknown).
std::string statusText(Status status);

}  // namespace qel
