// Arbitrary text as a configuration file through every lookup the panel makes
// and through the configuration checker.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mixer/app/ConfigCheck.h"
#include "mixer/app/DeviceConfig.h"
#include "mixer/app/XmlDom.h"

using namespace qel::mixer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    XmlDocument doc;
    if (!doc.loadText(text)) return 0;
    std::size_t sink = doc.selectSingleNode("QelDeviceConfig/IID/@GUID_1394").text().size();
    sink += doc.lastChild().selectSingleNode("Application").selectSingleNode("@Name").text().size();
    for (const XmlNode& dev : doc.selectNodes("QelDeviceConfig/Device")) {
        const std::string name = dev.selectSingleNode("@Name").text();
        const XmlNode again = doc.selectSingleNode("QelDeviceConfig/Device[@Name=" + xpathLiteral(name) + "]");
        const XmlNode cfg = again.selectSingleNode("ChannelConfig[@Name='default']");
        for (const XmlNode& strip : cfg.selectNodes("ChannelStrip")) {
            sink += strip.selectSingleNode("Dir").text().size() + strip.selectSingleNode("Caption").text().size();
            sink += static_cast<std::size_t>(strip.selectSingleNode("./@AVC_FFB_ID").intValue());
            sink += static_cast<std::size_t>(strip.line());
        }
        for (const XmlNode& opt : cfg.selectNodes("ControlSection/Option[@Show='False']"))
            sink += static_cast<std::size_t>(opt.selectSingleNode("./@ID").intValue());
    }
    // The device list's model look-up, with the rig's names and odd ones.
    for (const char* model : {"Kavro 610", "Kavro U410", "It's \"odd\"", "x' or '1'='1", ""}) {
        qel::DEVICE_PROPS props;
        props.modelName = model;
        props.displayName = model;
        XmlNode node;
        sink += FindDeviceConfig(doc, props, node, nullptr) ? 1 : 0;
        sink += static_cast<std::size_t>(ConnectionKind(node.selectSingleNode("@Type").text()) + 1);
    }
    // The checker walks every element the panel reads.
    const CConfigCheck check(doc);
    sink += check.problems().size() + check.layout().size();
    volatile std::size_t keep = sink;
    (void)keep;
    return 0;
}
