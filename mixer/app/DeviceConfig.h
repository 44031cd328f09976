#pragma once
// Look-ups of a device model in the configuration file.
#include <string>

#include "device/DeviceProps.h"
#include "mixer/app/MixerMessageBox.h"
#include "mixer/app/XmlDom.h"

namespace qel::mixer {

// "QelDeviceConfig/Device[@Name='<model>']", the model as a safe literal.
std::string DeviceXPath(const std::string& modelName);

// The Device element of the model into `node` (cleared first). Without one
// the warning naming the display name goes to `box` (when given) and the
// result is false.
bool FindDeviceConfig(const XmlDocument& doc, const DEVICE_PROPS& props, XmlNode& node, IMixerMessageBox* box);

// Connection kind of a Device's "@Type": "1394a" 2, "USB2" 1, "combi" 0,
// anything else -1 (case-sensitive).
int ConnectionKind(const std::string& type);

}  // namespace qel::mixer
