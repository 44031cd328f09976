#pragma once
// Requests that only the control panel sends, all on the FireWire driver's
// control handle (the shared ones are in device/Requests.h).
#include "device/Requests.h"

namespace qel {

inline constexpr std::uint32_t QEL_REQ_GET_ASIO_NAME_OPTION = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA04);
inline constexpr std::uint32_t QEL_REQ_SET_ASIO_NAME_OPTION = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA05);
inline constexpr std::uint32_t QEL_REQ_GET_CHANNEL_LISTS = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA19);
inline constexpr std::uint32_t QEL_REQ_SET_DEVICE_PROPERTIES = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA49);
inline constexpr std::uint32_t QEL_REQ_GET_STREAM_INFO = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA4A);
inline constexpr std::uint32_t QEL_REQ_GET_CHANNEL_PROPERTIES = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA60);
inline constexpr std::uint32_t QEL_REQ_SET_CHANNEL_PROPERTIES = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xA61);
inline constexpr std::uint32_t QEL_REQ_GET_STREAM_BUFFER = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xAA0);
inline constexpr std::uint32_t QEL_REQ_SET_STREAM_BUFFER = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xAA1);
inline constexpr std::uint32_t QEL_REQ_GET_ASIO_BUFFER = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xAA2);
inline constexpr std::uint32_t QEL_REQ_SET_ASIO_BUFFER = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xAA3);
inline constexpr std::uint32_t QEL_REQ_GET_WDM_BUFFER = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xAA4);
inline constexpr std::uint32_t QEL_REQ_SET_WDM_BUFFER = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xAA5);
inline constexpr std::uint32_t QEL_REQ_GET_STATISTICS = qelRequestCode(QEL_DEVICE_TYPE_1394, 0xAB2);

}  // namespace qel
