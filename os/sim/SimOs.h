#pragma once
// The platform calls served by the simulated rig.
#include "os/Os.h"

namespace qel::sim {
class Rig;
}

namespace qel::os {

class SimOs final : public IOs {
public:
    bool simulated() const override { return true; }
    explicit SimOs(sim::Rig& rig) : rig_(rig) {}

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

    sim::Rig& rig() { return rig_; }

private:
    sim::Rig& rig_;
};

}  // namespace qel::os
