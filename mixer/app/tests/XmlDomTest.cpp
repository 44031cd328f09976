#include "mixer/app/XmlDom.h"

#include <gtest/gtest.h>

using namespace qel::mixer;

namespace {
const char* kConfig = R"(<?xml version="1.0"?>
<!-- comment before the root -->
<QelDeviceConfig>
  <Application Name="Kavro Mixer"/>
  <IID GUID_1394="{A098F460-2CC2-4072-A32A-36CCD74581A4}"/>
  <Device Name="Kavro 610" Type="1394a" Title="Kavro 610 Mixer">
    <ChannelConfig Name="other"><ChannelStrip><Dir>Input</Dir></ChannelStrip></ChannelConfig>
    <ChannelConfig Name="default">
      <ChannelStrip AVC_FFB_ID="3" USB_FU_ID="x1"><Dir> Input </Dir><Caption>In <b>1</b>/2</Caption></ChannelStrip>
      <ChannelStrip AVC_FFB_ID="-7"><Dir>Master</Dir></ChannelStrip>
    </ChannelConfig>
  </Device>
  <Device Name="It's &quot;odd&quot;" Type="USB2"/>
</QelDeviceConfig>
)";

XmlDocument loaded() {
    XmlDocument doc;
    std::string error;
    EXPECT_TRUE(doc.loadText(kConfig, &error)) << error;
    return doc;
}
}  // namespace

TEST(XmlDom, LookupsOfTheConfiguration) {
    XmlDocument doc;
    ASSERT_TRUE(doc.loadText(kConfig));
    EXPECT_EQ(doc.selectSingleNode("QelDeviceConfig/IID/@GUID_1394").text(),
              "{A098F460-2CC2-4072-A32A-36CCD74581A4}");
    EXPECT_TRUE(doc.selectSingleNode("QelDeviceConfig/IID/@GUID_USB").isNull());
    const XmlNode root = doc.lastChild();
    EXPECT_EQ(root.name(), "QelDeviceConfig");
    EXPECT_EQ(root.selectSingleNode("Application").selectSingleNode("@Name").text(), "Kavro Mixer");

    const XmlNode dev = doc.selectSingleNode("QelDeviceConfig/Device[@Name='Kavro 610']");
    ASSERT_FALSE(dev.isNull());
    EXPECT_EQ(dev.line(), 6);
    EXPECT_TRUE(doc.selectSingleNode("QelDeviceConfig/Device[@Name='kavro 610']").isNull());  // case matters
    const XmlNode cfg = dev.selectSingleNode("ChannelConfig[@Name='default']");
    const XmlNodeList strips = cfg.selectNodes("ChannelStrip");
    ASSERT_EQ(strips.size(), 2u);
    EXPECT_EQ(strips[0].selectSingleNode("Dir").text(), "Input");  // surrounding blanks dropped
    EXPECT_EQ(strips[0].selectSingleNode("Caption").text(), "In 1/2");
    EXPECT_EQ(strips[0].selectSingleNode("./@AVC_FFB_ID").intValue(), 3);
    EXPECT_EQ(strips[0].selectSingleNode("./@USB_FU_ID").intValue(), 0);      // not a number
    EXPECT_EQ(strips[1].selectSingleNode("./@USB_FU_ID").intValue(), 0);      // missing
    EXPECT_EQ(strips[1].selectSingleNode("./@AVC_FFB_ID").intValue(), -7);
    EXPECT_TRUE(strips[1].selectSingleNode("Caption").isNull());
    EXPECT_EQ(strips[1].selectSingleNode("Caption").text(), "");
}

TEST(XmlDom, IntegerRules) {
    EXPECT_EQ(parseInt32(" 42 "), 42);
    EXPECT_EQ(parseInt32("+5"), 5);
    EXPECT_EQ(parseInt32("2147483647"), 2147483647);
    EXPECT_EQ(parseInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseInt32("2147483648"), 0);
    EXPECT_EQ(parseInt32("99999999999999999999"), 0);
    EXPECT_EQ(parseInt32("0x10"), 0);
    EXPECT_EQ(parseInt32("12abc"), 0);
    EXPECT_EQ(parseInt32(""), 0);
    EXPECT_EQ(parseInt32("-"), 0);
}

TEST(XmlDom, NamesWithQuotesCannotBreakTheExpression) {
    XmlDocument doc = loaded();
    const std::string odd = "It's \"odd\"";
    const XmlNode n = doc.selectSingleNode("QelDeviceConfig/Device[@Name=" + xpathLiteral(odd) + "]");
    ASSERT_FALSE(n.isNull());
    EXPECT_EQ(n.selectSingleNode("@Type").text(), "USB2");
    // A name that tries to widen the predicate matches nothing.
    EXPECT_TRUE(doc.selectSingleNode("QelDeviceConfig/Device[@Name=" + xpathLiteral("x' or '1'='1") + "]").isNull());
    EXPECT_EQ(xpathLiteral("plain"), "'plain'");
    EXPECT_EQ(xpathLiteral("a'b"), "\"a'b\"");
    EXPECT_EQ(xpathLiteral("'\"'"), "concat(\"'\",'\"',\"'\")");
    // Malformed expressions select nothing instead of throwing.
    EXPECT_TRUE(doc.selectSingleNode("QelDeviceConfig/Device[@Name='x").isNull());
    EXPECT_TRUE(doc.selectNodes("((").empty());
}

TEST(XmlDom, LoadFailuresAreReported) {
    XmlDocument doc;
    std::string error;
    EXPECT_FALSE(doc.load("/nonexistent/KavroMixerPanelConfig.xml", &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    EXPECT_FALSE(doc.loadText("<a>\n<b></a>", &error));
    EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
    EXPECT_FALSE(doc.isLoaded());
    EXPECT_TRUE(doc.selectSingleNode("a").isNull());
    EXPECT_TRUE(doc.lastChild().isNull());
}
