#pragma once
// Request codes: device type in bits 31..16, access 0 in bits 15..14, function
// number in bits 13..2, transfer method in bits 1..0.
#include <cstdint>

namespace qel {

inline constexpr std::uint32_t QEL_DEVICE_TYPE_1394 = 0x8088;
inline constexpr std::uint32_t QEL_DEVICE_TYPE_USB = 0x8089;
inline constexpr std::uint32_t QEL_METHOD_BUFFERED = 0;
inline constexpr std::uint32_t QEL_METHOD_OUT_DIRECT = 2;

constexpr std::uint32_t qelRequestCode(std::uint32_t deviceType, std::uint32_t function,
                                       std::uint32_t method = QEL_METHOD_BUFFERED) {
    return deviceType << 16 | (function & 0xFFF) << 2 | (method & 3);
}
// The same request on the USB driver.
constexpr std::uint32_t qelUsbCode(std::uint32_t code) { return (code & 0xFFFF) | QEL_DEVICE_TYPE_USB << 16; }

// Driver control handle.
inline constexpr std::uint32_t QEL_REQ_GET_DRIVER_VERSION = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA01);
inline constexpr std::uint32_t QEL_REQ_REGISTER_EVENT = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA08);
inline constexpr std::uint32_t QEL_REQ_GET_EVENT = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA0A);
inline constexpr std::uint32_t QEL_REQ_GET_DEVICE_LIST = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA18);
inline constexpr std::uint32_t QEL_REQ_GET_SYNC_SETTINGS = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA20);
inline constexpr std::uint32_t QEL_REQ_SET_SYNC_SETTINGS = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA21);
inline constexpr std::uint32_t QEL_REQ_GET_SYNC_PARAMETER = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA22);
inline constexpr std::uint32_t QEL_REQ_SET_SYNC_PARAMETER = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA23);
inline constexpr std::uint32_t QEL_REQ_GET_SAMPLE_RATE_INFO = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA30);
inline constexpr std::uint32_t QEL_REQ_SET_SAMPLE_RATE = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA31);
inline constexpr std::uint32_t QEL_REQ_GET_SYNC_MODE_INFO = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA40);
inline constexpr std::uint32_t QEL_REQ_SET_SYNC_MODE = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA41);
inline constexpr std::uint32_t QEL_REQ_GET_DEVICE_PROPERTIES = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA48);
inline constexpr std::uint32_t QEL_REQ_END_SYNC_CHANGE = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA80);
inline constexpr std::uint32_t QEL_REQ_BEGIN_SYNC_CHANGE = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA81);

// Per-device handle.
inline constexpr std::uint32_t QEL_REQ_GET_OWN_DEVICE_PROPERTIES = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xAC0);
inline constexpr std::uint32_t QEL_REQ_GET_DEVICE_CAPABILITIES = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xB02);
inline constexpr std::uint32_t QEL_REQ_ASYNC_READ_BLOCK =
    qelRequestCode(QEL_DEVICE_TYPE_1394, 0xB15, QEL_METHOD_OUT_DIRECT);
inline constexpr std::uint32_t QEL_REQ_AVC_TRANSACTION = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xC01);
inline constexpr std::uint32_t QEL_REQ_GET_NOTIFY_RESPONSE = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xC02);
inline constexpr std::uint32_t QEL_REQ_REGISTER_NOTIFY_EVENT = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xC03);
inline constexpr std::uint32_t QEL_REQ_CANCEL_NOTIFY = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xC04);

}  // namespace qel
