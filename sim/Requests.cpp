#include "sim/Requests.h"

#include <cstdio>
#include <iterator>

namespace qel::sim {

namespace {
struct Entry {
    std::uint32_t code;
    const char* name;
};
constexpr Entry kNames[] = {
    {req::kGetDriverVersion, "QEL_REQ_GET_DRIVER_VERSION"},
    {req::kRegisterEvent, "QEL_REQ_REGISTER_EVENT"},
    {req::kGetEvent, "QEL_REQ_GET_EVENT"},
    {req::kGetDeviceList, "QEL_REQ_GET_DEVICE_LIST"},
    {req::kGetSyncSettings, "QEL_REQ_GET_SYNC_SETTINGS"},
    {req::kSetSyncSettings, "QEL_REQ_SET_SYNC_SETTINGS"},
    {req::kGetSyncParameter, "QEL_REQ_GET_SYNC_PARAMETER"},
    {req::kSetSyncParameter, "QEL_REQ_SET_SYNC_PARAMETER"},
    {req::kGetSampleRateInfo, "QEL_REQ_GET_SAMPLE_RATE_INFO"},
    {req::kSetSampleRate, "QEL_REQ_SET_SAMPLE_RATE"},
    {req::kGetSyncModeInfo, "QEL_REQ_GET_SYNC_MODE_INFO"},
    {req::kSetSyncMode, "QEL_REQ_SET_SYNC_MODE"},
    {req::kGetDeviceProperties, "QEL_REQ_GET_DEVICE_PROPERTIES"},
    {req::kEndSyncChange, "QEL_REQ_END_SYNC_CHANGE"},
    {req::kBeginSyncChange, "QEL_REQ_BEGIN_SYNC_CHANGE"},
    {req::kGetAsioNameOption, "QEL_REQ_GET_ASIO_NAME_OPTION"},
    {req::kSetAsioNameOption, "QEL_REQ_SET_ASIO_NAME_OPTION"},
    {req::kGetChannelLists, "QEL_REQ_GET_CHANNEL_LISTS"},
    {req::kSetDeviceProperties, "QEL_REQ_SET_DEVICE_PROPERTIES"},
    {req::kGetStreamInfo, "QEL_REQ_GET_STREAM_INFO"},
    {req::kGetChannelProperties, "QEL_REQ_GET_CHANNEL_PROPERTIES"},
    {req::kSetChannelProperties, "QEL_REQ_SET_CHANNEL_PROPERTIES"},
    {req::kGetStreamBuffer, "QEL_REQ_GET_STREAM_BUFFER"},
    {req::kSetStreamBuffer, "QEL_REQ_SET_STREAM_BUFFER"},
    {req::kGetAsioBuffer, "QEL_REQ_GET_ASIO_BUFFER"},
    {req::kSetAsioBuffer, "QEL_REQ_SET_ASIO_BUFFER"},
    {req::kGetWdmBuffer, "QEL_REQ_GET_WDM_BUFFER"},
    {req::kSetWdmBuffer, "QEL_REQ_SET_WDM_BUFFER"},
    {req::kGetStatistics, "QEL_REQ_GET_STATISTICS"},
    {req::kGetOwnDeviceProperties, "QEL_REQ_GET_OWN_DEVICE_PROPERTIES"},
    {req::kGetDeviceCapabilities, "QEL_REQ_GET_DEVICE_CAPABILITIES"},
    {req::kAsyncReadBlock, "QEL_REQ_ASYNC_READ_BLOCK"},
    {req::kAvcTransaction, "QEL_REQ_AVC_TRANSACTION"},
    {req::kGetNotifyResponse, "QEL_REQ_GET_NOTIFY_RESPONSE"},
    {req::kRegisterNotifyEvent, "QEL_REQ_REGISTER_NOTIFY_EVENT"},
    {req::kCancelNotify, "QEL_REQ_CANCEL_NOTIFY"},
    {req::kUsbGetDescriptor, "QEL_USB_REQ_GET_DESCRIPTOR"},
    {req::kUsbControlTransfer, "QEL_USB_REQ_CONTROL_TRANSFER"},
    {req::kUsb806, "QEL_USB_REQ_806"},
};
}  // namespace

std::string requestName(std::uint32_t code) {
    for (const Entry& e : kNames)
        if (e.code == code || usbCode(e.code) == code) return e.name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(code));
    return buf;
}

std::uint32_t requestCode(const std::string& name) {
    for (const Entry& e : kNames)
        if (name == e.name) return e.code;
    return 0;
}

}  // namespace qel::sim
