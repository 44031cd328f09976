#pragma once
// Opening a driver's control handle and reading its device list, for the
// FireWire (CDrv) and the USB (CUsbDriver) driver objects alike.
#include "device/Status.h"
#include "os/Guid.h"

namespace qel {

// Opens the control handle (kept when already open; the open counts and
// wants its close) and reads the device list. A handle of a driver that went away and came back answers nothing
// any more: it is then opened again once for a second try; a list that is
// merely empty is no such sign. `opened` receives the open's status.
template <class Driver>
Status openAndRefresh(Driver& drv, const os::Guid& guid, Status* opened = nullptr) {
    Status open = drv.openDriver(guid);
    Status listed = drv.refreshDeviceProperties();
    if (open == QEL_OK && listed != QEL_OK && listed != QEL_E_NO_DEVICES) {
        // Replaced under the devices that share it: their opens stay counted.
        open = drv.reopenDriver(guid);
        listed = drv.refreshDeviceProperties();
    }
    if (opened) *opened = open;
    return listed;
}

}  // namespace qel
