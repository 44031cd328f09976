// qelctl on the rig's USB device: the mixer commands through the adapter,
// re-open with waiting across a re-enumeration, levels, device messages,
// descriptors and the USB injections.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/qelctl/Qelctl.h"
#include "os/tests/DecimalCommaLocale.h"

using qel::tools::Qelctl;

namespace {
struct Result {
    int code;
    std::string out, err;
};
Result run(const std::string& script, bool trace = false) {
    Qelctl tool;
    std::istringstream in(script);
    std::ostringstream out, err;
    std::vector<std::string> args;
    if (trace) args.push_back("--trace");
    args.push_back("-");
    const int code = tool.run(args, in, out, err);
    return {code, out.str(), err.str()};
}
std::vector<std::string> linesWith(const std::string& text, const std::string& needle) {
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l.find(needle) != std::string::npos) found.push_back(l);
    return found;
}
}  // namespace

TEST(UsbCommands, MixerCommandsReachTheUsbDevice) {
    const Result r = run("volume \"Desk U410\" 3 0 -12.7\nvolume 16 3 0\nbalance 16 1 2 -20\nbalance 16 1 2\n"
                         "mute 16 2 1 on\nmute 16 2 1\npan 16 3 127\nvolume 16 3 1\nmode 16 2\nmode 16\n"
                         "sync-source 16 2\ndigital-input 16 1\n",
                         true);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(linesWith(r.out, "volume 3"),
              (std::vector<std::string>{"volume 3 0 -12.7", "volume 3 0 -12", "volume 3 1 -63"}));
    EXPECT_EQ(linesWith(r.out, "balance 1 2"), (std::vector<std::string>{"balance 1 2 -20", "balance 1 2 -20"}));
    EXPECT_EQ(linesWith(r.out, "mute 2 1"), (std::vector<std::string>{"mute 2 1 on", "mute 2 1 on"}));
    EXPECT_EQ(linesWith(r.out, "mode "), (std::vector<std::string>{"mode 2", "mode 2"}));
    EXPECT_EQ(linesWith(r.out, "sync-source "), std::vector<std::string>{"sync-source 2 (Optical SPDIF)"});
    EXPECT_EQ(linesWith(r.out, "digital-input "), std::vector<std::string>{"digital-input 1 detected=1 rate=4 (48kHz)"});
    // The volume write, exactly as the device received it.
    EXPECT_EQ(linesWith(r.out, "in=0001000000010000000100020003020000f4").size(), 1u);
    const Result vendor = run("vendor 16 3\n");
    EXPECT_NE(vendor.code, 0);
}

TEST(UsbCommands, ReopenWaitsForAReenumeration) {
    // The device is opened (and its notification started) before it goes away.
    Result r = run("levels 16 8\nsim reenumerate 16 20\nlevels 16 8\nreopen 16 --wait 1000\nlevels 16 8\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(linesWith(r.out, "levels"), (std::vector<std::string>{"levels 50.0 25.0 12.5 6.3 0.0 0.0 100.0 100.0", "levels 50.0 25.0 12.5 6.3 0.0 0.0 100.0 100.0"}));
    EXPECT_EQ(linesWith(r.out, "reopen "), std::vector<std::string>{"reopen \\\\?\\usb#vid_3c5a&pid_0410#ku00000010#"
                                                                    "{3c5a1e27-8b4d-4f19-a6e2-7d0c9b8f1a53}"});
    // Only the read on the stale handle failed.
    EXPECT_EQ(r.err, "qelctl: levels: 0x0000048F ERROR_DEVICE_NOT_CONNECTED\n");
    // Without a re-enumeration the wait ends in a time-out and the device is closed.
    r = run("levels 16 8\nreopen 16 --wait 50\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("qelctl: reopen: 0xE0000005 QEL_E_TIMEOUT"), std::string::npos) << r.err;
}

TEST(UsbCommands, MessagesInputsAndDescriptors) {
    const Result r = run("device-message 16\nsim usb-message 16 6\ndevice-message 16\nsim usb-input 16 2 1 5\n"
                         "digital-input 16 2\ndescriptor 16 string 2\ndescriptor 16 device\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(linesWith(r.out, "device-message"), (std::vector<std::string>{"device-message 0", "device-message 6"}));
    EXPECT_EQ(linesWith(r.out, "digital-input"), std::vector<std::string>{"digital-input 2 detected=1 rate=5 (96kHz)"});
    EXPECT_EQ(linesWith(r.out, "descriptor string"), std::vector<std::string>{"descriptor string \"Kavro U410\""});
    EXPECT_EQ(linesWith(r.out, "descriptor device 12010002").size(), 1u);
    const Result bad = run("sim usb-descriptor 16 9\ndescriptor 16 device\n");
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("QEL_E_BAD_LENGTH"), std::string::npos) << bad.err;
}

TEST(UsbCommands, LevelsUseAPointUnderADecimalCommaLocale) {
    const qel::os::test::DecimalCommaLocale german;
    if (!german.active()) GTEST_SKIP() << german.kMissing;
    const Result r = run("levels 16 8\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "levels 50.0 25.0 12.5 6.3 0.0 0.0 100.0 100.0\n");
}
