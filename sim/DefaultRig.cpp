// The compiled-in rig: the device models that the shipped configuration file
// describes, so that every program runs out of the box.
#include "sim/Rig.h"

#include "sim/FwFirmware.h"
#include "sim/UsbDevice.h"

namespace qel::sim {

std::unique_ptr<Rig> Rig::makeDefault() {
    auto rig = std::make_unique<Rig>();

    FwDeviceModel q610;
    q610.id = 1;
    q610.rank = 0;
    q610.deviceName = "Studio 610";
    q610.serial = "K610-000417";
    q610.vendor = "Kavro";
    q610.model = "Kavro 610";
    q610.extra = "FW 2.14 / DSP 1.3";
    q610.syncModes = {{4, 1, "internal"}, {5, 2, "spdif"}, {5, 3, "optical"}, {4, 4, "word clock"},
                      {2, 5, "pc"}};
    q610.currentSyncMode = 0;
    q610.firmware = std::make_shared<FwFirmware>(std::vector<std::uint8_t>{1, 2, 3, 4});
    rig->addFwDevice(std::move(q610));

    FwDeviceModel q1814;
    q1814.id = 2;
    q1814.rank = 1;
    q1814.deviceName = "Stage 1814";
    q1814.serial = "K1814-001202";
    q1814.vendor = "Kavro";
    q1814.model = "Kavro 1814";
    q1814.extra = "FW 2.16 / DSP 1.4";
    q1814.syncModes = {{4, 1, "Internal"}, {5, 2, "SPDIF coax"}, {5, 3, "TOS optical"}, {5, 4, "ADAT"},
                       {5, 5, "S-MUX"},    {4, 6, "WCK in"},     {3, 7, "host"}};
    q1814.currentSyncMode = 0;
    auto fw1814 = std::make_shared<FwFirmware>(std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8});
    fw1814->memory() = FwMemory(18);  // a level meter per channel of the 1814
    q1814.firmware = std::move(fw1814);
    rig->addFwDevice(std::move(q1814));
    installDefaultControlPanel(*rig);
    installDefaultUsbDevice(*rig);

    return rig;
}

}  // namespace qel::sim
