// The USB model of the compiled-in rig.
#include "sim/UsbDevice.h"

namespace qel::sim {

void installDefaultUsbDevice(Rig& rig) {
    UsbDeviceModel m;
    m.id = 0x10;
    m.rank = 2;
    m.word2 = 0x3C5A;
    m.word3 = 0x0410;
    m.vendor = "Kavro";
    m.model = "Kavro U410";
    m.displayName = "Desk U410";
    m.lookupName = "KU410-000815";
    m.text176 = "USB 2.0 High Speed";
    m.text432 = "FW 1.07";
    m.syncModes = {{1, kUsbSyncInternal, "internal"},
                   {5, kUsbSyncCoax, "spdif coax"},
                   {5, kUsbSyncOptical, "optical"},
                   {4, kUsbSyncWordClock, "word clock"},
                   {2, kUsbSyncPc, "pc"}};
    m.currentSyncMode = 0;
    // USB 2.0, composite class, vendor 0x3C5A, product 0x0410, release 1.07,
    // strings 1..3, one configuration.
    m.deviceDescriptor = {18, 1, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0x5A, 0x3C,
                          0x10, 0x04, 0x07, 0x01, 1,    2,    3,    1};
    // Configuration 1 with the audio control interface.
    m.configDescriptor = {9, 2, 18, 0, 1, 1, 0, 0x80, 250, 9, 4, 0, 0, 0, 1, 1, 0, 0};
    m.strings = {{1, "Kavro"}, {2, "Kavro U410"}, {3, "KU410-000815"}};
    // Feature units: two stereo inputs, main out, headphones, crossfader.
    for (const std::uint8_t unit : {1, 2, 3, 4, 5}) m.units[unit] = UsbFeatureUnit{};
    m.units[3].volume = {-10 * 256, -10 * 256, -10 * 256};
    m.levels = {0x40000000, 0x20000000, 0x10000000, 0x08000000, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF};
    m.inputs[1] = UsbInputState{true, 4};   // coaxial locked at 48 kHz
    m.inputs[2] = UsbInputState{false, 15};  // optical: nothing connected
    m.mode = 1;
    rig.addUsbDevice(std::move(m));
}

}  // namespace qel::sim
