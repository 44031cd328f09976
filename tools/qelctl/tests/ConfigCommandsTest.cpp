// qelctl's configuration commands on the rig: what the device list takes in
// and skips, and the checker's report.
#include <gtest/gtest.h>

#include <cstdio>
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
Result run(const std::string& script) {
    Qelctl tool;
    std::istringstream in(script);
    std::ostringstream out, err;
    const int code = tool.run({"-"}, in, out, err);
    return {code, out.str(), err.str()};
}
// One file per test and call: the tests run as parallel processes.
std::string tempFile(const std::string& text) {
    static int serial = 0;
    const std::string path = ::testing::TempDir() + "qelctl_config_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                             std::to_string(++serial) + ".xml";
    std::ofstream(path) << text;
    return path;
}
}  // namespace

TEST(ConfigCommands, DevicesListsTakenAndSkippedDevices) {
    const Result r = run(std::string("sim add-model fw 5 \"Mystery 1\" \"Odd Box\"\nsim add-model usb 17 \"U999\"\n") +
                         "devices --config " + QEL_SHIPPED_CONFIG + "\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "taken fw 1 \"Studio 610\" model \"Kavro 610\"\n"
              "taken fw 2 \"Stage 1814\" model \"Kavro 1814\"\n"
              "taken usb 16 \"Desk U410\" model \"Kavro U410\"\n"
              "skipped fw 5 \"Odd Box\" model \"Mystery 1\": no Device element for the model\n"
              "skipped usb 17 \"U999\" model \"U999\": only the first USB device is taken in\n");

    const std::string noUsb = tempFile(
        R"(<QelDeviceConfig><IID GUID_1394="{A098F460-2CC2-4072-A32A-36CCD74581A4}"/></QelDeviceConfig>)");
    const Result none = run("devices --config " + noUsb + "\n");
    EXPECT_EQ(none.code, 0) << none.err;
    EXPECT_NE(none.out.find("usb: no well-formed GUID_USB in the configuration, no devices"), std::string::npos);
    EXPECT_NE(none.out.find("skipped fw 1 \"Studio 610\" model \"Kavro 610\": no Device element"), std::string::npos);

    EXPECT_NE(run("devices --config /nonexistent/x.xml\n").code, 0);
    EXPECT_NE(run("sim add-model fw 1 \"Kavro 610\"\n").code, 0);  // identifier taken
}

TEST(ConfigCommands, CheckPrintsTheLayoutAndEveryProblem) {
    const Result good = run(std::string("config check ") + QEL_SHIPPED_CONFIG + "\n");
    EXPECT_EQ(good.code, 0) << good.err;
    EXPECT_NE(good.out.find("Kavro 1814 (1394a) \"Kavro 1814 MixerPanel\"\n"), std::string::npos);
    EXPECT_NE(good.out.find("  CrossFader unit 5\n"), std::string::npos);

    const std::string bad = tempFile("<QelDeviceConfig>\n<Application Name='a'/>\n"
                                     "<IID GUID_1394='nope' GUID_USB='{A098F460-2CC2-4072-A32A-36CCD74581A4}'/>\n"
                                     "</QelDeviceConfig>");
    const Result r = run("config check " + bad + "\n");
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find(bad + ":3: GUID_1394 \"nope\" is not a GUID in braces"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(bad + ":1: no Device elements"), std::string::npos) << r.out;

    const Result broken = run("config check " + tempFile("<QelDeviceConfig><Device></QelDeviceConfig>") + "\n");
    EXPECT_NE(broken.code, 0);
    EXPECT_NE(broken.err.find("line 1"), std::string::npos) << broken.err;
}
