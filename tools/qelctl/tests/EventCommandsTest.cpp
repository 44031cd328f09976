// qelctl's meter and event commands with their rig injections, as scripts.
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
}  // namespace

TEST(EventCommands, MetersPrintOneLineOfPercentagesPerReading) {
    Result r = run({"-"},
                   "sim signal 1 0 constant 50\nsim signal 1 1 constant 100\nsim signal 1 7 sine 80\n"
                   "meters 1 --count 3 --interval 0\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto lines = linesWith(r.out, "meters");
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& l : lines) EXPECT_EQ(l.rfind("meters 50.0 100.0 0.0 0.0 0.0 0.0 0.0 ", 0), 0u) << l;
    EXPECT_NE(lines[0], lines[1]);  // the sine moves
    // the second model has a meter per channel of its own
    r = run({"meters", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string silent = "meters";
    for (int i = 0; i < 18; ++i) silent += " 0.0";
    EXPECT_EQ(r.out, silent + "\n");
}

TEST(EventCommands, BrokenChainsAreReported) {
    Result r = run({"-"}, "sim hsci 1 broken\nmeters 1\nsim hsci 1 version 3\nmeters 1\nsim hsci 1 ok\nmeters 1\n"
                          "sim hsci 1 endless\nmeters 1\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(linesWith(r.out, "message-box"),
              std::vector<std::string>{
                  "message-box: ERROR: asyncReadBlock of 16 bytes failed\\r\\n       addr=0xFFC700100010"});
    EXPECT_EQ(linesWith(r.err, "no meter block").size(), 2u);
    EXPECT_EQ(linesWith(r.out, "meters 0.0").size(), 2u);  // after ok, and the endless chain is cut
    EXPECT_EQ(run({"-"}, "sim hsci 1 sideways\n").code, 1);
    EXPECT_EQ(run({"-"}, "sim signal 1 99 sine\n").code, 1);
}

TEST(EventCommands, WatchPrintsEachPostedMessage) {
    Result r = run({"-"},
                   "watch 1 --seconds 0 --block 4\n"
                   "sim knob 1 4 0 -6\n"
                   "sim digital-input 1 2 1 5\n"
                   "sim device-message 1 0x42\n"
                   "sim event 3\n"
                   "watch 1 --seconds 60 --count 4\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(linesWith(r.out, "0x8005"),
              std::vector<std::string>{"0x8005 feature-block 4 (-6 dB) data=fa00"});
    EXPECT_EQ(linesWith(r.out, "0x8002"), std::vector<std::string>{"0x8002 digital-input 2 detected=1 rate=5 data=0105"});
    EXPECT_EQ(linesWith(r.out, "0x8004"), std::vector<std::string>{"0x8004 device-message data=42"});
    EXPECT_EQ(linesWith(r.out, "0x8001"), std::vector<std::string>{"0x8001 driver-event 3 (configuration changed)"});
}

TEST(EventCommands, ShortNotifyResponseShowsTheMessageBox) {
    Result r = run({"-"}, "watch 1 --seconds 0\nsim notify-response 1 0d08b88104\nwatch 1 --seconds 60 --count 1\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(linesWith(r.out, "message-box"),
              std::vector<std::string>{
                  "message-box: GetNotifyResponse failed, command length to short expected 7 receved 5\\n"});
    EXPECT_EQ(run({"-"}, "sim notify-response 1 0d08b88104\n").code, 1);  // nobody waits
    EXPECT_EQ(run({"-"}, "watch 1 --bogus 1\n").code, 1);
}

TEST(EventCommands, MeterAndEventNumbersUseAPointUnderADecimalCommaLocale) {
    const qel::os::test::DecimalCommaLocale german;
    if (!german.active()) GTEST_SKIP() << german.kMissing;
    Result r = run({"-"}, "sim signal 1 0 constant 50\nsim signal 1 1 constant 12.5\nmeters 1 --count 1 --interval 0\n"
                          "watch 1 --seconds 0 --block 4\nsim knob 1 4 0 -6.5\nwatch 1 --seconds 10 --count 1\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto meters = linesWith(r.out, "meters");
    ASSERT_EQ(meters.size(), 1u);
    EXPECT_EQ(meters[0].rfind("meters 50.0 12.5 0.0 ", 0), 0u) << meters[0];
    EXPECT_EQ(linesWith(r.out, "0x8005"), std::vector<std::string>{"0x8005 feature-block 4 (-6.5 dB) data=f980"});
}
