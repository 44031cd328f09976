#pragma once
// The request codes the substitute drivers accept, written out as the driver
// contract gives them (not computed, so that the device layer's code
// arithmetic is checked against an independent table).
#include <cstdint>
#include <string>

namespace qel::sim {

namespace req {
// Control handle, FireWire (device type 0x8088).
inline constexpr std::uint32_t kGetDriverVersion = 0x80882804;
inline constexpr std::uint32_t kRegisterEvent = 0x80882820;
inline constexpr std::uint32_t kGetEvent = 0x80882828;
inline constexpr std::uint32_t kGetDeviceList = 0x80882860;
inline constexpr std::uint32_t kGetSyncSettings = 0x80882880;
inline constexpr std::uint32_t kSetSyncSettings = 0x80882884;
inline constexpr std::uint32_t kGetSyncParameter = 0x80882888;
inline constexpr std::uint32_t kSetSyncParameter = 0x8088288C;
inline constexpr std::uint32_t kGetSampleRateInfo = 0x808828C0;
inline constexpr std::uint32_t kSetSampleRate = 0x808828C4;
inline constexpr std::uint32_t kGetSyncModeInfo = 0x80882900;
inline constexpr std::uint32_t kSetSyncMode = 0x80882904;
inline constexpr std::uint32_t kGetDeviceProperties = 0x80882920;
inline constexpr std::uint32_t kEndSyncChange = 0x80882A00;
inline constexpr std::uint32_t kBeginSyncChange = 0x80882A04;
// Control handle, FireWire: the control panel's own requests.
inline constexpr std::uint32_t kGetAsioNameOption = 0x80882810;
inline constexpr std::uint32_t kSetAsioNameOption = 0x80882814;
inline constexpr std::uint32_t kGetChannelLists = 0x80882864;
inline constexpr std::uint32_t kSetDeviceProperties = 0x80882924;
inline constexpr std::uint32_t kGetStreamInfo = 0x80882928;
inline constexpr std::uint32_t kGetChannelProperties = 0x80882980;
inline constexpr std::uint32_t kSetChannelProperties = 0x80882984;
inline constexpr std::uint32_t kGetStreamBuffer = 0x80882A80;
inline constexpr std::uint32_t kSetStreamBuffer = 0x80882A84;
inline constexpr std::uint32_t kGetAsioBuffer = 0x80882A88;
inline constexpr std::uint32_t kSetAsioBuffer = 0x80882A8C;
inline constexpr std::uint32_t kGetWdmBuffer = 0x80882A90;
inline constexpr std::uint32_t kSetWdmBuffer = 0x80882A94;
inline constexpr std::uint32_t kGetStatistics = 0x80882AC8;
// Per-device handle, FireWire.
inline constexpr std::uint32_t kGetOwnDeviceProperties = 0x80882B00;
inline constexpr std::uint32_t kGetDeviceCapabilities = 0x80882C08;
inline constexpr std::uint32_t kAsyncReadBlock = 0x80882C56;
inline constexpr std::uint32_t kAvcTransaction = 0x80883004;
inline constexpr std::uint32_t kGetNotifyResponse = 0x80883008;
inline constexpr std::uint32_t kRegisterNotifyEvent = 0x8088300C;
inline constexpr std::uint32_t kCancelNotify = 0x80883010;
// USB device handle (device type 0x8089).
inline constexpr std::uint32_t kUsbGetDescriptor = 0x80892004;
inline constexpr std::uint32_t kUsbControlTransfer = 0x80892014;
inline constexpr std::uint32_t kUsb806 = 0x80892018;
}  // namespace req

// The USB driver uses the same function numbers under device type 0x8089.
constexpr std::uint32_t usbCode(std::uint32_t fwCode) { return (fwCode & 0xFFFF) | 0x80890000u; }

// "QEL_REQ_GET_DEVICE_LIST" for a known code (either bus), else "0x%08X".
std::string requestName(std::uint32_t code);
// The inverse, for injection commands that name a request; 0 when unknown.
std::uint32_t requestCode(const std::string& name);

}  // namespace qel::sim
