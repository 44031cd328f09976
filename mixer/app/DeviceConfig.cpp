#include "mixer/app/DeviceConfig.h"

#include <cstdio>
#include <vector>

namespace qel::mixer {

std::string DeviceXPath(const std::string& modelName) {
    return "QelDeviceConfig/Device[@Name=" + xpathLiteral(modelName) + "]";
}

bool FindDeviceConfig(const XmlDocument& doc, const DEVICE_PROPS& props, XmlNode& node, IMixerMessageBox* box) {
    node = XmlNode();
    node = doc.selectSingleNode(DeviceXPath(props.modelName));
    if (!node.isNull()) return true;
    if (box != nullptr) {
        static const char kFormat[] = "XML-configuration for the device %s not found.\nPlease check XML config file";
        std::vector<char> text(sizeof kFormat + props.displayName.size());
        std::snprintf(text.data(), text.size(), kFormat, props.displayName.c_str());
        box->ShowMessage(text.data(), "Warning", IMixerMessageBox::Icon::Exclamation);
    }
    return false;
}

int ConnectionKind(const std::string& type) {
    if (type == "1394a") return 2;
    if (type == "USB2") return 1;
    if (type == "combi") return 0;
    return -1;
}

}  // namespace qel::mixer
