// qelctl's mixer commands and firmware injections, as scripts in one session.
#include "tools/qelctl/Qelctl.h"
#include "tools/qelctl/tests/RunQelctl.h"
#include "os/tests/DecimalCommaLocale.h"

#include <gtest/gtest.h>

#include <sstream>

using qel::tools::Qelctl;
using qel::tools::test::Result;
using qel::tools::test::run;

namespace {
std::vector<std::string> linesWith(const std::string& text, const std::string& needle) {
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l.find(needle) != std::string::npos) found.push_back(l);
    return found;
}
const std::string kAvc = "fw:1 QEL_REQ_AVC_TRANSACTION ok in=";
}  // namespace

TEST(MixerCommands, VolumeSetsTheValueAsGivenAndTheCacheHoldsForTheSession) {
    Result r = run({"--trace", "volume", "1", "3", "1", "-6.5"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(linesWith(r.out, "AVC_TRANSACTION"),
              std::vector<std::string>{kAvc + "0008b88103100201" "0202f980 out=0908b88103100201" "0202f980"});
    EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1), "volume 3 1 -6.5\n");
    r = run({"--trace", "-"}, "volume 1 3 1 -6\nvolume 1 3 1 -6\nmaster-volume 1 3 -200\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(linesWith(r.out, "AVC_TRANSACTION"),
              (std::vector<std::string>{kAvc + "0008b88103100201" "0202fa00 out=0908b88103100201" "0202fa00",
                                        kAvc + "0008b88103100200" "02028000 out=0908b88103100200" "02028000"}));
    EXPECT_EQ(linesWith(r.out, "volume").size(), 3u);
}

TEST(MixerCommands, ReadsFollowTheFrontPanel) {
    const Result r = run({"-"}, "sim knob \"Studio 610\" 2 0 -12.5\nvolume 1 2 0\nbalance 1 2 0 -1.5\nbalance 1 2 0\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "volume 2 0 -12.5\nbalance 2 0 -1.5\nbalance 2 0 -1\n");
}

TEST(MixerCommands, MutePanModeAndVendor) {
    Result r = run({"-"}, "mute 1 1 0 on\nmute 1 1 0\nmute 1 1 1 2\nmute 1 1 1 off\nmute 1 1 1\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "mute 1 0 on\nmute 1 0 on\nmute 1 1 on (2)\nmute 1 1 off\nmute 1 1 off\n");
    r = run({"--trace", "pan", "1", "1", "127"});
    EXPECT_EQ(linesWith(r.out, "AVC_TRANSACTION"),
              std::vector<std::string>{kAvc + "0008b88101100200" "03027f00 out=0908b88101100200" "03027f00"});
    r = run({"-"}, "mode 1\nmode 1 2\nmode 1\nvendor 1 3 1\nvendor 1 3\nvendor 2 4\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "mode 0\nmode 2\nmode 2\nvendor 3 1\nvendor 3 1\nvendor 4 0\n");
}

TEST(MixerCommands, SyncSourceReadAndSet) {
    const Result r = run({"-"}, "sync-source 1\nsync-source 1 1\nsync-modes 1\nsync-source \"Studio 610\" 4\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(linesWith(r.out, "sync-source"),
              (std::vector<std::string>{"sync-source 0 (Device)", "sync-source 1 (Coax SPDIF)", "sync-source 4 (PC)"}));
    EXPECT_NE(r.out.find("device 1 current mode=5 code=2 name=\"spdif\""), std::string::npos) << r.out;
}

TEST(MixerCommands, DigitalInputAndDeviceMessageInjection) {
    // Detection is only asked while AV/C event delivery runs, which this
    // session does not start: not detected, rate code 15.
    const Result r = run({"--trace", "-"}, "sim digital-input 1 2 1 5\ndigital-input 1 2\nsim device-message 1 6\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("digital-input 2 detected=0 rate=15 (Invalid SR)\n"), std::string::npos) << r.out;
    EXPECT_TRUE(linesWith(r.out, "AVC_TRANSACTION").empty());
}

TEST(MixerCommands, InjectedReplyCodeFailsTheNextCommand) {
    const Result r = run({"-"}, "sim avc-reply 1 0x0A\nvolume 1 1 0 -3\nvolume 1 1 0 -3\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "qelctl: volume: 0xE0000001 QEL_E_FAILED\n");
    EXPECT_EQ(r.out, "volume 1 0 -3\n");  // the second one is sent and accepted
}

TEST(MixerCommands, ArgumentsAreCheckedStrictly) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"volume", "1", "3"}, {"volume", "1", "300", "0"}, {"volume", "1", "3", "0", "x"},
             {"master-volume", "1", "3", "-6.5"}, {"mute", "1", "1", "0", "maybe"}, {"sync-source", "1", "7"},
             {"digital-input", "1", "3"}, {"vendor", "1", "256"}, {"pan", "nobody", "1", "0"}}) {
        const Result r = run(args);
        EXPECT_NE(r.code, 0) << args[0];
        EXPECT_FALSE(r.err.empty()) << args[0];
    }
    const Result r = run({"-"}, "sim knob 1 99 0 -3\nsim digital-input 1 3 1 4\nsim avc-reply nobody 9\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3);
}

TEST(MixerCommands, ChannelBeyondTwoFailsWithoutARequest) {
    const Result r = run({"--trace", "volume", "1", "1", "3", "-3"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "qelctl: volume: 0xE0000001 QEL_E_FAILED\n");
    EXPECT_TRUE(linesWith(r.out, "AVC_TRANSACTION").empty());
}

TEST(MixerCommands, NumbersReadAndPrintWithAPointUnderADecimalCommaLocale) {
    const qel::os::test::DecimalCommaLocale german;
    if (!german.active()) GTEST_SKIP() << german.kMissing;
    Result r = run({"volume", "1", "3", "1", "-6.5"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "volume 3 1 -6.5\n");
    r = run({"-"}, "sim knob 1 2 0 -12.5\nvolume 1 2 0\nbalance 1 2 0 -1.5\nbalance 1 2 0\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "volume 2 0 -12.5\nbalance 2 0 -1.5\nbalance 2 0 -1\n");
    // A comma is not this tool's decimal point, whatever the locale says.
    EXPECT_NE(run({"volume", "1", "3", "1", "-6,5"}).code, 0);
}
