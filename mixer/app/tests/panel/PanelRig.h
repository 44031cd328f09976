#pragma once
// Shared fixture of the mixer panel's Qt tests: the default simulated rig
// (models Kavro 610 and Kavro 1814 on FireWire, Kavro U410 on USB), a device-layer
// context over it, the configuration document, the device list and a
// recording message box. Build() creates and builds a mixer container for a
// device list entry the way the main window does (device, title, bus kind,
// connection kind, BuildMixer, UpdateData), from the model's "default"
// ChannelConfig or from ChannelConfig text of a test's own.
//
//   PanelRig r;                                   // shipped configuration
//   CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
//   CMixerCtrlContainer* u = r.BuildFromText(PanelRig::kU410,
//       "<ChannelConfig><CrossFader USB_FU_ID='300'/></ChannelConfig>");
//
// The rig owns the containers and destroys them before the device list and
// the rig. Everything runs on the test's (window) thread.
#include "mixer/app/DeviceConfig.h"
#include "mixer/app/DeviceList.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/app/MixerMessageBox.h"
#include "mixer/app/XmlDom.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

#include <QString>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace qel::mixer::test {

// The message boxes shown, in order.
class RecordingMixerBox final : public IMixerMessageBox {
public:
    struct Entry {
        std::string text;
        std::string caption;
        Icon icon = Icon::None;
    };
    void ShowMessage(const std::string& text, const std::string& caption, Icon icon) override
    {
        entries.push_back({text, caption, icon});
    }
    bool Shown(const std::string& text) const
    {
        for (const Entry& e : entries)
            if (e.text == text) return true;
        return false;
    }
    std::vector<Entry> entries;
};

class PanelRig {
public:
    // Entries of the device list over the default rig and the shipped file.
    static constexpr std::size_t k610 = 0;
    static constexpr std::size_t k1814 = 1;
    static constexpr std::size_t kU410 = 2;

    // The text of the shipped configuration file (empty when unreadable).
    static std::string ShippedConfigText()
    {
        std::ifstream in(QEL_SHIPPED_CONFIG);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // A rig (the default one when null; change it before handing it in to
    // have the device list open it so) and the configuration text (the
    // shipped file when empty).
    explicit PanelRig(std::unique_ptr<sim::Rig> simRig = nullptr, const std::string& configText = {})
        : rig(simRig ? std::move(simRig) : sim::Rig::makeDefault()), os(*rig), ctx(os)
    {
        XmlDocument doc;
        docLoaded = doc.loadText(configText.empty() ? ShippedConfigText() : configText, &loadError);
        list = std::make_unique<CDeviceList>(ctx, doc);
    }
    ~PanelRig() { containers.clear(); }
    PanelRig(const PanelRig&) = delete;
    PanelRig& operator=(const PanelRig&) = delete;

    const XmlDocument& Document() const { return list->document(); }
    Device* DeviceAt(std::size_t i) const { return list->device(i); }
    DEVICE_PROPS PropsAt(std::size_t i) const
    {
        DEVICE_PROPS p;
        list->getDeviceProps(i, p);
        return p;
    }
    // The Device element of entry i's model (null when there is none).
    XmlNode DeviceConfig(std::size_t i) const
    {
        XmlNode node;
        FindDeviceConfig(Document(), PropsAt(i), node, nullptr);
        return node;
    }
    // The model's "default" ChannelConfig.
    XmlNode DefaultChannelConfig(std::size_t i) const
    {
        const XmlNode dev = DeviceConfig(i);
        return dev ? dev.selectSingleNode("ChannelConfig[@Name='default']") : XmlNode();
    }

    // Creates and builds a container for entry i from channelConfig, set up
    // like the main window's: device, "@Title", bus kind, connection kind of
    // "@Type". Null when the entry does not exist.
    CMixerCtrlContainer* Build(std::size_t i, const XmlNode& channelConfig, QWidget* parent = nullptr)
    {
        Device* device = DeviceAt(i);
        if (device == nullptr) return nullptr;
        const DEVICE_PROPS props = PropsAt(i);
        const XmlNode dev = DeviceConfig(i);
        auto c = std::make_unique<CMixerCtrlContainer>(parent, &box);
        c->SetDevice(device);
        if (dev) c->SetTitle(QString::fromStdString(dev.selectSingleNode("@Title").text()));
        c->SetBusKind(props.busKind == 0 ? 0 : 1);
        if (dev) c->SetConnectionKind(ConnectionKind(dev.selectSingleNode("@Type").text()));
        c->BuildMixer(QString::fromStdString(props.displayName), channelConfig);
        c->UpdateData(false);
        containers.push_back(std::move(c));
        return containers.back().get();
    }
    CMixerCtrlContainer* Build(std::size_t i) { return Build(i, DefaultChannelConfig(i)); }

    // As Build, from the text of a ChannelConfig element (its document is
    // kept alive by the node). Null when the text does not parse.
    CMixerCtrlContainer* BuildFromText(std::size_t i, const std::string& channelConfigXml, QWidget* parent = nullptr)
    {
        XmlDocument doc;
        if (!doc.loadText(channelConfigXml, &loadError)) return nullptr;
        const XmlNode cfg = doc.selectSingleNode("ChannelConfig");
        if (!cfg) return nullptr;
        return Build(i, cfg, parent);
    }

    // Destroys a container built here (before the rig goes, e.g. to check
    // that nothing reaches it afterwards).
    void Destroy(CMixerCtrlContainer* c)
    {
        for (auto it = containers.begin(); it != containers.end(); ++it)
            if (it->get() == c) {
                containers.erase(it);
                return;
            }
    }

    std::unique_ptr<sim::Rig> rig;
    os::SimOs os;
    QelContext ctx;
    RecordingMixerBox box;
    bool docLoaded = false;
    std::string loadError;
    std::unique_ptr<CDeviceList> list;
    std::vector<std::unique_ptr<CMixerCtrlContainer>> containers;
};

}  // namespace qel::mixer::test
