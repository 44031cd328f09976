#pragma once
// A simulated USB audio interface: its driver-side description (property and
// sync-mode records) and its firmware (USB Audio class feature units, the
// vendor requests 0x81 and 0x82, descriptors).
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/Rig.h"

namespace qel::sim {

// Mode codes of the USB sync modes.
inline constexpr std::uint32_t kUsbSyncInternal = 212, kUsbSyncCoax = 213, kUsbSyncOptical = 214,
                               kUsbSyncWordClock = 215, kUsbSyncPc = 216;

struct UsbFeatureUnit {
    // Channels 0..2; volume in 1/256 dB.
    std::array<std::int16_t, 3> volume{};
    std::array<std::uint8_t, 3> mute{};
    std::array<std::int16_t, 3> balance{};  // channels 1 and 2
};

struct UsbInputState {
    bool locked = false;
    std::uint8_t rateCode = 15;
};

struct UsbDeviceModel {
    std::uint32_t id = 0;
    std::uint32_t rank = 0;
    std::uint32_t word2 = 0, word3 = 0;
    std::string vendor, model, displayName, lookupName, text176, text432;
    std::vector<SyncModeEntry> syncModes;
    std::size_t currentSyncMode = 0;

    std::vector<std::uint8_t> deviceDescriptor;  // 18 bytes on a sound device
    std::vector<std::uint8_t> configDescriptor;
    std::map<std::uint8_t, std::string> strings;  // string descriptors, language 0x0409
    // The next descriptor request answers with these bytes instead.
    std::optional<std::vector<std::uint8_t>> nextDescriptor;

    std::map<std::uint8_t, UsbFeatureUnit> units;
    std::vector<std::uint32_t> levels;  // one per audio channel
    std::deque<std::uint8_t> messages;  // device messages not yet polled
    std::array<UsbInputState, 3> inputs{};  // [1] coaxial, [2] optical
    std::uint8_t mode = 1;
};

// The firmware's answers to QEL_USB_REQ_GET_DESCRIPTOR and
// QEL_USB_REQ_CONTROL_TRANSFER; sizes checked exactly.
Reply usbGetDescriptor(UsbDeviceModel& m, os::ConstByteSpan in, os::ByteSpan out);
Reply usbControlTransfer(UsbDeviceModel& m, os::ConstByteSpan in, os::ByteSpan out);

// Adds the USB model of the compiled-in rig.
void installDefaultUsbDevice(Rig& rig);

// The USB driver's state inside the rig.
struct UsbState {
    struct Device {
        UsbDeviceModel model;
        bool present = false;
        std::uint32_t generation = 0;
    };
    std::map<std::uint32_t, Device> devices;
    std::vector<std::uint32_t> order;
    std::uint32_t rateWord = 1;
    std::uint32_t currentRate = 48000;
    std::vector<std::uint32_t> rates{44100, 48000, 88200, 96000};
    std::array<std::uint32_t, 3> syncSettings{0, 0, 0};
    std::uint32_t syncParameter = 0;
    std::vector<std::thread> arrivals;  // re-enumerations in progress
};

}  // namespace qel::sim
