// qelctl's scene commands on the rig: a save and load round trip on FireWire
// and USB checked on the devices' values, a scene of another model, and
// broken files that reach no device.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tools/qelctl/Qelctl.h"

using qel::tools::Qelctl;

namespace {
struct Result {
    int code;
    std::string out, err;
};
Result run(Qelctl& tool, const std::string& script) {
    std::istringstream in(script);
    std::ostringstream out, err;
    const int code = tool.run({"-"}, in, out, err);
    return {code, out.str(), err.str()};
}
// One file per test and call: the tests run as parallel processes.
std::string tempPath() {
    static int serial = 0;
    return ::testing::TempDir() + "qelctl_scene_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
           "_" + std::to_string(++serial) + ".scene";
}
std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
const std::string kConfig = std::string(" --config ") + QEL_SHIPPED_CONFIG;
}  // namespace

TEST(SceneCommands, FireWireRoundTripEndsOnTheDevice) {
    const std::string saved = tempPath();
    {
        Qelctl tool;
        const Result r = run(tool, "volume 2 1 1 -12\nmute 2 2 2 on\nscene save 2 " + saved + kConfig + "\n");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("scene of \"Kavro 1814\" saved to " + saved + " (40 values)\n"), std::string::npos) << r.out;
    }
    const std::string text = readFile(saved);
    EXPECT_EQ(text.rfind("# Kavro Mixer Panel scene\nmodel = Kavro 1814\ninput \"Input 1/2\" left volume = -12 dB\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("input \"Input 3/4\" right mute = on\n"), std::string::npos);
    EXPECT_NE(text.find("\nsample rate = 48000\n"), std::string::npos);

    // A fresh rig takes the scene, changed by hand.
    std::string scene = text;
    scene.replace(scene.find("left volume = -12 dB"), 20, "left volume = -30 dB");
    scene.replace(scene.find("crossfader = 0"), 14, "crossfader = 40");
    scene.replace(scene.find("sample rate = 48000"), 19, "sample rate = 96000");
    scene += "input \"Input 1/2\" link = on\n";
    const std::string edited = tempPath();
    writeFile(edited, scene);
    Qelctl tool;
    const Result r = run(tool, "scene load 2 " + edited + kConfig + "\nvolume 2 1 1\nmute 2 2 2\nvolume 2 8 0\nrates\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("applied: input \"Input 1/2\" left volume = -30 dB\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("applied: input \"Input 3/4\" right mute = on\n"), std::string::npos);
    EXPECT_NE(r.out.find("applied: crossfader = 40\n"), std::string::npos);
    EXPECT_NE(r.out.find("applied: sample rate = 96000\n"), std::string::npos);
    EXPECT_NE(r.out.find("skipped: input \"Input 1/2\" link = on: kept by the mixer panel's surface, not the device\n"),
              std::string::npos);
    // The device's own answers.
    EXPECT_NE(r.out.find("\nvolume 1 1 -30\nmute 2 2 on\nvolume 8 0 -40\n"), std::string::npos) << r.out;
    // Saved again it is the scene loaded (the link is no device state).
    const std::string again = tempPath();
    ASSERT_EQ(run(tool, "scene save 2 " + again + kConfig + "\n").code, 0);
    EXPECT_EQ(readFile(again) + "input \"Input 1/2\" link = on\n", scene);
}

TEST(SceneCommands, UsbRoundTripEndsOnTheDevice) {
    const std::string saved = tempPath();
    Qelctl tool;
    Result r = run(tool, "volume 16 2 1 -9\nmute 16 4 0 on\nscene save 16 " + saved + kConfig + "\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string text = readFile(saved);
    EXPECT_NE(text.find("model = Kavro U410\n"), std::string::npos) << text;
    EXPECT_NE(text.find("input \"Input 3/4\" left volume = -9 dB\n"), std::string::npos) << text;
    EXPECT_NE(text.find("headphone mute = on\n"), std::string::npos);
    // No output balance to read back on USB; the device's mode (ADAT) is
    // none the U410's surface shows.
    EXPECT_EQ(text.find("balance"), std::string::npos);
    EXPECT_EQ(text.find("digital mode"), std::string::npos);

    r = run(tool, "volume 16 2 1 0\nmute 16 4 0 off\nscene load 16 " + saved + kConfig + "\nvolume 16 2 1\nmute 16 4 0\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("applied: input \"Input 3/4\" left volume = -9 dB\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nvolume 2 1 -9\nmute 4 0 on\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("skipped"), std::string::npos) << r.out;
}

TEST(SceneCommands, SceneOfAnotherModelAppliesWhatMatches) {
    const std::string saved = tempPath();
    Qelctl tool;
    ASSERT_EQ(run(tool, "volume 2 1 2 -7\nvolume 2 3 1 -5\nscene save 2 " + saved + kConfig + "\n").code, 0);
    const Result r = run(tool, "scene load 1 " + saved + kConfig + "\nvolume 1 1 2\nvolume 1 3 1\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("scene of \"Kavro 1814\" on \"Kavro 610\": only matching controls apply\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("applied: input \"Input 1/2\" right volume = -7 dB\n"), std::string::npos);
    EXPECT_NE(r.out.find("skipped: input \"Input 5/6\" left volume = -5 dB: no such strip on this device\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("skipped: crossfader = 0: no crossfader on this device\n"), std::string::npos);
    // The 610's block 3 is its main out: the 1814's Input 5/6 did not reach it.
    EXPECT_NE(r.out.find("\nvolume 1 2 -7\nvolume 3 1 0\n"), std::string::npos) << r.out;
    // One line per value of the file.
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = r.out.find("\n", at)) != std::string::npos; ++at) ++lines;
    EXPECT_EQ(lines, 1u + 40u + 2u);

    // A digital mode the 610 does not show is skipped.
    const std::string adat = tempPath();
    writeFile(adat, "model = Kavro 1814\ndigital mode = ADAT\n");
    const Result m = run(tool, "scene load 1 " + adat + kConfig + "\n");
    EXPECT_NE(m.out.find("skipped: digital mode = ADAT: not on this device\n"), std::string::npos) << m.out;
}

TEST(SceneCommands, BrokenFilesReachNoDevice) {
    const std::string broken = tempPath();
    writeFile(broken, "model = Kavro 1814\ninput \"Input 1/2\" left volume = -12 dB\nmaster volume = 5 dB\n");
    Qelctl tool;
    Result r = [&] {
        std::istringstream in;
        std::ostringstream out, err;
        const int code = tool.run({"--trace", "scene", "load", "2", broken, "--config", QEL_SHIPPED_CONFIG}, in, out, err);
        return Result{code, out.str(), err.str()};
    }();
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.err, "qelctl: scene: " + broken + ": line 3: 5 is out of range for \"master volume\" (-63..0)\n");
    // Not even the device was opened.
    EXPECT_EQ(r.out, "");
    r = run(tool, "volume 2 1 1\n");
    EXPECT_EQ(r.out, "volume 1 1 0\n");

    r = run(tool, "scene load 2 " + broken + ".missing\n");
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.err, "qelctl: scene: cannot open " + broken + ".missing\n");
    r = run(tool, "scene save 2\n");
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("scene save|load DEV FILE [--config FILE]"), std::string::npos) << r.err;
}
