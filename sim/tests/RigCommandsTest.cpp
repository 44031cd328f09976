// Rig commands: bad words are refused whole with a clear error and leave the
// rig as it was; good words act on the rig.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/ControlPanelState.h"
#include "sim/FwFirmware.h"
#include "sim/FwMemory.h"
#include "sim/Requests.h"
#include "sim/RigCommands.h"
#include "sim/UsbDevice.h"

namespace qel::sim {
namespace {

std::uint32_t dropouts(Rig& rig) {
    std::uint32_t n = 0;
    rig.withControlPanel([&](ControlPanelState& s) { n = s.dropouts; });
    return n;
}

bool present(const Rig& rig, std::uint32_t id) {
    const auto ids = rig.presentFwDevices();
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

class RigCommandsTest : public ::testing::Test {
protected:
    std::unique_ptr<Rig> rig = Rig::makeDefault();
    RigCommands commands;
    RigCommandResult run(std::vector<std::string> words) { return commands.run(*rig, words); }
};

TEST_F(RigCommandsTest, UnknownOrMissingCommandListsEveryUsage) {
    for (const auto& words : {std::vector<std::string>{}, std::vector<std::string>{"no-such-thing", "1"}}) {
        const RigCommandResult r = run(words);
        EXPECT_FALSE(r.ok);
        for (const std::string& u : commands.usages()) EXPECT_NE(r.error.find(u), std::string::npos) << u;
    }
    EXPECT_GE(commands.usages().size(), 20u);
}

TEST_F(RigCommandsTest, EveryCommandRefusesMissingAndJunkWordsWithoutActing) {
    const std::vector<std::vector<std::string>> junk = {
        {}, {""}, {"x"}, {"1", "-1", "-1", "-1"}, {"1", "99999999999999999999"}, {"1", "3", "0", "nan-ish"},
        {"nowhere", "1", "1", "1"}, {"1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1"},
        {"16", "1", "1", "999"}, {"1", "0x"}, {"1", "zz"}};
    for (const std::string& usage : commands.usages()) {
        const std::string name = usage.substr(0, usage.find(' '));
        for (const auto& tail : junk) {
            std::vector<std::string> words{name};
            words.insert(words.end(), tail.begin(), tail.end());
            const RigCommandResult r = run(words);
            if (r.ok) continue;  // a few tails are good words for some commands
            EXPECT_FALSE(r.error.empty()) << name;
        }
    }
    // The rig is still whole: both FireWire devices are on the bus.
    EXPECT_TRUE(present(*rig, 1));
    EXPECT_TRUE(present(*rig, 2));
}

TEST_F(RigCommandsTest, NumbersOutOfRangeOrNotWholeAreRefused) {
    ASSERT_TRUE(run({"dropouts", "7"}).ok);
    // A word holding a NUL (a script's stray byte) is no number either.
    for (const std::string& bad : std::vector<std::string>{"-1", "+1", "4294967296", "12abc", "", "0x", " 1", "0x-1", "0x+1",
                                  std::string("\0", 1), std::string("1\0", 2), std::string("0x\0", 3)}) {
        const RigCommandResult r = run({"dropouts", bad});
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_EQ(r.error, "sim dropouts N") << bad;
    }
    EXPECT_EQ(dropouts(*rig), 7u);
    ASSERT_TRUE(run({"dropouts", "0x10"}).ok);
    EXPECT_EQ(dropouts(*rig), 16u);
    EXPECT_EQ(rigNumber("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(rigNumber("0XfffFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(rigNumber("0x100000000"), std::nullopt);
    EXPECT_EQ(rigNumber("007"), 7u);

    EXPECT_FALSE(run({"version", "0x02"}).ok);
    EXPECT_FALSE(run({"version", "100"}).ok);
    EXPECT_FALSE(run({"version", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13"}).ok);
    EXPECT_TRUE(run({"version", "02", "0e"}).ok);
    EXPECT_FALSE(run({"knob", "1", "256", "0", "-3"}).ok);
    EXPECT_FALSE(run({"reenumerate", "16", "60001"}).ok);
    EXPECT_FALSE(run({"usb-descriptor", "16", "256"}).ok);
    EXPECT_FALSE(run({"usb-input", "16", "3", "1", "2"}).ok);
    EXPECT_FALSE(run({"plug-state", "1", "4", "1"}).ok);
}

TEST_F(RigCommandsTest, PlugAndUnplugActAndSayWhat) {
    RigCommandResult r = run({"unplug", "2"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.output, "sim unplug 2\n");
    EXPECT_FALSE(present(*rig, 2));
    r = run({"unplug", "2"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "device 2 is not present");
    r = run({"plug", "2"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.output, "sim plug 2\n");
    EXPECT_TRUE(present(*rig, 2));
    r = run({"plug", "nowhere"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "unknown device: nowhere");
    EXPECT_EQ(run({"knob", "nowhere", "3", "0", "-1"}).error, "unknown device: nowhere");
    EXPECT_EQ(run({"usb-message", "1", "4"}).error, "not a USB device: 1");
    EXPECT_EQ(run({"usb-message", "nowhere", "4"}).error, "unknown USB device: nowhere");
    EXPECT_EQ(run({"knob", "16", "1", "0", "-1"}).error, "not a FireWire device: 16");
    EXPECT_EQ(run({"unplug", std::string("1\0", 2)}).error, std::string("unknown device: 1\0", 18));

    // The same words reach a USB device.
    r = run({"unplug", "16"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.output, "sim unplug 16\n");
    EXPECT_TRUE(rig->presentUsbDevices().empty());
    EXPECT_TRUE(run({"plug", "16"}).ok);
    EXPECT_EQ(rig->presentUsbDevices(), std::vector<std::uint32_t>{16});
}

TEST_F(RigCommandsTest, WhatTheRigCannotTakeNowIsARefusalNotBadWords) {
    // Bad words are never refusals: a loader fails them at once.
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"knob", "1", "1", "3", "0"}, {"unplug", "nowhere"}, {"knob", "1", "1", "0", "nan"}, {"delay", "all", "60001"}}) {
        const RigCommandResult r = run(words);
        EXPECT_FALSE(r.ok) << words[0];
        EXPECT_FALSE(r.refused) << words[0];
    }
    // Good words the rig's state refuses: another state may take them.
    RigCommandResult r = run({"plug", "1"});
    EXPECT_TRUE(r.refused);
    EXPECT_EQ(r.error, "device 1 is present already");
    r = run({"knob", "1", "99", "0", "-3"});
    EXPECT_TRUE(r.refused);
    EXPECT_EQ(r.error, "device 1 has no block 99");
    r = run({"notify-response", "1", "0d", "ff", "00"});
    EXPECT_TRUE(r.refused);
    EXPECT_EQ(r.error, "no handle waits for notify responses");
    EXPECT_TRUE(run({"signal", "1", "999999", "sine"}).refused);
}

TEST_F(RigCommandsTest, InputsAndMessagesReachEitherBus) {
    ASSERT_TRUE(run({"input", "1", "2", "locked", "3"}).ok);
    ASSERT_TRUE(run({"input", "16", "1", "unlocked", "15"}).ok);
    ASSERT_TRUE(run({"message", "1", "0x41"}).ok);
    rig->withFwDevice(1, [](FwDeviceModel& m) {
        EXPECT_TRUE(FwFirmware::of(m)->digitalInput(2).present);
        EXPECT_EQ(FwFirmware::of(m)->digitalInput(2).rateCode, 3);
    });
    // A reader that never drains the USB messages keeps the newest 256.
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(run({"message", "16", std::to_string(i % 256)}).ok);
    ASSERT_TRUE(run({"usb-message", "16", "7"}).ok);
    rig->withUsbDevice(16, [](UsbDeviceModel& m) {
        EXPECT_FALSE(m.inputs[1].locked);
        EXPECT_EQ(m.inputs[1].rateCode, 15);
        ASSERT_EQ(m.messages.size(), 256u);
        EXPECT_EQ(m.messages.front(), (300 - 255) % 256);
        EXPECT_EQ(m.messages.back(), 7);
    });
}

TEST_F(RigCommandsTest, SignalsAndRequestFaultsTakeEveryForm) {
    EXPECT_TRUE(run({"signal", "1", "all", "constant", "25"}).ok);
    EXPECT_FALSE(run({"signal", "1", "all", "constant", "200.5"}).ok);
    EXPECT_FALSE(run({"signal", "16", "all", "constant"}).ok);

    // Requests by name or by code; the delay is bounded.
    EXPECT_TRUE(run({"delay", "QEL_REQ_GET_DEVICE_LIST", "60000"}).ok);
    EXPECT_TRUE(run({"delay", std::to_string(requestCode("QEL_REQ_GET_DEVICE_LIST")), "0"}).ok);
    EXPECT_EQ(run({"delay", "NO_SUCH", "5"}).error, "unknown request: NO_SUCH");
    EXPECT_TRUE(run({"answer", "QEL_REQ_GET_SYNC_PARAMETER", "07", "00"}).ok);
    EXPECT_TRUE(run({"answer", "QEL_REQ_GET_SYNC_PARAMETER"}).ok);  // an empty answer
    EXPECT_FALSE(run({"answer", "QEL_REQ_GET_SYNC_PARAMETER", "0x07"}).ok);
    // A notify frame as byte words or as one word of digit pairs.
    EXPECT_TRUE(run({"notify-response", "1", "0d", "ff"}).refused);
    EXPECT_TRUE(run({"notify-response", "1", "0dff"}).refused);
    EXPECT_FALSE(run({"notify-response", "1", "0df"}).refused);
    EXPECT_FALSE(run({"notify-response", "1", std::string(1026, '0')}).refused);
}

TEST_F(RigCommandsTest, ListenerOpensBeforeDriverEventsAndItsErrorFailsTheEvent) {
    int opened = 0;
    commands.openListener = [&]() -> std::optional<std::string> {
        ++opened;
        return std::nullopt;
    };
    EXPECT_TRUE(run({"event", "3"}).ok);
    EXPECT_TRUE(run({"unplug", "1"}).ok);
    EXPECT_EQ(opened, 2);
    EXPECT_FALSE(run({"event", "x"}).ok);
    EXPECT_EQ(opened, 2);  // bad words open nothing

    commands.openListener = []() -> std::optional<std::string> { return std::string("no driver"); };
    const RigCommandResult r = run({"event", "3"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "no driver");
    // Plugging goes on without a listener.
    EXPECT_TRUE(run({"plug", "1"}).ok);
    EXPECT_TRUE(present(*rig, 1));
}

TEST_F(RigCommandsTest, AddModelAddsOnceAndUsbModelsCopyTheDefault) {
    ASSERT_TRUE(run({"add-model", "fw", "7", "K610", "Spare"}).ok);
    EXPECT_EQ(rig->findDevice("Spare"), 7u);
    EXPECT_EQ(run({"add-model", "fw", "7", "K610"}).error, "device exists: 7");
    EXPECT_FALSE(run({"add-model", "fw", "0", "K610"}).ok);
    EXPECT_FALSE(run({"add-model", "pci", "8", "K610"}).ok);
    ASSERT_TRUE(run({"add-model", "usb", "33", "U2", "Second"}).ok);
    std::size_t descriptor = 0;
    ASSERT_TRUE(rig->withUsbDevice(33, [&](UsbDeviceModel& m) { descriptor = m.deviceDescriptor.size(); }));
    EXPECT_GT(descriptor, 0u);
}

}  // namespace
}  // namespace qel::sim
