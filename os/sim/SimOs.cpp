#include "os/sim/SimOs.h"

#include "os/CodePage.h"

#include <cstring>
#include <vector>

#include "sim/Rig.h"

namespace qel::os {

namespace {
std::uint32_t id(Handle h) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h)); }
Handle handle(std::uint32_t v) { return reinterpret_cast<Handle>(static_cast<std::uintptr_t>(v)); }

// Layout of the simulated platform's record inside Overlapped::opaque.
struct OvState {
    std::uint64_t opId;    // pending request, 0 when it completed at once
    std::uint32_t status;  // result of a request that completed at once
    std::uint32_t bytes;
};
static_assert(sizeof(OvState) <= sizeof(Overlapped::opaque));
OvState load(const Overlapped& ov) {
    OvState s;
    std::memcpy(&s, ov.opaque, sizeof s);
    return s;
}
void store(Overlapped& ov, const OvState& s) { std::memcpy(ov.opaque, &s, sizeof s); }
}  // namespace

DevInfoSet SimOs::getClassDevs(const Guid& interfaceGuid) { return handle(rig_.openDevInfoSet(interfaceGuid)); }

void SimOs::destroyDevInfoSet(DevInfoSet set) { rig_.closeDevInfoSet(id(set)); }

std::uint32_t SimOs::enumInterface(DevInfoSet set, const Guid&, std::uint32_t index, std::string& path) {
    return rig_.enumInterface(id(set), index, path);
}

Handle SimOs::openPath(const std::string& path, bool, std::uint32_t& error) {
    return handle(rig_.openPath(path, error));
}

void SimOs::closeHandle(Handle h) {
    if (!rig_.closeFile(id(h))) rig_.kernel().closeEvent(id(h));
}

std::uint32_t SimOs::ioctl(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                           std::uint32_t outLen, std::uint32_t* bytesReturned) {
    return rig_.ioctl(id(h), code, {static_cast<const std::uint8_t*>(in), in ? inLen : 0},
                      {static_cast<std::uint8_t*>(out), out ? outLen : 0}, bytesReturned);
}

std::uint32_t SimOs::ioctlOverlapped(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                     std::uint32_t outLen, Overlapped& ov) {
    OvState s{};
    const std::uint32_t status =
        rig_.ioctlOverlapped(id(h), code, {static_cast<const std::uint8_t*>(in), in ? inLen : 0},
                             {static_cast<std::uint8_t*>(out), out ? outLen : 0}, id(ov.event), s.opId, s.bytes);
    s.status = status;
    store(ov, s);
    return status;
}

std::uint32_t SimOs::getOverlappedResult(Handle, Overlapped& ov, std::uint32_t* bytesReturned, bool wait) {
    OvState s = load(ov);
    if (s.opId == 0) {
        if (bytesReturned != nullptr) *bytesReturned = s.bytes;
        return s.status;
    }
    const std::uint32_t status = rig_.overlappedResult(s.opId, &s.bytes, wait);
    if (status == kErrorIoIncomplete) return status;
    s.opId = 0;
    s.status = status;
    store(ov, s);
    if (bytesReturned != nullptr) *bytesReturned = s.bytes;
    return status;
}

std::uint32_t SimOs::cancelIo(Handle h) { return rig_.cancelIo(id(h)); }

Handle SimOs::createEvent(bool manualReset, bool initialState) {
    return handle(rig_.kernel().createEvent(manualReset, initialState));
}
void SimOs::setEvent(Handle e) { rig_.kernel().setEvent(id(e)); }
void SimOs::resetEvent(Handle e) { rig_.kernel().resetEvent(id(e)); }

std::uint32_t SimOs::waitForAny(const Handle* handles, std::uint32_t count, std::uint32_t timeoutMs) {
    std::vector<std::uint32_t> ids(count);
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = id(handles[i]);
    return rig_.kernel().waitAny(ids.data(), count, timeoutMs);
}

std::uint32_t SimOs::eventValue(Handle e) { return id(e); }

Handle SimOs::registerDeviceNotification(const Guid& interfaceGuid, DeviceChangeCallback callback) {
    return handle(rig_.registerNotification(interfaceGuid, std::move(callback)));
}

bool SimOs::unregisterDeviceNotification(Handle registration) {
    return rig_.unregisterNotification(id(registration));
}

// The simulated system code page is Windows-1252.
std::string SimOs::codePageToUtf8(std::string_view text) { return windows1252ToUtf8(text); }

}  // namespace qel::os
