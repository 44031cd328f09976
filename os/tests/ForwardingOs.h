#pragma once
// Test helper: a platform that forwards every call to another one and tells
// as simulated() what the test says. With `simulated` false, the programs'
// windows on the rig look as they do on the interfaces' drivers.
#include "os/Os.h"

namespace qel::os {

class ForwardingOs final : public IOs {
public:
    ForwardingOs(IOs& target, bool simulated) : t_(target), simulated_(simulated) {}

    bool simulated() const override { return simulated_; }
    DevInfoSet getClassDevs(const Guid& g) override { return t_.getClassDevs(g); }
    void destroyDevInfoSet(DevInfoSet set) override { t_.destroyDevInfoSet(set); }
    std::uint32_t enumInterface(DevInfoSet set, const Guid& g, std::uint32_t index, std::string& path) override {
        return t_.enumInterface(set, g, index, path);
    }
    Handle openPath(const std::string& path, bool overlapped, std::uint32_t& error) override {
        return t_.openPath(path, overlapped, error);
    }
    void closeHandle(Handle h) override { t_.closeHandle(h); }
    std::uint32_t ioctl(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                        std::uint32_t outLen, std::uint32_t* bytesReturned) override {
        return t_.ioctl(h, code, in, inLen, out, outLen, bytesReturned);
    }
    std::uint32_t ioctlOverlapped(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                  std::uint32_t outLen, Overlapped& ov) override {
        return t_.ioctlOverlapped(h, code, in, inLen, out, outLen, ov);
    }
    std::uint32_t getOverlappedResult(Handle h, Overlapped& ov, std::uint32_t* bytesReturned, bool wait) override {
        return t_.getOverlappedResult(h, ov, bytesReturned, wait);
    }
    std::uint32_t cancelIo(Handle h) override { return t_.cancelIo(h); }
    Handle createEvent(bool manualReset, bool initialState) override { return t_.createEvent(manualReset, initialState); }
    void setEvent(Handle e) override { t_.setEvent(e); }
    void resetEvent(Handle e) override { t_.resetEvent(e); }
    std::uint32_t waitForAny(const Handle* handles, std::uint32_t count, std::uint32_t timeoutMs) override {
        return t_.waitForAny(handles, count, timeoutMs);
    }
    std::uint32_t eventValue(Handle e) override { return t_.eventValue(e); }
    Handle registerDeviceNotification(const Guid& g, DeviceChangeCallback callback) override {
        return t_.registerDeviceNotification(g, std::move(callback));
    }
    bool unregisterDeviceNotification(Handle registration) override {
        return t_.unregisterDeviceNotification(registration);
    }
    std::string codePageToUtf8(std::string_view text) override { return t_.codePageToUtf8(text); }

private:
    IOs& t_;
    bool simulated_;
};

}  // namespace qel::os
