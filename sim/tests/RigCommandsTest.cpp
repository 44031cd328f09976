// Rig commands: bad words are refused whole with a clear error and leave the
// rig as it was; good words act on the rig.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/ControlPanelState.h"
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
    for (const char* bad : {"-1", "+1", "4294967296", "12abc", "", "0x"}) {
        const RigCommandResult r = run({"dropouts", bad});
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_EQ(r.error, "sim dropouts N") << bad;
    }
    EXPECT_EQ(dropouts(*rig), 7u);
    ASSERT_TRUE(run({"dropouts", "0x10"}).ok);
    EXPECT_EQ(dropouts(*rig), 16u);

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
    EXPECT_EQ(run({"usb-message", "1", "4"}).error, "unknown USB device: 1");
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
