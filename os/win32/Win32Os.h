#pragma once
// The platform calls on Windows.
#include <functional>
#include <memory>

#include "os/Os.h"

namespace qel::os {

class Win32Os final : public IOs {
public:
    struct Options {
        // Asked before the hidden notification window is made: false refuses
        // it, as the system may (tests). Empty: always made.
        std::function<bool()> mayCreateWindow;
        // How long the stop waits for the window's thread (a device-change
        // callback that does not return); past it the thread runs on alone.
        std::uint32_t stopLimitMs = 10000;
    };

    Win32Os();
    explicit Win32Os(Options options);
    ~Win32Os() override;

    DevInfoSet getClassDevs(const Guid& interfaceGuid) override;
    void destroyDevInfoSet(DevInfoSet set) override;
    std::uint32_t enumInterface(DevInfoSet set, const Guid& interfaceGuid, std::uint32_t index,
                                std::string& path) override;
    Handle openPath(const std::string& path, bool overlapped, std::uint32_t& error) override;
    void closeHandle(Handle h) override;
    std::uint32_t ioctl(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                        std::uint32_t outLen, std::uint32_t* bytesReturned) override;
    std::uint32_t ioctlOverlapped(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                  std::uint32_t outLen, Overlapped& ov) override;
    std::uint32_t getOverlappedResult(Handle h, Overlapped& ov, std::uint32_t* bytesReturned, bool wait) override;
    std::uint32_t cancelIo(Handle h) override;
    Handle createEvent(bool manualReset, bool initialState) override;
    void setEvent(Handle e) override;
    void resetEvent(Handle e) override;
    std::uint32_t waitForAny(const Handle* handles, std::uint32_t count, std::uint32_t timeoutMs) override;
    std::uint32_t eventValue(Handle e) override;
    Handle registerDeviceNotification(const Guid& interfaceGuid, DeviceChangeCallback callback) override;
    bool unregisterDeviceNotification(Handle registration) override;
    std::string codePageToUtf8(std::string_view text) override;

    struct Notifier;

private:
    std::shared_ptr<Notifier> notifier_;  // shared with the window's thread
};

}  // namespace qel::os
