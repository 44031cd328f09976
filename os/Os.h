#pragma once
// The operating-system seam. Every call the device layer makes to the platform
// goes through this interface: os/win32 implements it with the Windows API, the
// simulated rig (os/sim) with the substitute drivers.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "os/Guid.h"

namespace qel::os {

// Platform error codes that the device layer looks at or produces.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorOperationAborted = 995;
inline constexpr std::uint32_t kErrorIoIncomplete = 996;
inline constexpr std::uint32_t kErrorIoPending = 997;
inline constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

// Wait results, as the platform gives them.
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

// Device-change broadcast codes.
inline constexpr std::uint32_t kDeviceArrival = 0x8000;
inline constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;

// What a program on the simulated rig adds to its window titles, its About
// box and qelctl's help and version, so nobody takes the rig for hardware.
inline constexpr const char* kSimulatedRigNotice = " (simulated rig)";

// Opaque platform handles (files, events, enumeration sets, notifications).
using Handle = void*;
using DevInfoSet = void*;

// The storage of one overlapped request. The platform keeps its own record in
// `opaque`; `event` is signalled when the request completes.
struct Overlapped {
    alignas(8) unsigned char opaque[32]{};
    Handle event = nullptr;
};

class IOs {
public:
    virtual ~IOs() = default;

    // True on the simulated rig, false on the interfaces' drivers.
    virtual bool simulated() const { return false; }

    // Device-interface enumeration of present devices (flags present | interface).
    virtual DevInfoSet getClassDevs(const Guid& interfaceGuid) = 0;  // null on failure
    virtual void destroyDevInfoSet(DevInfoSet set) = 0;
    // The interface `index` of the set: 0 with its path, kErrorNoMoreItems past the
    // last one, or another platform error.
    virtual std::uint32_t enumInterface(DevInfoSet set, const Guid& interfaceGuid, std::uint32_t index,
                                        std::string& path) = 0;

    // Opens a control endpoint ("\\.\{GUID}") or a device-interface path, read and
    // write, shared, open-existing. Null and `error` set on failure.
    virtual Handle openPath(const std::string& path, bool overlapped, std::uint32_t& error) = 0;
    virtual void closeHandle(Handle h) = 0;

    // Synchronous request: 0 or the platform error.
    virtual std::uint32_t ioctl(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                std::uint32_t outLen, std::uint32_t* bytesReturned) = 0;
    // Overlapped request: 0 when it completed at once, kErrorIoPending when it
    // runs on, or another error. The buffers must live until it completes.
    virtual std::uint32_t ioctlOverlapped(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen,
                                          void* out, std::uint32_t outLen, Overlapped& ov) = 0;
    // The result of an overlapped request: 0 or its error; kErrorIoIncomplete when
    // `wait` is false and it is still running.
    virtual std::uint32_t getOverlappedResult(Handle h, Overlapped& ov, std::uint32_t* bytesReturned,
                                              bool wait) = 0;
    virtual std::uint32_t cancelIo(Handle h) = 0;

    // Events.
    virtual Handle createEvent(bool manualReset, bool initialState) = 0;  // null on failure
    virtual void setEvent(Handle e) = 0;
    virtual void resetEvent(Handle e) = 0;
    // kWaitObject0 + i for the first signalled handle, kWaitTimeout, or kWaitFailed.
    virtual std::uint32_t waitForAny(const Handle* handles, std::uint32_t count, std::uint32_t timeoutMs) = 0;
    // The 32-bit value of an event as it travels inside a request buffer.
    virtual std::uint32_t eventValue(Handle e) = 0;

    // Device-interface arrival and removal for an interface class. The callback
    // receives kDeviceArrival or kDeviceRemoveComplete and the interface path; it
    // runs on a platform thread. Returns null when the platform refuses.
    using DeviceChangeCallback = std::function<void(std::uint32_t eventCode, const std::string& path)>;
    virtual Handle registerDeviceNotification(const Guid& interfaceGuid, DeviceChangeCallback callback) = 0;
    virtual bool unregisterDeviceNotification(Handle registration) = 0;

    // 8-bit text in the system code page to UTF-8.
    virtual std::string codePageToUtf8(std::string_view text) = 0;

    std::uint32_t waitForOne(Handle h, std::uint32_t timeoutMs) { return waitForAny(&h, 1, timeoutMs); }
};

}  // namespace qel::os
