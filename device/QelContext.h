#pragma once
// The per-process objects of the device layer, created once by a program (or
// a test) and handed down: the platform seam, the process-wide driver objects
// and the long-lived AV/C command objects. Nothing in the device layer is a
// hidden global.
#include "device/AvcNotifyCmd.h"
#include <atomic>
#include <mutex>

#include "device/Drv.h"
#include "device/UsbDriver.h"
#include "device/MessageBox.h"
#include "os/Os.h"

namespace qel {

class QelContext {
public:
    explicit QelContext(os::IOs& os) : os_(os), drv_(os), usbDrv_(os) {}
    QelContext(const QelContext&) = delete;
    QelContext& operator=(const QelContext&) = delete;

    os::IOs& platform() { return os_; }
    CDrv& drv() { return drv_; }
    CUsbDriver& usbDrv() { return usbDrv_; }
    AvcCommands& avc() { return avc_; }
    // Guards the data of every AV/C command object of this context's devices:
    // the long-lived ones are shared by all devices, whose AV/C threads and
    // the window thread write them. Taken last, held briefly.
    std::mutex& commandDataLock() { return commandDataLock_; }
    // Where the device layer's message boxes go (not owned; none: dropped).
    void setMessageBox(IMessageBox* messageBox) { messageBox_.store(messageBox); }
    void postMessageBox(const std::string& text, MessageBoxIcon icon) {
        if (IMessageBox* mb = messageBox_.load()) mb->postMessageBox(text, icon);
    }

private:
    os::IOs& os_;
    CDrv drv_;
    CUsbDriver usbDrv_;
    AvcCommands avc_;
    std::mutex commandDataLock_;
    std::atomic<IMessageBox*> messageBox_{nullptr};
};

}  // namespace qel
