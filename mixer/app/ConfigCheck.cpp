#include "mixer/app/ConfigCheck.h"

#include <map>

#include "mixer/app/DeviceConfig.h"
#include "os/Guid.h"

namespace qel::mixer {

namespace {
bool isNumber(const std::string& text) { return text == "0" || parseInt32(text) != 0; }
std::string quote(const std::string& s) { return "\"" + s + "\""; }
}  // namespace

bool CConfigCheck::isControlSectionId(int id) { return (id >= 1031 && id <= 1056) || (id >= 1059 && id <= 1063); }

void CConfigCheck::add(const XmlNode& at, std::string text) { problems_.push_back({at.line(), std::move(text)}); }

CConfigCheck::CConfigCheck(const XmlDocument& doc) {
    const XmlNode root = doc.lastChild();
    if (root.name() != "QelDeviceConfig") {
        add(root, "the last node of the document is not QelDeviceConfig");
        return;
    }
    const XmlNode app = root.selectSingleNode("Application");
    if (app.isNull())
        add(root, "no Application element");
    else if (app.selectSingleNode("@Name").text().empty())
        add(app, "Application has no Name");

    const XmlNode iid = doc.selectSingleNode("QelDeviceConfig/IID");
    for (const char* attr : {"GUID_1394", "GUID_USB"}) {
        const XmlNode guid = iid.selectSingleNode(std::string("@") + attr);
        if (guid.isNull())
            add(iid.isNull() ? root : iid, std::string("no ") + attr + ": no devices on that bus");
        else if (!os::Guid::parse(guid.text()))
            add(guid, std::string(attr) + " " + quote(guid.text()) + " is not a GUID in braces");
    }

    std::map<std::string, int> seen;
    for (const XmlNode& device : doc.selectNodes("QelDeviceConfig/Device")) {
        const std::string name = device.selectSingleNode("@Name").text();
        if (const auto [it, fresh] = seen.emplace(name, device.line()); !fresh)
            add(device, "Device " + quote(name) + " repeats the one of line " + std::to_string(it->second) +
                            " (only the first is used)");
        checkDevice(device);
    }
    if (seen.empty()) add(root, "no Device elements");
}

void CConfigCheck::checkId(const XmlNode& owner, const char* attribute, bool required, const std::string& what) {
    const XmlNode attr = owner.selectSingleNode(std::string("./@") + attribute);
    if (attr.isNull()) {
        if (required) add(owner, what + " has no " + attribute);
        return;
    }
    const std::string text = attr.text();
    if (!isNumber(text)) {
        add(owner, what + " " + attribute + " " + quote(text) + " is not a number (read as 0)");
        return;
    }
    const int id = attr.intValue();
    if (id < 1 || id > 255) add(owner, what + " " + attribute + " " + text + " is out of range 1..255");
}

void CConfigCheck::checkDevice(const XmlNode& device) {
    const std::string name = device.selectSingleNode("@Name").text();
    if (name.empty()) add(device, "Device has no Name");
    const std::string type = device.selectSingleNode("@Type").text();
    const int kind = ConnectionKind(type);
    if (kind < 0) add(device, "Device " + quote(name) + " Type " + quote(type) + " is not 1394a, USB2 or combi");
    const std::string title = device.selectSingleNode("@Title").text();
    if (title.empty()) add(device, "Device " + quote(name) + " has no Title");
    layout_.push_back(name + " (" + type + ") " + quote(title));

    const XmlNode cfg = device.selectSingleNode("ChannelConfig[@Name='default']");
    if (cfg.isNull()) {
        add(device, "Device " + quote(name) + " has no ChannelConfig named \"default\"");
        return;
    }
    // The attribute that names blocks on this model's bus (combi: both).
    const bool fireWire = kind == 2 || kind == 0;
    const bool usb = kind == 1 || kind == 0;

    const XmlNodeList strips = cfg.selectNodes("ChannelStrip");
    if (strips.empty()) add(cfg, "no ChannelStrip in the default ChannelConfig");
    int masters = 0;
    for (const XmlNode& strip : strips) {
        const std::string dir = strip.selectSingleNode("Dir").text();
        const std::string caption = strip.selectSingleNode("Caption").text();
        const std::string stripType = strip.selectSingleNode("Type").text();
        const bool known = dir == "Input" || dir == "Master" || dir == "Headphone";
        if (!known) add(strip, "ChannelStrip Dir " + quote(dir) + " is not Input, Master or Headphone (no strip)");
        if ((dir == "Input" || dir == "Master") && caption.empty()) add(strip, dir + " strip has no Caption");
        if (dir == "Input" && stripType.empty()) add(strip, "Input strip has no Type");
        if (dir == "Master") ++masters;
        if (known) {
            if (fireWire) checkId(strip, "AVC_FFB_ID", true, dir + " strip");
            if (usb) checkId(strip, "USB_FU_ID", true, dir + " strip");
        }
        const XmlNode controlled = strip.selectSingleNode("./@DeviceControlled");
        if (!controlled.isNull() && controlled.text() != "true" && controlled.text() != "false")
            add(strip, "DeviceControlled " + quote(controlled.text()) + " is neither \"true\" nor \"false\"");
        std::string line = "  " + dir + " " + quote(caption);
        if (!stripType.empty()) line += " " + stripType;
        if (fireWire) line += " block " + std::to_string(strip.selectSingleNode("./@AVC_FFB_ID").intValue());
        if (usb) line += " unit " + std::to_string(strip.selectSingleNode("./@USB_FU_ID").intValue());
        if (dir == "Master" && controlled.text() == "true") line += " device-controlled";
        layout_.push_back(line);
    }
    if (!strips.empty() && masters != 1)
        add(cfg, "the default ChannelConfig has " + std::to_string(masters) + " Master strips");

    std::string hidden;
    for (const XmlNode& option : cfg.selectNodes("ControlSection/Option[@Show='False']")) {
        const XmlNode id = option.selectSingleNode("./@ID");
        if (!isNumber(id.text()) || !isControlSectionId(id.intValue()))
            add(option, "Option ID " + quote(id.text()) + " is no control of the control section");
        else
            hidden += " " + std::to_string(id.intValue());
    }
    for (const XmlNode& option : cfg.selectNodes("ControlSection/Option[@Show!='False']"))
        add(option, "Option Show " + quote(option.selectSingleNode("@Show").text()) +
                        " hides nothing (only \"False\" does)");
    if (!hidden.empty()) layout_.push_back("  hidden:" + hidden);

    if (const XmlNode xf = cfg.selectSingleNode("CrossFader"); !xf.isNull()) {
        if (fireWire) checkId(xf, "AVC_FFB_ID", true, "CrossFader");
        if (usb) checkId(xf, "USB_FU_ID", true, "CrossFader");
        std::string line = "  CrossFader";
        if (fireWire) line += " block " + std::to_string(xf.selectSingleNode("./@AVC_FFB_ID").intValue() & 0xFF);
        if (usb) line += " unit " + std::to_string(xf.selectSingleNode("./@USB_FU_ID").intValue() & 0xFF);
        const XmlNode controlled = xf.selectSingleNode("./@DeviceControlled");
        if (!controlled.isNull() && controlled.text() != "true" && controlled.text() != "false")
            add(xf, "DeviceControlled " + quote(controlled.text()) + " is neither \"true\" nor \"false\"");
        if (controlled.text() == "true") line += " device-controlled";
        layout_.push_back(line);
    }
}

}  // namespace qel::mixer
