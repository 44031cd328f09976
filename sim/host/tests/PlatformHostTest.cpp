// Choosing the platform: the options every program takes, the default per
// system, the rig files and the driver where there is none.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/Rig.h"
#include "sim/host/PlatformHost.h"

namespace qel::sim {
namespace {

using Args = std::vector<std::string>;
using Kind = PlatformChoice::Kind;

struct Parsed {
    bool ok = false;
    PlatformChoice choice;
    Args rest;
    std::string error;
};

Parsed parse(Args args, const char* environment = nullptr) {
    Parsed p;
    p.ok = PlatformChoice::parse(args, environment, p.choice, p.error);
    p.rest = args;
    return p;
}

TEST(PlatformChoice, EveryFormIsTakenOutOfTheArguments) {
    const Parsed none = parse({"-exit", "-platform", "offscreen"});
    ASSERT_TRUE(none.ok) << none.error;
    EXPECT_EQ(none.choice.kind, Kind::Default);
    EXPECT_EQ(none.rest, (Args{"-exit", "-platform", "offscreen"}));

    const Parsed rig = parse({"-hide", "--rig", "-asio"});
    ASSERT_TRUE(rig.ok) << rig.error;
    EXPECT_EQ(rig.choice.kind, Kind::BuiltInRig);
    EXPECT_EQ(rig.rest, (Args{"-hide", "-asio"}));

    const Parsed file = parse({"--trace", "--rig=/tmp/a b.rig", "list"});
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.choice.kind, Kind::RigFile);
    EXPECT_EQ(file.choice.rigFile, "/tmp/a b.rig");
    EXPECT_EQ(file.rest, (Args{"--trace", "list"}));

    const Parsed driver = parse({"list", "--driver"});
    ASSERT_TRUE(driver.ok) << driver.error;
    EXPECT_EQ(driver.choice.kind, Kind::Driver);
    EXPECT_EQ(driver.rest, (Args{"list"}));

    // Words that only look alike stay with the program.
    const Parsed alike = parse({"--rigs", "-rig", "--drivers", "rig"});
    ASSERT_TRUE(alike.ok) << alike.error;
    EXPECT_EQ(alike.choice.kind, Kind::Default);
    EXPECT_EQ(alike.rest, (Args{"--rigs", "-rig", "--drivers", "rig"}));
}

TEST(PlatformChoice, TheEnvironmentChoosesWhenTheCommandLineDoesNot) {
    EXPECT_EQ(parse({}, "rig").choice.kind, Kind::Simulated);
    EXPECT_EQ(parse({}, "driver").choice.kind, Kind::Driver);
    EXPECT_EQ(parse({}, "").choice.kind, Kind::Default);  // set but empty: as unset
    // The command line beats the environment, even one that would not do.
    EXPECT_EQ(parse({"--rig"}, "driver").choice.kind, Kind::BuiltInRig);
    EXPECT_EQ(parse({"--driver"}, "rig").choice.kind, Kind::Driver);
    const Parsed over = parse({"--rig=x.rig"}, "hardware");
    ASSERT_TRUE(over.ok) << over.error;
    EXPECT_EQ(over.choice.kind, Kind::RigFile);
}

TEST(PlatformChoice, ConflictsAndBadValuesAreErrors) {
    struct Case {
        Args args;
        const char* environment;
        std::string inError;
    };
    const Case cases[] = {
        {{"--rig", "--driver"}, nullptr, "--rig and --driver"},
        {{"--driver", "--rig=a.rig"}, nullptr, "--driver and --rig=a.rig"},
        {{"--rig=a.rig", "--rig"}, nullptr, "--rig=a.rig and --rig"},
        {{"--rig", "--rig"}, nullptr, "choose one platform"},
        {{"--rig="}, nullptr, "no rig file"},
        {{"--driver=yes"}, nullptr, "--driver takes no value"},
        {{}, "hardware", "QEL_PLATFORM=hardware: unknown platform"},
        {{}, "RIG", "QEL_PLATFORM=RIG"},
        {{}, "rig ", "QEL_PLATFORM=rig "},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.args, c.environment);
        EXPECT_FALSE(p.ok) << c.inError;
        EXPECT_NE(p.error.find(c.inError), std::string::npos) << p.error;
    }
}

class PlatformHostMake : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = ::testing::TempDir() + name;
        std::ofstream(path, std::ios::binary) << text;
        paths_.push_back(path);
        return path;
    }
    void TearDown() override {
        for (const auto& p : paths_) std::remove(p.c_str());
    }
    static std::unique_ptr<CPlatformHost> Make(Kind kind, std::string& error, std::string file = {}) {
        PlatformChoice choice;
        choice.kind = kind;
        choice.rigFile = std::move(file);
        return CPlatformHost::make(choice, error);
    }

private:
    std::vector<std::string> paths_;
};

// The tests run with no rig process listening (ctest's QEL_SIM_SOCKET).
TEST_F(PlatformHostMake, TheDefaultIsTheDriverOnWindowsAndTheRigElsewhere) {
    std::string error;
    auto host = Make(Kind::Default, error);
    ASSERT_NE(host, nullptr) << error;
    EXPECT_EQ(host->simulated(), !CPlatformHost::kHaveDriver);
    EXPECT_EQ(host->platform().simulated(), host->simulated());
    EXPECT_EQ(host->rig() != nullptr, !CPlatformHost::kHaveDriver);
    EXPECT_FALSE(host->usesRigProcess());

    auto rig = Make(Kind::BuiltInRig, error);
    ASSERT_NE(rig, nullptr) << error;
    EXPECT_TRUE(rig->simulated());
    ASSERT_NE(rig->rig(), nullptr);
    EXPECT_FALSE(rig->rig()->plug(1));  // the built-in rig's device 1 is there
    // A program's rig keeps no trace: it would grow for as long as the program runs.
    EXPECT_FALSE(rig->rig()->traceEnabled());

    auto simulated = Make(Kind::Simulated, error);
    ASSERT_NE(simulated, nullptr) << error;
    EXPECT_TRUE(simulated->simulated());
}

TEST_F(PlatformHostMake, TheDriverWhereThereIsNoneIsAnErrorNotTheRig) {
    std::string error;
    auto host = Make(Kind::Driver, error);
    if (CPlatformHost::kHaveDriver) {
        ASSERT_NE(host, nullptr) << error;
        EXPECT_FALSE(host->simulated());
        EXPECT_EQ(host->rig(), nullptr);
    } else {
        EXPECT_EQ(host, nullptr);
        EXPECT_NE(error.find("--driver: this system has no drivers for the interfaces"), std::string::npos) << error;
    }
}

TEST_F(PlatformHostMake, ABrokenRigFileNamesItsLine) {
    const std::string path = Write("platform-broken.rig", "[driver]\nrates 44100 48000\nrate fast\n");
    std::string error;
    EXPECT_EQ(Make(Kind::RigFile, error, path), nullptr);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;

    error.clear();
    EXPECT_EQ(Make(Kind::RigFile, error, ::testing::TempDir() + "platform-absent.rig"), nullptr);
    EXPECT_NE(error.find("platform-absent.rig"), std::string::npos) << error;
}

TEST_F(PlatformHostMake, ARigFileIsTheRigAndItsTimelineRuns) {
    const std::string path = Write("platform-timeline.rig",
                                   "[firewire 7]\nname Timeline 7\nmodel Kavro 610\n[timeline]\nat 0s unplug 7\n");
    std::string error;
    auto host = Make(Kind::RigFile, error, path);
    ASSERT_NE(host, nullptr) << error;
    ASSERT_NE(host->rig(), nullptr);
    EXPECT_TRUE(host->simulated());
    EXPECT_FALSE(host->rig()->plug(1));  // not the built-in rig: no device 1
    EXPECT_FALSE(host->rig()->traceEnabled());
    // The unplug at 0 s fires on the runner's thread; device 7 can then be plugged again.
    bool plugged = false;
    for (int i = 0; i < 500 && !plugged; ++i) {
        plugged = host->rig()->plug(7);
        if (!plugged) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(plugged);
}

TEST(PlatformHostCommandLine, TheOptionsLeaveArgvForQtAndTheProgram) {
    char prog[] = "prog", platform[] = "-platform", offscreen[] = "offscreen", rig[] = "--rig", exit[] = "-exit";
    char* argv[] = {prog, platform, offscreen, rig, exit, nullptr};
    int argc = 5;
    std::string error;
    auto host = CPlatformHost::fromCommandLine(argc, argv, error);
    ASSERT_NE(host, nullptr) << error;
    EXPECT_TRUE(host->simulated());
    ASSERT_EQ(argc, 4);
    EXPECT_EQ(argv[0], prog);
    EXPECT_EQ(argv[1], platform);
    EXPECT_EQ(argv[2], offscreen);
    EXPECT_EQ(argv[3], exit);
    EXPECT_EQ(argv[4], nullptr);

    char bad[] = "--rig=";
    char* argvBad[] = {prog, bad, exit, nullptr};
    int argcBad = 3;
    EXPECT_EQ(CPlatformHost::fromCommandLine(argcBad, argvBad, error), nullptr);
    EXPECT_NE(error.find("no rig file"), std::string::npos) << error;
}

}  // namespace
}  // namespace qel::sim
