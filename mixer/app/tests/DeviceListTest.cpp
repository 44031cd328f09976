#include "mixer/app/DeviceList.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "mixer/app/DeviceConfig.h"
#include "os/sim/SimOs.h"
#include "sim/FwFirmware.h"
#include "sim/Rig.h"
#include "sim/UsbDevice.h"

using namespace qel;
using namespace qel::mixer;

namespace {

// The rig's platform calls, counting enumeration sets and handles still open.
class CountingOs final : public os::IOs {
public:
    explicit CountingOs(sim::Rig& rig) : sim_(rig) {}
    int openSets = 0;
    int openHandles = 0;

    os::DevInfoSet getClassDevs(const os::Guid& g) override {
        os::DevInfoSet s = sim_.getClassDevs(g);
        if (s != nullptr) ++openSets;
        return s;
    }
    void destroyDevInfoSet(os::DevInfoSet s) override {
        --openSets;
        sim_.destroyDevInfoSet(s);
    }
    std::uint32_t enumInterface(os::DevInfoSet s, const os::Guid& g, std::uint32_t i, std::string& p) override {
        return sim_.enumInterface(s, g, i, p);
    }
    os::Handle openPath(const std::string& p, bool ov, std::uint32_t& e) override {
        os::Handle h = sim_.openPath(p, ov, e);
        if (h != nullptr) ++openHandles;
        return h;
    }
    void closeHandle(os::Handle h) override {
        --openHandles;
        sim_.closeHandle(h);
    }
    std::uint32_t ioctl(os::Handle h, std::uint32_t c, const void* in, std::uint32_t il, void* out,
                        std::uint32_t ol, std::uint32_t* b) override {
        return sim_.ioctl(h, c, in, il, out, ol, b);
    }
    std::uint32_t ioctlOverlapped(os::Handle h, std::uint32_t c, const void* in, std::uint32_t il, void* out,
                                  std::uint32_t ol, os::Overlapped& ov) override {
        return sim_.ioctlOverlapped(h, c, in, il, out, ol, ov);
    }
    std::uint32_t getOverlappedResult(os::Handle h, os::Overlapped& ov, std::uint32_t* b, bool w) override {
        return sim_.getOverlappedResult(h, ov, b, w);
    }
    std::uint32_t cancelIo(os::Handle h) override { return sim_.cancelIo(h); }
    os::Handle createEvent(bool m, bool i) override {
        os::Handle h = sim_.createEvent(m, i);
        if (h != nullptr) ++openHandles;
        return h;
    }
    void setEvent(os::Handle e) override { sim_.setEvent(e); }
    void resetEvent(os::Handle e) override { sim_.resetEvent(e); }
    std::uint32_t waitForAny(const os::Handle* h, std::uint32_t n, std::uint32_t t) override {
        return sim_.waitForAny(h, n, t);
    }
    std::uint32_t eventValue(os::Handle e) override { return sim_.eventValue(e); }
    os::Handle registerDeviceNotification(const os::Guid& g, DeviceChangeCallback cb) override {
        return sim_.registerDeviceNotification(g, std::move(cb));
    }
    bool unregisterDeviceNotification(os::Handle r) override { return sim_.unregisterDeviceNotification(r); }
    std::string codePageToUtf8(std::string_view t) override { return sim_.codePageToUtf8(t); }

private:
    os::SimOs sim_;
};

class RecordingBox final : public IMixerMessageBox {
public:
    struct Entry {
        std::string text, caption;
        Icon icon;
    };
    void ShowMessage(const std::string& text, const std::string& caption, Icon icon) override {
        entries.push_back({text, caption, icon});
    }
    std::vector<Entry> entries;
};

std::string shippedConfig() {
    std::ifstream in(QEL_SHIPPED_CONFIG);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const char* kGuids =
    R"(<IID GUID_1394="{A098F460-2CC2-4072-A32A-36CCD74581A4}" GUID_USB="{3C5A1E27-8B4D-4F19-A6E2-7D0C9B8F1A53}"/>)";

// A configuration naming these models (the first text is placed verbatim
// into the IID element's place when given).
std::string configWith(const std::vector<std::string>& models, const std::string& iid = kGuids) {
    std::string x = "<QelDeviceConfig><Application Name='T'/>" + iid;
    for (const auto& m : models)
        x += "<Device Name=\"" + m + "\" Type='1394a' Title='t'><ChannelConfig Name='default'/></Device>";
    return x + "</QelDeviceConfig>";
}

sim::FwDeviceModel fwModel(std::uint32_t id, const std::string& vendor, const std::string& model) {
    sim::FwDeviceModel m;
    m.id = id;
    m.rank = id;
    m.deviceName = "Unit " + std::to_string(id);
    m.serial = "SN-" + std::to_string(id);
    m.vendor = vendor;
    m.model = model;
    m.syncModes = {{4, 1, "internal"}};
    m.firmware = std::make_shared<sim::FwFirmware>(std::vector<std::uint8_t>{1, 2});
    return m;
}

class DeviceListTest : public ::testing::Test {
protected:
    DeviceListTest() : rig(sim::Rig::makeDefault()), os(*rig), ctx(os) {}

    std::unique_ptr<CDeviceList> make(const std::string& xml) {
        XmlDocument doc;
        std::string error;
        EXPECT_TRUE(doc.loadText(xml, &error)) << error;
        return std::make_unique<CDeviceList>(ctx, doc);
    }
    static std::vector<std::string> models(const CDeviceList& list) {
        std::vector<std::string> out;
        DEVICE_PROPS p;
        for (std::size_t i = 0; list.getDeviceProps(i, p); ++i) out.push_back(p.modelName);
        return out;
    }

    std::unique_ptr<sim::Rig> rig;
    CountingOs os;
    QelContext ctx;
};

using Models = std::vector<std::string>;

}  // namespace

// ---------------------------------------------------------------- the shipped file on the default rig

TEST_F(DeviceListTest, ShippedConfigurationTakesInEveryDefaultModel) {
    auto list = make(shippedConfig());
    EXPECT_EQ(models(*list), (Models{"Kavro 610", "Kavro 1814", "Kavro U410"}));
    EXPECT_TRUE(list->skipped().empty());

    DEVICE_PROPS p;
    ASSERT_TRUE(list->getDeviceProps(0, p));
    EXPECT_EQ(p.busKind, 1u);
    EXPECT_EQ(p.deviceId, 1u);
    EXPECT_EQ(p.vendorName, "Kavro");
    EXPECT_EQ(p.displayName, "Studio 610");
    EXPECT_EQ(p.lookupName, "K610-000417");
    EXPECT_EQ(p.fullName, "Kavro&Kavro 610");
    EXPECT_EQ(p.interfaceGuid, sim::fireWireGuid());
    ASSERT_TRUE(list->getDeviceProps(2, p));
    EXPECT_EQ(p.busKind, 0u);
    EXPECT_EQ(p.deviceId, 0x10u);
    EXPECT_EQ(p.word2, 0x3C5Au);
    EXPECT_EQ(p.word3, 0x0410u);
    EXPECT_EQ(p.displayName, "Desk U410");
    EXPECT_EQ(p.lookupName, "KU410-000815");
    EXPECT_EQ(p.fullName, "USB 2.0 High Speed");
    EXPECT_EQ(p.furtherText, "FW 1.07");
    EXPECT_EQ(p.interfaceGuid, sim::usbGuid());
    EXPECT_FALSE(list->getDeviceProps(3, p));

    // Opened, with the mode value read at open time.
    ASSERT_NE(list->device(0)->fireWire(), nullptr);
    EXPECT_TRUE(list->device(0)->fireWire()->isOpen());
    ASSERT_NE(list->device(2)->usb(), nullptr);
    EXPECT_TRUE(list->device(2)->usb()->isOpen());
    EXPECT_EQ(list->device(2)->deviceMode(), 1u);
    EXPECT_EQ(os.openSets, 0);
}

// Every block or unit the shipped file names exists in the rig's firmware,
// and every Option id is a control of the control section.
TEST_F(DeviceListTest, ShippedConfigurationMatchesTheRigsFirmware) {
    XmlDocument doc;
    ASSERT_TRUE(doc.loadText(shippedConfig()));
    EXPECT_EQ(doc.lastChild().name(), "QelDeviceConfig");
    const XmlNodeList devices = doc.selectNodes("QelDeviceConfig/Device");
    ASSERT_EQ(devices.size(), 3u);
    for (const XmlNode& dev : devices) {
        const std::string name = dev.selectSingleNode("@Name").text();
        SCOPED_TRACE(name);
        const XmlNode cfg = dev.selectSingleNode("ChannelConfig[@Name='default']");
        ASSERT_FALSE(cfg.isNull());
        const bool usb = dev.selectSingleNode("@Type").text() == "USB2";
        const char* idPath = usb ? "./@USB_FU_ID" : "./@AVC_FFB_ID";
        std::vector<int> ids;
        int masters = 0;
        for (const XmlNode& strip : cfg.selectNodes("ChannelStrip")) {
            ids.push_back(strip.selectSingleNode(idPath).intValue());
            if (strip.selectSingleNode("Dir").text() == "Master") {
                ++masters;
                EXPECT_EQ(strip.selectSingleNode("./@DeviceControlled").text(), "true");
            }
        }
        EXPECT_EQ(masters, 1);
        if (const XmlNode xf = cfg.selectSingleNode("CrossFader"); !xf.isNull())
            ids.push_back(xf.selectSingleNode(idPath).intValue());
        const auto id = usb ? rig->findUsbDevice(name) : std::optional<std::uint32_t>();
        std::optional<std::uint32_t> fwId;
        for (const std::uint32_t d : rig->presentFwDevices())
            rig->withFwDevice(d, [&](sim::FwDeviceModel& m) {
                if (m.model == name) fwId = d;
            });
        for (const int block : ids) {
            bool exists = false;
            if (usb) {
                std::uint32_t usbId = 0x10;
                if (id) usbId = *id;
                rig->withUsbDevice(usbId, [&](sim::UsbDeviceModel& m) {
                    exists = m.model == name && m.units.count(static_cast<std::uint8_t>(block)) == 1;
                });
            } else {
                ASSERT_TRUE(fwId.has_value());
                rig->withFwDevice(*fwId, [&](sim::FwDeviceModel& m) {
                    exists = sim::FwFirmware::of(m)->channel(static_cast<std::uint8_t>(block), 0) != nullptr;
                });
            }
            EXPECT_TRUE(exists) << "block " << block;
        }
        for (const XmlNode& opt : cfg.selectNodes("ControlSection/Option[@Show='False']")) {
            const int control = opt.selectSingleNode("./@ID").intValue();
            EXPECT_TRUE(control >= 1031 && control <= 1063) << control;
        }
    }
    // The S/PDIF strips and the crossfader are on the bigger FireWire model only.
    const XmlNode big = doc.selectSingleNode("QelDeviceConfig/Device[@Name='Kavro 1814']/ChannelConfig");
    EXPECT_FALSE(big.selectSingleNode("ChannelStrip[Type='OPT_SPDIF']").isNull());
    EXPECT_FALSE(big.selectSingleNode("ChannelStrip[Type='COAX_SPDIF']").isNull());
    EXPECT_FALSE(big.selectSingleNode("CrossFader").isNull());
    EXPECT_TRUE(doc.selectSingleNode("QelDeviceConfig/Device[@Name='Kavro 610']//CrossFader").isNull());
}

// ---------------------------------------------------------------- descriptions

TEST_F(DeviceListTest, VendorAndModelSplitAtTheFirstAmpersand) {
    QEL_DEVICE_PROPERTIES r;
    r.setText(QEL_DEVICE_PROPERTIES::kVendorModelOffset, QEL_DEVICE_PROPERTIES::kVendorModelWidth, "Kavro&610 & B");
    DEVICE_PROPS d = DEVICE_PROPS::fromFireWire(r, sim::fireWireGuid(), os);
    EXPECT_EQ(d.vendorName, "Kavro");
    EXPECT_EQ(d.modelName, "610 & B");
    EXPECT_EQ(d.fullName, "Kavro&610 & B");
    r.setText(QEL_DEVICE_PROPERTIES::kVendorModelOffset, QEL_DEVICE_PROPERTIES::kVendorModelWidth, "Plain 610");
    d = DEVICE_PROPS::fromFireWire(r, sim::fireWireGuid(), os);
    EXPECT_EQ(d.vendorName, "");
    EXPECT_EQ(d.modelName, "Plain 610");
    // Texts come from the code page: 0xE9 is e-acute, 0x80 the euro sign.
    r.setText(QEL_DEVICE_PROPERTIES::kNameOffset, QEL_DEVICE_PROPERTIES::kNameWidth, "Caf\xE9 \x80");
    EXPECT_EQ(DEVICE_PROPS::fromFireWire(r, sim::fireWireGuid(), os).displayName, "Caf\xC3\xA9 \xE2\x82\xAC");

    // Through the driver: a model text with a second "&" selects its Device.
    rig->addFwDevice(fwModel(7, "Kavro", "Duo&Mono"));
    auto list = make(configWith({"Duo&amp;Mono"}, R"(<IID GUID_1394="{A098F460-2CC2-4072-A32A-36CCD74581A4}"/>)"));
    EXPECT_EQ(models(*list), (Models{"Duo&Mono"}));
}

// ---------------------------------------------------------------- FindDeviceConfig

TEST_F(DeviceListTest, FindDeviceConfigMatchesTheModelExactly) {
    XmlDocument doc;
    ASSERT_TRUE(doc.loadText(configWith({"kavro 610", "It's"})));
    RecordingBox box;
    DEVICE_PROPS p;
    p.modelName = "Kavro 610";
    p.displayName = "Studio 610";
    XmlNode node = doc.lastChild();
    EXPECT_FALSE(FindDeviceConfig(doc, p, node, &box));
    EXPECT_TRUE(node.isNull());  // a node held before is released
    ASSERT_EQ(box.entries.size(), 1u);
    EXPECT_EQ(box.entries[0].text, "XML-configuration for the device Studio 610 not found.\nPlease check XML config file");
    EXPECT_EQ(box.entries[0].caption, "Warning");
    EXPECT_EQ(box.entries[0].icon, IMixerMessageBox::Icon::Exclamation);

    p.modelName = "kavro 610";
    EXPECT_TRUE(FindDeviceConfig(doc, p, node, &box));
    EXPECT_EQ(node.selectSingleNode("@Name").text(), "kavro 610");
    // A quote in a model name neither breaks nor widens the expression.
    p.modelName = "It's";
    EXPECT_TRUE(FindDeviceConfig(doc, p, node, nullptr));
    p.modelName = "x' or '1'='1";
    EXPECT_FALSE(FindDeviceConfig(doc, p, node, nullptr));
    EXPECT_EQ(box.entries.size(), 1u);

    EXPECT_EQ(ConnectionKind("1394a"), 2);
    EXPECT_EQ(ConnectionKind("USB2"), 1);
    EXPECT_EQ(ConnectionKind("combi"), 0);
    EXPECT_EQ(ConnectionKind("usb2"), -1);
}

TEST_F(DeviceListTest, OnlyDescribedFireWireModelsButAlwaysTheFirstUsbDevice) {
    // The case of a Name matters; the USB model is not described at all.
    auto list = make(configWith({"kavro 610", "Kavro 1814"}));
    EXPECT_EQ(models(*list), (Models{"Kavro 1814", "Kavro U410"}));
    ASSERT_EQ(list->skipped().size(), 1u);
    EXPECT_EQ(list->skipped()[0].props.modelName, "Kavro 610");
    EXPECT_EQ(list->skipped()[0].reason, CDeviceList::Skipped::Reason::NoConfig);

    // At start-up the USB device then gets the warning.
    RecordingBox box;
    DEVICE_PROPS usb;
    ASSERT_TRUE(list->getDeviceProps(1, usb));
    XmlNode node;
    EXPECT_FALSE(FindDeviceConfig(list->document(), usb, node, &box));
    ASSERT_EQ(box.entries.size(), 1u);
    EXPECT_NE(box.entries[0].text.find("Desk U410"), std::string::npos);

    // Only one USB device is ever taken in.
    sim::UsbDeviceModel second;
    rig->withUsbDevice(0x10, [&](sim::UsbDeviceModel& m) { second = m; });
    second.id = 0x11;
    second.displayName = "Desk U410 B";
    rig->addUsbDevice(second);
    auto again = make(configWith({"Kavro U410"}));
    EXPECT_EQ(models(*again), (Models{"Kavro U410"}));
    ASSERT_EQ(again->skipped().size(), 3u);
    EXPECT_EQ(again->skipped()[2].reason, CDeviceList::Skipped::Reason::NotFirstUsb);
    EXPECT_EQ(again->skipped()[2].props.deviceId, 0x11u);
}

TEST_F(DeviceListTest, BadInterfaceGuidsLeaveTheirBusEmpty) {
    const std::string fwOnly = R"(<IID GUID_1394="{A098F460-2CC2-4072-A32A-36CCD74581A4}" GUID_USB="3C5A1E27-8B4D-4F19-A6E2-7D0C9B8F1A53"/>)";
    const std::vector<std::string> all{"Kavro 610", "Kavro 1814", "Kavro U410"};
    EXPECT_EQ(models(*make(configWith(all, fwOnly))), (Models{"Kavro 610", "Kavro 1814"}));
    const std::string usbOnly = R"(<IID GUID_1394="{A098F460-2CC2-4072-A32A-36CCD74581A4" GUID_USB="{3C5A1E27-8B4D-4F19-A6E2-7D0C9B8F1A53}"/>)";
    auto list = make(configWith(all, usbOnly));
    EXPECT_EQ(models(*list), (Models{"Kavro U410"}));
    EXPECT_FALSE(list->fireWireReport().guidSet);
    EXPECT_EQ(list->AddArrivedDevice(), 0u);
    EXPECT_TRUE(make(configWith(all, ""))->empty());
}

TEST_F(DeviceListTest, AnInterfaceClassUnknownToTheDriversGivesNoDevices) {
    const std::string unknown = R"(<IID GUID_1394="{00000000-0000-0000-0000-000000000001}"/>)";
    auto none = make(configWith({"Kavro 610", "Kavro 1814"}, unknown));
    EXPECT_TRUE(none->empty());
    EXPECT_TRUE(none->fireWireReport().guidSet);
    EXPECT_NE(none->fireWireReport().open, QEL_OK);
}

TEST_F(DeviceListTest, DevicesThatFailToOpenAreSkipped) {
    // The 610's own-properties answer fails: its handle cannot be told apart.
    rig->failNext(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, 1, QEL_E_FAILED);
    auto list = make(configWith({"Kavro 610", "Kavro 1814"}, R"(<IID GUID_1394="{A098F460-2CC2-4072-A32A-36CCD74581A4}"/>)"));
    EXPECT_EQ(models(*list), (Models{"Kavro 1814"}));
    ASSERT_EQ(list->skipped().size(), 1u);
    EXPECT_EQ(list->skipped()[0].reason, CDeviceList::Skipped::Reason::OpenFailed);
    EXPECT_EQ(list->skipped()[0].props.deviceId, 1u);
    EXPECT_NE(list->skipped()[0].status, QEL_OK);
    EXPECT_EQ(os.openSets, 0);
}

// ---------------------------------------------------------------- devices arriving later

TEST_F(DeviceListTest, ArrivedDevicesBehindKnownOnesAreFound) {
    rig->unplug(2);
    auto list = make(shippedConfig());
    EXPECT_EQ(models(*list), (Models{"Kavro 610", "Kavro U410"}));
    EXPECT_EQ(list->AddArrivedDevice(), 0u);

    // Plugged in behind the listed 610.
    rig->plug(2);
    EXPECT_EQ(list->AddArrivedDevice(), 2u);
    EXPECT_EQ(models(*list), (Models{"Kavro 610", "Kavro U410", "Kavro 1814"}));
    ASSERT_NE(list->findDevice(2, 1), nullptr);
    EXPECT_TRUE(list->findDevice(2, 1)->fireWire()->isOpen());
    EXPECT_EQ(list->AddArrivedDevice(), 0u);

    // An undescribed model ahead of a described one does not hide it, and a
    // second unit of a listed model is a device of its own.
    rig->addFwDevice(fwModel(5, "Other", "Unknown 1"));
    rig->addFwDevice(fwModel(6, "Kavro", "Kavro 610"));
    EXPECT_EQ(list->AddArrivedDevice(), 6u);
    EXPECT_EQ(list->size(), 4u);
    EXPECT_EQ(list->AddArrivedDevice(), 0u);

    // An unplugged device keeps its entry and is not taken in again.
    rig->unplug(1);
    rig->plug(1);
    EXPECT_EQ(list->AddArrivedDevice(), 0u);
    EXPECT_EQ(list->size(), 4u);
}

// On another port the driver gives the device a new identifier; its serial
// number says it is the listed one, and its mixer takes it back.
TEST_F(DeviceListTest, ADevicePluggedBackUnderANewIdentifierIsTheListedOne) {
    auto list = make(shippedConfig());
    ASSERT_EQ(list->size(), 3u);
    Device* d1814 = list->findDevice(2, 1);
    ASSERT_NE(d1814, nullptr);
    sim::FwDeviceModel moved;
    rig->withFwDevice(2, [&](sim::FwDeviceModel& m) { moved = m; });
    rig->unplug(2);
    moved.id = 9;
    rig->addFwDevice(moved);
    EXPECT_EQ(list->AddArrivedDevice(), 0u);
    EXPECT_EQ(list->size(), 3u);

    EXPECT_EQ(d1814->openMixerDevice(), QEL_OK);
    EXPECT_EQ(d1814->props().deviceId, 9u);
    EXPECT_EQ(list->findDevice(9, 1), d1814);
    EXPECT_EQ(list->findDevice(2, 1), nullptr);
    EXPECT_TRUE(d1814->fireWire()->isOpen());

    // Another unit of the model, with a serial of its own, is a new device.
    sim::FwDeviceModel other = moved;
    other.id = 10;
    other.serial = "K1814-009999";
    rig->addFwDevice(other);
    EXPECT_EQ(list->AddArrivedDevice(), 10u);
    EXPECT_EQ(list->size(), 4u);
}

TEST_F(DeviceListTest, UsbDeviceArrivingLaterNeedsItsModelInTheFile) {
    rig->usbRemove(0x10);
    auto list = make(configWith({"Kavro 610", "Kavro 1814"}));
    EXPECT_EQ(list->size(), 2u);
    rig->usbArrive(0x10);
    EXPECT_EQ(list->AddArrivedDevice(), 0u);  // no Device element for it

    auto described = make(configWith({"Kavro U410"}, R"(<IID GUID_USB="{3C5A1E27-8B4D-4F19-A6E2-7D0C9B8F1A53}"/>)"));
    EXPECT_EQ(models(*described), (Models{"Kavro U410"}));
    EXPECT_EQ(described->AddArrivedDevice(), 0u);  // already listed
}

TEST_F(DeviceListTest, PollingReleasesEveryEnumerationSet) {
    auto list = make(configWith({"Kavro 610", "Kavro 1814"}));
    const int handles = os.openHandles;
    EXPECT_EQ(os.openSets, 0);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(list->AddArrivedDevice(), 0u);
    EXPECT_EQ(os.openSets, 0);
    EXPECT_EQ(os.openHandles, handles);

    auto usbListed = make(shippedConfig());
    const int handles2 = os.openHandles;
    for (int i = 0; i < 200; ++i) ASSERT_EQ(usbListed->AddArrivedDevice(), 0u);
    EXPECT_EQ(os.openSets, 0);
    EXPECT_EQ(os.openHandles, handles2);
    // A USB device that cannot be opened releases its set as well.
    rig->usbRemove(0x10);
    auto gone = make(configWith({"Kavro U410"}));
    EXPECT_EQ(os.openSets, 0);
}

// ---------------------------------------------------------------- look-up by name

TEST_F(DeviceListTest, DeviceIdByLookUpName) {
    auto list = make(shippedConfig());
    EXPECT_EQ(list->deviceIdByName("K1814-001202"), std::optional<std::uint32_t>(2));
    EXPECT_EQ(list->deviceIdByName("KU410-000815"), std::optional<std::uint32_t>(0x10));
    // Display names are not look-up names.
    EXPECT_EQ(list->deviceIdByName("Stage 1814"), std::nullopt);
    EXPECT_EQ(list->deviceIdByName("k1814-001202"), std::nullopt);
    // A device that left the bus is no longer found.
    rig->unplug(2);
    EXPECT_EQ(list->deviceIdByName("K1814-001202"), std::nullopt);
}
