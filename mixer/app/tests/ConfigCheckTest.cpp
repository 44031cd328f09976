#include "mixer/app/ConfigCheck.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace qel::mixer;

namespace {
CConfigCheck check(const std::string& xml) {
    XmlDocument doc;
    std::string error;
    EXPECT_TRUE(doc.loadText(xml, &error)) << error;
    return CConfigCheck(doc);
}
// "line: text" of every problem.
std::vector<std::string> problems(const CConfigCheck& c) {
    std::vector<std::string> out;
    for (const auto& p : c.problems()) out.push_back(std::to_string(p.line) + ": " + p.text);
    return out;
}
}  // namespace

TEST(ConfigCheck, TheShippedFileHasNoProblems) {
    std::ifstream in(QEL_SHIPPED_CONFIG);
    std::ostringstream s;
    s << in.rdbuf();
    const CConfigCheck c = check(s.str());
    EXPECT_TRUE(c.problems().empty()) << ::testing::PrintToString(problems(c));
    ASSERT_FALSE(c.layout().empty());
    EXPECT_EQ(c.layout()[0], "Kavro 610 (1394a) \"Kavro 610 MixerPanel\"");
    EXPECT_EQ(c.layout()[3], "  Master \"Main Out\" ANALOG block 3 device-controlled");
}

TEST(ConfigCheck, EveryProblemWithItsLine) {
    const CConfigCheck c = check(R"(<QelDeviceConfig>
<IID GUID_1394="{A098F460-2CC2-4072-A32A-36CCD74581A}"/>
<Device Name="A" Type="usb2" Title="t">
 <ChannelConfig Name="default">
  <ChannelStrip AVC_FFB_ID="x"><Dir>Output</Dir></ChannelStrip>
  <ChannelStrip AVC_FFB_ID="300" DeviceControlled="True"><Dir>Master</Dir><Caption>M</Caption></ChannelStrip>
  <ControlSection><Option ID="1057" Show="False"/><Option ID="1031" Show="false"/></ControlSection>
 </ChannelConfig>
</Device>
<Device Name="A" Type="1394a" Title="t"><ChannelConfig Name="other"/></Device>
</QelDeviceConfig>)");
    EXPECT_EQ(problems(c),
              (std::vector<std::string>{
                  "1: no Application element",
                  "2: GUID_1394 \"{A098F460-2CC2-4072-A32A-36CCD74581A}\" is not a GUID in braces",
                  "2: no GUID_USB: no devices on that bus",
                  "3: Device \"A\" Type \"usb2\" is not 1394a, USB2 or combi",
                  "5: ChannelStrip Dir \"Output\" is not Input, Master or Headphone (no strip)",
                  "6: DeviceControlled \"True\" is neither \"true\" nor \"false\"",
                  "7: Option ID \"1057\" is no control of the control section",
                  "7: Option Show \"false\" hides nothing (only \"False\" does)",
                  "10: Device \"A\" repeats the one of line 3 (only the first is used)",
                  "10: Device \"A\" has no ChannelConfig named \"default\"",
              }));
    // The bus of a well-typed model decides which ids are required and checked.
    const CConfigCheck ids = check(R"(<QelDeviceConfig><Application Name="a"/>
<IID GUID_1394="{A098F460-2CC2-4072-A32A-36CCD74581A4}" GUID_USB="{A098F460-2CC2-4072-A32A-36CCD74581A4}"/>
<Device Name="F" Type="1394a" Title="t"><ChannelConfig Name="default">
<ChannelStrip AVC_FFB_ID="0x3"><Dir>Input</Dir><Caption>c</Caption><Type>A</Type></ChannelStrip>
<ChannelStrip AVC_FFB_ID="256"><Dir>Master</Dir><Caption>c</Caption></ChannelStrip>
<ChannelStrip USB_FU_ID="2"><Dir>Headphone</Dir></ChannelStrip>
<CrossFader AVC_FFB_ID="0"/></ChannelConfig></Device>
</QelDeviceConfig>)");
    EXPECT_EQ(problems(ids), (std::vector<std::string>{
                                 "4: Input strip AVC_FFB_ID \"0x3\" is not a number (read as 0)",
                                 "5: Master strip AVC_FFB_ID 256 is out of range 1..255",
                                 "6: Headphone strip has no AVC_FFB_ID",
                                 "7: CrossFader AVC_FFB_ID 0 is out of range 1..255",
                             }));
}

TEST(ConfigCheck, ARootThatIsNotLastIsReported) {
    const CConfigCheck c = check("<DeviceConfig><QelDeviceConfig/></DeviceConfig>");
    ASSERT_EQ(c.problems().size(), 1u);
    EXPECT_EQ(c.problems()[0].text, "the last node of the document is not QelDeviceConfig");
}
