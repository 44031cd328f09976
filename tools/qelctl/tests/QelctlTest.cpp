// qelctl in-process: output, trace and error texts of whole scripts.
#include "tools/qelctl/Qelctl.h"
#include "tools/qelctl/tests/RunQelctl.h"

#include <gtest/gtest.h>

#include <sstream>

using qel::tools::Qelctl;
using qel::tools::test::Result;
using qel::tools::test::run;


TEST(Qelctl, ListShowsEveryConnectedDevice) {
    const Result r = run({"list"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "fw id=1 vendor=\"Kavro\" model=\"Kavro 610\" name=\"Studio 610\" serial=\"K610-000417\"\n"
              "fw id=2 vendor=\"Kavro\" model=\"Kavro 1814\" name=\"Stage 1814\" serial=\"K1814-001202\"\n");
}

TEST(Qelctl, TraceComesBeforeTheCommandsOutput) {
    const Result r = run({"--trace", "rates"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "fw QEL_REQ_GET_DRIVER_VERSION ok in=- out=020e00000100000000000000\n"
              "fw QEL_REQ_GET_SAMPLE_RATE_INFO ok in=- "
              "out=0100000080bb00000600000044ac000080bb0000885801000077010010b1020000ee0200000000"
              "0000000000\n"
              "current 48000\npossible 44100 48000 88200 96000 176400 192000\n");
}

TEST(Qelctl, ScriptWithRigCommands) {
    const Result r = run({"-"}, "sim unplug \"Studio 610\"  # by name\nlist\nsim plug 1\nsim plug 1\nlist\n");
    EXPECT_EQ(r.code, 1);  // the second plug finds the device present
    EXPECT_EQ(r.err, "qelctl: sim: device 1 is present already\n");
    EXPECT_EQ(r.out,
              "sim unplug 1\n"
              "fw id=2 vendor=\"Kavro\" model=\"Kavro 1814\" name=\"Stage 1814\" serial=\"K1814-001202\"\n"
              "sim plug 1\n"
              "fw id=1 vendor=\"Kavro\" model=\"Kavro 610\" name=\"Studio 610\" serial=\"K610-000417\"\n"
              "fw id=2 vendor=\"Kavro\" model=\"Kavro 1814\" name=\"Stage 1814\" serial=\"K1814-001202\"\n");
}

TEST(Qelctl, FailuresGoToStandardErrorWithStatusAndName) {
    Result r = run({"-"}, "sim version 02 0d\nversion\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "qelctl: version: 0xE0000014 QEL_E_VERSION_MISMATCH\n");
    r = run({"-"}, "sim fail QEL_REQ_GET_SAMPLE_RATE_INFO 1 0x1F\nrates\nrates\n");
    EXPECT_EQ(r.err, "qelctl: rates: 0x0000001F ERROR_GEN_FAILURE\n");
    EXPECT_NE(r.out.find("current 48000"), std::string::npos);
    r = run({"set-rate", "12345"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "qelctl: set-rate: 0xE0000080\n");
}

TEST(Qelctl, ArgumentsAreCheckedStrictly) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"set-rate"}, {"set-rate", "48k"}, {"set-rate", "-1"}, {"set-rate", "99999999999"},
             {"sync-modes", "nobody"}, {"bogus"}, {"sim", "event", "1"}}) {
        const Result r = run(args);
        EXPECT_NE(r.code, 0) << args[0];
        EXPECT_FALSE(r.err.empty());
    }
    const Result r = run({"-"}, "sim fail NO_SUCH_REQUEST 1 1\nsim version zz\nsim event x\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3);
}

TEST(Qelctl, DriverEventsAreDrainedInOrder) {
    const Result r = run({"-"}, "sim event 1\nsim event 3\nevents\nevents\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "event 1\nevent 3\n");
}

TEST(Qelctl, UnplugAndPlugAreConfigurationChangedEvents) {
    const Result r = run({"-"}, "sim unplug 2\nevents\nsim plug 2\nsim event 1\nevents\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "sim unplug 2\nevent 3\nsim plug 2\nevent 3\nevent 1\n");
}

TEST(Qelctl, SyncModesAndSettings) {
    Result r = run({"sync-modes", "Stage 1814"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("device 2 current mode=4 code=1 name=\"Internal\"\n  [0] mode=4", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("device 1"), std::string::npos);
    r = run({"sync-modes", "0x1"});
    EXPECT_NE(r.out.find("  [4] mode=2 code=5 name=\"pc\""), std::string::npos) << r.out;
    r = run({"sync-settings"});
    EXPECT_EQ(r.out, "clock-master computer (kind 0) master-device 0\nrate-follows-master 1\n");
}
