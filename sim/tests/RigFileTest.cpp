// Rig files: what a loaded rig answers, the compiled-in rig against the one
// built in code, errors and limits, and the timeline runner.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>

#include "device/QelContext.h"
#include "device/Requests.h"
#include "os/sim/SimOs.h"
#include "sim/Requests.h"
#include "sim/RigFile.h"
#include "os/tests/DecimalCommaLocale.h"

using namespace qel;
using namespace std::chrono_literals;

namespace {

constexpr const char* kTwoDevices = R"(
# two FireWire devices, the second off the bus
[driver]
rates 44100 48000 96000
rate 96000

[firewire 7]
rank 3
name Booth Left
serial BL-0007
vendor Kavro
model Kavro 610
extra FW 9.99
sync 4 1 internal
sync 5 2 spdif coax
sync 2 5 pc
current-sync 1
blocks 1 2
meters 4
meter 0 constant 50
meter 2 raw 0x12345678
channels in 3 Mic {n}
channel out Main Out

[firewire 9]
rank 4
name Booth Right
serial BR-0009
present no
sync 4 1 internal

[timeline]
at 1500ms plug BR-0009
at 1s knob 7 2 1 -12.5
at 2s unplug 7
)";

std::unique_ptr<sim::Rig> load(std::string_view text, sim::Timeline* timeline = nullptr) {
    std::string error;
    auto rig = sim::loadRig(text, error, timeline);
    EXPECT_NE(rig, nullptr) << error;
    return rig;
}

// The error of a text that must not load.
std::string errorOf(std::string_view text) {
    std::string error;
    const auto d = sim::parseRig(text, error);
    EXPECT_FALSE(d.has_value()) << text;
    return error;
}

// The compiled-in rig as it was built in code.
std::unique_ptr<sim::Rig> rigBuiltInCode() {
    auto rig = std::make_unique<sim::Rig>();
    sim::FwDeviceModel q610;
    q610.id = 1;
    q610.rank = 0;
    q610.deviceName = "Studio 610";
    q610.serial = "K610-000417";
    q610.vendor = "Kavro";
    q610.model = "Kavro 610";
    q610.extra = "FW 2.14 / DSP 1.3";
    q610.syncModes = {{4, 1, "internal"}, {5, 2, "spdif"}, {5, 3, "optical"}, {4, 4, "word clock"}, {2, 5, "pc"}};
    q610.firmware = std::make_shared<sim::FwFirmware>(std::vector<std::uint8_t>{1, 2, 3, 4});
    rig->addFwDevice(std::move(q610));
    sim::FwDeviceModel q1814;
    q1814.id = 2;
    q1814.rank = 1;
    q1814.deviceName = "Stage 1814";
    q1814.serial = "K1814-001202";
    q1814.vendor = "Kavro";
    q1814.model = "Kavro 1814";
    q1814.extra = "FW 2.16 / DSP 1.4";
    q1814.syncModes = {{4, 1, "Internal"}, {5, 2, "SPDIF coax"}, {5, 3, "TOS optical"}, {5, 4, "ADAT"},
                       {5, 5, "S-MUX"},    {4, 6, "WCK in"},     {3, 7, "host"}};
    auto fw1814 = std::make_shared<sim::FwFirmware>(std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8});
    fw1814->memory() = sim::FwMemory(18);
    q1814.firmware = std::move(fw1814);
    rig->addFwDevice(std::move(q1814));
    sim::installDefaultControlPanel(*rig);

    sim::UsbDeviceModel m;
    m.id = 0x10;
    m.rank = 2;
    m.word2 = 0x3C5A;
    m.word3 = 0x0410;
    m.vendor = "Kavro";
    m.model = "Kavro U410";
    m.displayName = "Desk U410";
    m.lookupName = "KU410-000815";
    m.text176 = "USB 2.0 High Speed";
    m.text432 = "FW 1.07";
    m.syncModes = {{1, sim::kUsbSyncInternal, "internal"},
                   {5, sim::kUsbSyncCoax, "spdif coax"},
                   {5, sim::kUsbSyncOptical, "optical"},
                   {4, sim::kUsbSyncWordClock, "word clock"},
                   {2, sim::kUsbSyncPc, "pc"}};
    m.deviceDescriptor = {18, 1, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0x5A, 0x3C, 0x10, 0x04, 0x07, 0x01, 1, 2, 3, 1};
    m.configDescriptor = {9, 2, 18, 0, 1, 1, 0, 0x80, 250, 9, 4, 0, 0, 0, 1, 1, 0, 0};
    m.strings = {{1, "Kavro"}, {2, "Kavro U410"}, {3, "KU410-000815"}};
    for (const std::uint8_t unit : {1, 2, 3, 4, 5}) m.units[unit] = sim::UsbFeatureUnit{};
    m.units[3].volume = {-10 * 256, -10 * 256, -10 * 256};
    m.levels = {0x40000000, 0x20000000, 0x10000000, 0x08000000, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF};
    m.inputs[1] = sim::UsbInputState{true, 4};
    m.inputs[2] = sim::UsbInputState{false, 15};
    m.mode = 1;
    rig->addUsbDevice(std::move(m));
    return rig;
}

// Everything a rig keeps, as text.
std::string dump(sim::Rig& rig) {
    std::ostringstream out;
    auto syncs = [&](const std::vector<sim::SyncModeEntry>& modes, std::size_t current) {
        for (const auto& s : modes) out << " sync " << s.mode << "/" << s.code << "/" << s.name;
        out << " current " << current << "\n";
    };
    for (const std::uint32_t id : rig.presentFwDevices()) {
        rig.withFwDevice(id, [&](sim::FwDeviceModel& m) {
            out << "fw " << m.id << " " << m.rank << " " << m.deviceName << "|" << m.serial << "|" << m.vendor << "|"
                << m.model << "|" << m.extra << "|" << m.capabilities;
            syncs(m.syncModes, m.currentSyncMode);
            sim::FwFirmware* f = sim::FwFirmware::of(m);
            ASSERT_NE(f, nullptr);
            out << " company " << f->companyId() << " mode " << int(f->deviceMode()) << " flags "
                << int(f->flag(3)) << int(f->flag(4));
            for (int b = 0; b < 256; ++b)
                for (std::uint8_t c = 0; c < sim::FwFirmware::kChannels; ++c)
                    if (const auto* ch = f->channel(static_cast<std::uint8_t>(b), c))
                        out << " b" << b << "c" << int(c) << "=" << ch->volume << "/" << ch->balance << "/" << ch->mute;
            for (int i = 1; i <= 2; ++i)
                out << " in" << i << "=" << f->digitalInput(i).present << "/" << int(f->digitalInput(i).rateCode);
            out << " hsci " << int(f->memory().version()) << " meters " << f->memory().meterCount() << " blocks";
            for (const auto& b : f->memory().blocks())
                out << " " << int(b.kind) << "/" << b.length << "/" << int(b.selector);
            out << "\n";
        });
    }
    for (const std::uint32_t id : rig.presentUsbDevices()) {
        rig.withUsbDevice(id, [&](sim::UsbDeviceModel& m) {
            out << "usb " << m.id << " " << m.rank << " " << m.word2 << " " << m.word3 << " " << m.vendor << "|"
                << m.model << "|" << m.displayName << "|" << m.lookupName << "|" << m.text176 << "|" << m.text432;
            syncs(m.syncModes, m.currentSyncMode);
            for (const auto b : m.deviceDescriptor) out << " " << int(b);
            out << " /";
            for (const auto b : m.configDescriptor) out << " " << int(b);
            for (const auto& [i, s] : m.strings) out << " s" << int(i) << "=" << s;
            for (const auto& [i, u] : m.units)
                for (int c = 0; c < 3; ++c)
                    out << " u" << int(i) << "c" << c << "=" << u.volume[c] << "/" << int(u.mute[c]) << "/" << u.balance[c];
            for (const auto l : m.levels) out << " l" << l;
            for (const auto& in : m.inputs) out << " in=" << in.locked << "/" << int(in.rateCode);
            out << " mode " << int(m.mode) << " messages " << m.messages.size() << "\n";
        });
    }
    const auto rates = rig.sampleRates();
    out << "rates " << rates.word0 << " " << rates.current;
    for (const auto r : rates.possible) out << " " << r;
    out << "\nusb rate " << rig.usbCurrentRate() << "\n";
    rig.withControlPanel([&](sim::ControlPanelState& s) {
        for (const auto& c : s.channels)
            out << "channel " << c.id << " " << c.deviceId << " " << int(c.direction) << " " << c.hardwareName << "|"
                << c.name << "\n";
        for (const auto& [key, p] : s.plugs) out << "plug " << key.first << "/" << key.second << " " << p.state << "\n";
        for (const auto& b : s.buffers)
            out << "buffer " << b.minimum << " " << b.step << " " << b.current << " " << b.maximum << " " << b.reserved << "\n";
        out << "dropouts " << s.dropouts << " asio " << s.asioNameOption << " next " << s.nextChannelId << "\n";
    });
    return out.str();
}

// The requests a device layer makes to learn the FireWire side, as traced.
std::vector<std::string> deviceLayerTrace(sim::Rig& rig) {
    os::SimOs os(rig);
    QelContext ctx(os);
    rig.takeTrace();
    EXPECT_EQ(ctx.drv().openDriver(sim::fireWireGuid()), QEL_OK);
    EXPECT_EQ(ctx.drv().refreshDeviceProperties(), QEL_OK);
    EXPECT_EQ(ctx.drv().refreshSyncModes(), QEL_OK);
    EXPECT_EQ(ctx.drv().readSampleRateInfo(), QEL_OK);
    EXPECT_EQ(ctx.drv().readSyncSettings(), QEL_OK);
    ctx.drv().closeDriver();
    return rig.takeTrace();
}

}  // namespace

// ---------------------------------------------------------------- the loaded rig

TEST(RigFile, TheDeviceLayerSeesTheDescribedDevicesRatesAndSyncModes) {
    auto rig = load(kTwoDevices);
    ASSERT_NE(rig, nullptr);
    os::SimOs os(*rig);
    QelContext ctx(os);
    CDrv& drv = ctx.drv();
    ASSERT_EQ(drv.openDriver(sim::fireWireGuid()), QEL_OK);

    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    ASSERT_EQ(drv.deviceProperties().size(), 1u);  // 9 is off the bus
    const auto& p = drv.deviceProperties()[0];
    EXPECT_EQ(p.deviceId(), 7u);
    EXPECT_EQ(p.rank(), 3u);
    EXPECT_EQ(p.deviceName(), "Booth Left");
    EXPECT_EQ(p.serial(), "BL-0007");
    EXPECT_EQ(p.vendor(), "Kavro");
    EXPECT_EQ(p.model(), "Kavro 610");
    EXPECT_EQ(p.extra(), "FW 9.99");

    const QEL_DEVICE_SYNCH_MODE_INFO* s = drv.findSyncMode(7);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->count(), 3u);
    EXPECT_EQ(s->entry(1).name, "spdif coax");
    EXPECT_EQ(s->entry(2).mode, 2u);
    EXPECT_EQ(s->entry(2).code, 5u);
    EXPECT_EQ(s->current().name, "spdif coax");

    ASSERT_EQ(drv.readSampleRateInfo(), QEL_OK);
    EXPECT_EQ(drv.sampleRateInfo().currentRate(), 96000u);
    EXPECT_EQ(drv.sampleRateInfo().rates(), (std::vector<std::uint32_t>{44100, 48000, 96000}));

    // The absent device comes with a plug, under the id the file gave it.
    EXPECT_TRUE(rig->plug(9));
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    ASSERT_EQ(drv.deviceProperties().size(), 2u);
    EXPECT_EQ(drv.deviceProperties()[1].deviceName(), "Booth Right");
    EXPECT_EQ(drv.deviceProperties()[1].rank(), 4u);
}

TEST(RigFile, FirmwareMetersAndChannelsFollowTheFile) {
    auto rig = load(kTwoDevices);
    ASSERT_NE(rig, nullptr);
    rig->withFwDevice(7, [](sim::FwDeviceModel& m) {
        sim::FwFirmware* f = sim::FwFirmware::of(m);
        ASSERT_NE(f, nullptr);
        EXPECT_NE(f->channel(2, 0), nullptr);
        EXPECT_EQ(f->channel(3, 0), nullptr);  // only blocks 1 and 2
        EXPECT_EQ(f->memory().meterCount(), 4u);
        // Meter words as a block read renders them: 50 % constant, raw, silence.
        std::uint8_t in[16] = {};
        const std::uint64_t address = sim::FwMemory::kDataBase + 16;  // past the configuration block
        os::putLe32(in, 0, static_cast<std::uint32_t>(address));
        os::putLe32(in, 4, static_cast<std::uint32_t>(address >> 32));
        std::vector<std::uint8_t> out(16);
        const auto r = f->request(sim::req::kAsyncReadBlock, in, out);
        ASSERT_TRUE(r.has_value());
        ASSERT_EQ(r->status, 0u);
        EXPECT_EQ(os::getBe32(out, 0), 1073741824u);  // round(0.5 * 0x7FFFFFFF)
        EXPECT_EQ(os::getBe32(out, 4), 0u);
        EXPECT_EQ(os::getBe32(out, 8), 0x12345678u);
        EXPECT_EQ(os::getBe32(out, 12), 0u);
    });
    rig->withControlPanel([](sim::ControlPanelState& s) {
        ASSERT_EQ(s.channels.size(), 4u);
        EXPECT_EQ(s.channels[0].hardwareName, "Mic 1");
        EXPECT_EQ(s.channels[2].name, "Mic 3");
        EXPECT_EQ(s.channels[3].hardwareName, "Main Out");
        EXPECT_EQ(s.channels[3].direction, sim::ChannelDirection::Out);
        EXPECT_EQ(s.channels[3].deviceId, 7u);
    });
}

TEST(RigFile, TheCompiledInRigIsTheRigBuiltInCode) {
    auto fromFile = sim::Rig::makeDefault();
    auto inCode = rigBuiltInCode();
    EXPECT_EQ(dump(*fromFile), dump(*inCode));
    EXPECT_EQ(deviceLayerTrace(*fromFile), deviceLayerTrace(*inCode));
    EXPECT_GT(deviceLayerTrace(*fromFile).size(), 5u);

    // The USB devices alone, for rigs that add them to their own.
    sim::Rig usbOnly;
    sim::installDefaultUsbDevice(usbOnly);
    EXPECT_EQ(usbOnly.presentUsbDevices(), fromFile->presentUsbDevices());
    EXPECT_TRUE(usbOnly.presentFwDevices().empty());
}

TEST(RigFile, ShippedRigsLoadAndTheDefaultOneIsTheCompiledInText) {
    for (const char* name : {"default.rig", "one-device.rig", "demo.rig"}) {
        std::string error;
        sim::Timeline timeline;
        const auto rig = sim::loadRigFile(std::string(QEL_RIGS_DIR) + "/" + name, error, &timeline);
        EXPECT_NE(rig, nullptr) << error;
        if (rig) {
            EXPECT_FALSE(rig->presentFwDevices().empty() && rig->presentUsbDevices().empty()) << name;
        }
        if (std::string(name) == "demo.rig") {
            EXPECT_GE(timeline.size(), 3u);
        }
    }
    std::ifstream in(std::string(QEL_RIGS_DIR) + "/default.rig", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, sim::defaultRigText());

    std::string error;
    EXPECT_EQ(sim::loadRigFile(std::string(QEL_RIGS_DIR) + "/no-such.rig", error), nullptr);
    EXPECT_NE(error.find("no-such.rig"), std::string::npos);
}

TEST(RigFile, TextKeepsInnerBlanksAndWindowsLineEnds) {
    auto rig = load("[firewire 3]\r\nname   Two  Spaces  \r\nserial #1\r\n  # indented comment\r\n");
    ASSERT_NE(rig, nullptr);
    rig->withFwDevice(3, [](sim::FwDeviceModel& m) {
        EXPECT_EQ(m.deviceName, "Two  Spaces");
        EXPECT_EQ(m.serial, "#1");
        EXPECT_EQ(m.capabilities, 8u);
    });
}

// Every byte but 0 reaches the name; the driver's record holds 39 of them.
TEST(RigFile, NameBytesTakeWhatALineOfTextCannot) {
    auto rig = load("[firewire 3]\nname-bytes 01 0a 0D 1f 7f 80 81 ff\n");
    ASSERT_NE(rig, nullptr);
    rig->withFwDevice(3, [](sim::FwDeviceModel& m) { EXPECT_EQ(m.deviceName, "\x01\x0a\x0d\x1f\x7f\x80\x81\xff"); });
    std::string many = "[firewire 3]\nname-bytes";
    for (int i = 0; i < 256; ++i) many += " 41";
    EXPECT_EQ(errorOf(many + "\n").rfind("line 2: expected: name-bytes HEX... (at most 255 bytes)", 0), 0u);
}

// ---------------------------------------------------------------- errors and limits

TEST(RigFile, ErrorsNameTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"name x\n", "line 1: 'name' outside a section"},
        {"\n\n[firewire 1]\nfoo 1\n", "line 4: unknown key 'foo'"},
        {"[firewire 1]\n[firewire 1]\n", "line 2: device 1 is described twice"},
        {"[firewire 1]\n[usb 1]\n", "line 2: device 1 is described twice"},
        {"[firewire 0]\n", "line 1: the device id must not be 0"},
        {"[firewire x]\n", "line 1: the device id must be a number"},
        {"[firewire 1\n", "line 1: a section header ends with ']'"},
        {"[mixer]\n", "line 1: unknown section 'mixer'"},
        {"[firewire 1]\nrank 4294967296\n", "line 2: the rank must be a number"},
        {"[firewire 1]\nrank -1\n", "line 2: the rank must be a number"},
        {"[firewire 1]\nsync 4 1\n", "line 2: expected: sync MODE CODE NAME"},
        {"[firewire 1]\nsync 4 1 a\ncurrent-sync 1\n[driver]\n", "line 3: current-sync 1 but 1 sync modes"},
        {"[firewire 1]\nmeters 2\nmeter 2 sine\n", "line 3: meter 2 of 2"},
        {"[firewire 1]\nmeter 0 sine 201\n", "line 2: the level"},
        {"[firewire 1]\nmeter 0 hum\n", "line 2: the signal is"},
        {"[firewire 1]\nblocks 1\nvolume 2 0 -3\n", "line 3: block 2 is not in the blocks line"},
        {"[firewire 1]\nvolume 1 3 0\n", "line 2: the channel must be"},
        {"[firewire 1]\nblocks 1 1\n", "line 2: block 1 twice"},
        {"[firewire 1]\ninput 3 locked 4\n", "line 2: the input must be"},
        {"[firewire 1]\ninput 1 maybe 4\n", "line 2: expected yes or no"},
        {"[firewire 1]\nchannels sideways 2 A\n", "line 2: the direction is in or out"},
        {"[firewire 1]\nplug-state audio 3\n", "line 2: the plug is"},
        {"[usb 2]\nunit 1 gain 0 0 0\n", "line 2: a unit sets volume"},
        {"[usb 2]\ndevice-descriptor 12 zz\n", "line 2: device-descriptor: 'zz' is not a hex byte"},
        {"[usb 2]\ndevice-descriptor 123\n", "line 2: device-descriptor: '123' is not a hex byte"},
        {"[firewire 1]\nname-bytes\n", "line 2: expected: name-bytes HEX..."},
        {"[firewire 1]\nname-bytes 41 00 42\n", "line 2: the name: byte 2 is 00, which would end it"},
        {"[firewire 1]\nname-bytes 41 g1\n", "line 2: the name: 'g1' is not a hex byte"},
        {"[driver]\nbuffer huge 1 2 3 4\n", "line 2: buffer kind"},
        {"[driver]\nversion 1 2 3 4 5 6 7 8 9 10 11 12 13\n", "line 2: expected: version"},
        {"[timeline]\nplug 1\n", "line 2: expected: at TIME EVENT"},
        {"[timeline]\nat 2 plug 1\n", "line 2: time must be like"},
        {"[timeline]\nat -1s bus-reset\n", "line 2: time must be like"},
        {"[timeline]\nat 25h bus-reset\n", "line 2: time must be like"},
        {"[timeline]\nat 90000s bus-reset\n", "line 2: time must be like"},
        {"[timeline]\nat 1s dance\n", "line 2: unknown event 'dance'"},
        {"[timeline]\nat 1s plug 5\n", "line 2: unknown device: 5"},
        {"[usb 2]\n[timeline]\nat 1s knob 2 1 0 -3\n", "line 3: not a FireWire device: 2"},
        {"[timeline]\nat 1s fail NO_SUCH 1 2\n", "line 2: unknown request: NO_SUCH"},
        {"[timeline]\nat 1s knob 1 1 0 nan\n", "line 2: expected: at TIME knob DEV BLOCK CH DB"},
        {"[firewire 1]\n[timeline]\nat 1s knob 1 1 0 1e999\n", "line 3: expected: at TIME knob"},
        {"[firewire 1]\n[timeline]\nat 1s knob 1 1 3 0\n", "line 3: expected: at TIME knob"},
        {"[firewire 1]\n[timeline]\nat 1s knob 1 1 0 -200.5\n", "line 3: expected: at TIME knob"},
        {"[firewire 1]\nname a\x01z\n", "line 2: control character"},
        {"[firewire 1]\n[timeline]\nat 1s hsci 1 sideways\n", "line 3: expected: at TIME hsci DEV"},
        {"[firewire 1]\n[timeline]\nat 1s hsci 1 ok 3\n", "line 3: expected: at TIME hsci DEV"},
        {"[firewire 1]\n[timeline]\nat 1s hsci 1 short 1033\n", "line 3: expected: at TIME hsci DEV"},
        {"[firewire 1]\n[timeline]\nat 1s usb-descriptor 1 9\n", "line 3: not a USB device: 1"},
        {"[firewire 1]\n[timeline]\nat 1s notify-response 1\n", "line 3: expected: at TIME notify-response"},
        {"[firewire 1]\n[timeline]\nat 1s notify-response 1 0d0\n", "line 3: expected: at TIME notify-response"},
        {"[firewire 1]\n[timeline]\nat 1s signal 1 all sine 201\n", "line 3: expected: at TIME signal"},
        {"[firewire 1]\n[timeline]\nat 1s input 1 3 locked 4\n", "line 3: expected: at TIME input"},
        {"[firewire 1]\n[timeline]\nat 1s input 1 1 maybe 4\n", "line 3: expected: at TIME input"},
        {"[timeline]\nat 1s delay all 60001\n", "line 2: expected: at TIME delay"},
        {"[timeline]\nat 1s answer QEL_REQ_GET_SYNC_PARAMETER 0x07\n", "line 2: expected: at TIME answer"},
        {"[timeline]\nat 1s bus-reset now\n", "line 2: expected: at TIME bus-reset"},
        {"[timeline]\nat 1s wdm-in-use maybe\n", "line 2: expected: at TIME wdm-in-use"},
        {"[firewire 1]\n[timeline]\nat 1s reenumerate 1 60001\n", "line 3: the time away (ms) must be"},
        {"[timeline]\nat 1s reenumerate 9 500\n", "line 2: unknown device: 9"},
        {"[timeline]\nat 1s version 1 2 3 4 5 6 7 8 9 10 11 12 13\n", "line 2: expected: at TIME version"},
        // Commands are checked as they would fire, on the rig the file describes.
        {"[usb 16]\n[timeline]\nat 0s add-model usb 16 U2\n", "line 3: device exists: 16"},
        {"[firewire 1]\n[timeline]\nat 1s usb-input 1 1 1 3\n", "line 3: not a USB device: 1"},
        {"[usb 16]\n[timeline]\nat 2s usb-input 16 3 1 3\n", "line 3: expected: at TIME usb-input DEV 1|2 LOCKED RATECODE"},
        {"[firewire 1]\n[timeline]\nat 1s plug-state 1 audio-in 1\nat 1s device-message 1 256\n", "line 4: expected: at TIME device-message"},
    };
    for (const auto& [text, expected] : cases) {
        const std::string error = errorOf(text);
        EXPECT_EQ(error.rfind(expected, 0), 0u) << "text: " << text << "\nerror: " << error;
    }
}

TEST(RigFile, SizesAndCountsAreBounded) {
    using L = sim::RigFileLimits;
    EXPECT_EQ(errorOf(std::string(L::kMaxText + 1, '#')), "the text is longer than 1048576 bytes");
    EXPECT_EQ(errorOf("[firewire 1]\nname " + std::string(L::kMaxLine, 'x') + "\n").rfind("line 2: line longer", 0), 0u);
    EXPECT_EQ(errorOf("[firewire 1]\nname " + std::string(L::kMaxName + 1, 'x') + "\n").rfind("line 2: the name is longer", 0), 0u);
    std::string error;
    EXPECT_NE(sim::parseRig("[firewire 1]\nname " + std::string(L::kMaxName, 'x') + "\n", error), std::nullopt);

    std::string devices;
    for (std::size_t i = 1; i <= L::kMaxDevices + 1; ++i) devices += "[firewire " + std::to_string(i) + "]\n";
    EXPECT_EQ(errorOf(devices).rfind("line 65: more than 64 devices", 0), 0u);

    std::string syncs = "[firewire 1]\n";
    for (std::size_t i = 0; i <= L::kMaxSyncModes; ++i) syncs += "sync 4 1 m\n";
    EXPECT_EQ(errorOf(syncs).rfind("line 18: more than 16 sync modes", 0), 0u);

    EXPECT_EQ(errorOf("[driver]\nrates 1 2 3 4 5 6 7 8 9\n").rfind("line 2: expected: rates", 0), 0u);
    EXPECT_EQ(errorOf("[firewire 1]\nmeters 1025\n").rfind("line 2: the meter count", 0), 0u);
    EXPECT_EQ(errorOf("[firewire 1]\nchannels in 1000 A\nchannels out 25 B\n").rfind("line 3: more than 1024 channels", 0), 0u);

    std::string events = "[timeline]\n";
    for (std::size_t i = 0; i < L::kMaxEvents; ++i) events += "at 1s bus-reset\n";
    const auto full = sim::parseRig(events, error);
    ASSERT_TRUE(full.has_value()) << error;
    EXPECT_EQ(full->timeline.size(), L::kMaxEvents);
    EXPECT_EQ(errorOf(events + "at 1s bus-reset\n").rfind("line 10002: more than 10000 events", 0), 0u);

    // A file is read no further than the limit.
    const std::string path = ::testing::TempDir() + "RigFileTest_oversized.rig";
    {
        std::ofstream out(path, std::ios::binary);
        out << "[firewire 1]\n" << std::string(L::kMaxText, '#');
    }
    EXPECT_EQ(sim::loadRigFile(path, error), nullptr);
    EXPECT_EQ(error, path + ": the text is longer than 1048576 bytes");
    std::remove(path.c_str());
}

// ---------------------------------------------------------------- events and the timeline

TEST(RigFile, TimelineIsOrderedByTimeThenByLine) {
    sim::Timeline timeline;
    auto rig = load("[firewire 1]\nblocks 1\n[usb 2]\n[timeline]\n"
                    "at 3s bus-reset\n"
                    "at 1s reenumerate 2 500\n"
                    "at 1s streaming-restarted\n"
                    "at 1.5s configuration-changed\n",
                    &timeline);
    ASSERT_NE(rig, nullptr);
    ASSERT_EQ(timeline.size(), 5u);
    using W = std::vector<std::string>;
    EXPECT_EQ(timeline[0].words, (W{"unplug", "2"}));
    EXPECT_EQ(timeline[1].words, W{"streaming-restarted"});
    EXPECT_EQ(timeline[2].words, (W{"plug", "2"}));  // back after 500 ms, same line as the removal
    EXPECT_EQ(timeline[2].line, 6u);
    EXPECT_EQ(timeline[2].at, 1500ms);
    EXPECT_EQ(timeline[3].words, W{"configuration-changed"});
    EXPECT_EQ(timeline[4].words, W{"bus-reset"});
    EXPECT_EQ(timeline[4].at, 3s);

    // The USB device leaves and comes back; the driver events are queued in order.
    for (const auto& e : timeline) EXPECT_TRUE(sim::applyRigEvent(*rig, e)) << e.line;
    EXPECT_EQ(rig->presentUsbDevices(), std::vector<std::uint32_t>{2});
}

// Storms and floods: one line, many events.
TEST(RigFile, RepeatFiresAnEventNTimesAPeriodApart) {
    sim::Timeline timeline;
    auto rig = load("[firewire 1]\nblocks 1\n[usb 2]\n[timeline]\n"
                    "at 1s repeat 3 every 250ms bus-reset\n"
                    "at 1.1s repeat 2 every 1s reenumerate 2 100\n"
                    "at 2s repeat 1 every 0ms knob 1 1 0 -3\n",
                    &timeline);
    ASSERT_NE(rig, nullptr);
    using W = std::vector<std::string>;
    std::vector<std::pair<std::chrono::milliseconds, W>> got;
    for (const auto& e : timeline) got.emplace_back(e.at, e.words);
    const std::vector<std::pair<std::chrono::milliseconds, W>> want = {
        {1000ms, W{"bus-reset"}}, {1100ms, W{"unplug", "2"}},  {1200ms, W{"plug", "2"}},
        {1250ms, W{"bus-reset"}}, {1500ms, W{"bus-reset"}},    {2000ms, W{"knob", "1", "1", "0", "-3"}},
        {2100ms, W{"unplug", "2"}}, {2200ms, W{"plug", "2"}},
    };
    EXPECT_EQ(got, want);
    for (const auto& e : timeline) EXPECT_EQ(e.line, e.words[0] == "bus-reset" ? 5u : e.words[0] == "knob" ? 7u : 6u);

    for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
             {"[timeline]\nat 1s repeat 0 every 1s bus-reset\n", "line 2: the repeat count must be 1 or more"},
             {"[timeline]\nat 1s repeat 3 each 1s bus-reset\n", "line 2: expected: at TIME repeat N every PERIOD EVENT"},
             {"[timeline]\nat 1s repeat 3 every 1s\n", "line 2: expected: at TIME repeat N every PERIOD EVENT"},
             {"[timeline]\nat 1s repeat x every 1s bus-reset\n", "line 2: the repeat count must be a number"},
             {"[timeline]\nat 1s repeat 3 every soon bus-reset\n", "line 2: time must be like"},
             {"[timeline]\nat 1s repeat 3 every 1s bus-rest\n", "line 2: unknown event 'bus-rest'"},
             {"[timeline]\nat 1s repeat 3 every 1s knob 1 1 0 -3\n", "line 2: unknown device: 1"},
             {"[timeline]\nat 1s repeat 10001 every 1ms bus-reset\n", "line 2: the repeat count must be a number from 0 to 10000"},
             {"[timeline]\nat 1s repeat 6000 every 1ms bus-reset\nat 2s repeat 5000 every 1ms bus-reset\n",
              "line 3: more than 10000 events"},
             {"[timeline]\nat 23h repeat 3 every 1h bus-reset\n", "line 2: time must be like"},
             {"[timeline]\nat 86399s repeat 3 every 1s bus-reset\n", "line 2: the event fires after 24 h"},
         }) {
        const std::string error = errorOf(text);
        EXPECT_EQ(error.rfind(expected, 0), 0u) << "text: " << text << "\nerror: " << error;
    }
}

// A scenario file names only what it adds to the compiled-in rig.
TEST(RigFile, BaseDefaultStartsFromTheCompiledInRig) {
    sim::Timeline timeline;
    auto rig = load("# a comment first\nbase default\n\n[driver]\nrate 96000\ndropouts 7\n"
                    "[firewire 5]\nname Extra\nmodel Kavro 1814\nblocks 1\npresent no\n"
                    "[timeline]\nat 1s plug 5\nat 1s knob 2 8 0 -6\n",
                    &timeline);
    ASSERT_NE(rig, nullptr);
    EXPECT_EQ(rig->presentFwDevices(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(rig->presentUsbDevices(), std::vector<std::uint32_t>{16});
    EXPECT_EQ(rig->sampleRates().current, 96000u);
    EXPECT_EQ(rig->sampleRates().possible.size(), 6u);  // kept from the base
    std::uint32_t dropouts = 0;
    rig->withControlPanel([&](sim::ControlPanelState& s) { dropouts = s.dropouts; });
    EXPECT_EQ(dropouts, 7u);
    ASSERT_EQ(timeline.size(), 2u);
    for (const auto& e : timeline) EXPECT_TRUE(sim::applyRigEvent(*rig, e)) << e.line;
    EXPECT_EQ(rig->presentFwDevices(), (std::vector<std::uint32_t>{1, 2, 5}));

    // Errors keep the file's own line numbers.
    EXPECT_EQ(errorOf("base default\n[firewire 2]\n"), "line 2: device 2 is described twice");
    EXPECT_EQ(errorOf("base default\n[timeline]\nat 1s knob 9 1 0 0\n"), "line 3: unknown device: 9");
    EXPECT_EQ(errorOf("[driver]\nrate 48000\nbase default\n"), "line 3: 'base' comes before every section");
    EXPECT_EQ(errorOf("[driver]\n\n[timeline]\n\nbase default\n"), "line 5: 'base' comes before every section");
    EXPECT_EQ(errorOf("[firewire 3]\nbase default\n"), "line 2: 'base' comes before every section");
    EXPECT_EQ(errorOf("base other\n"), "line 1: the only base is 'default', not 'other'");
    EXPECT_EQ(errorOf("base\n"), "line 1: expected: base default");
    EXPECT_EQ(errorOf("base default\nbase default\n"), "line 2: 'base' comes before every section");
}

TEST(RigFile, EventsChangeTheRigTheyName) {
    sim::Timeline timeline;
    auto rig = load("[firewire 1]\nname Desk\nblocks 1 2\nmeters 2\n[usb 0x10]\nname Box\n[timeline]\n"
                    "at 0s knob Desk 2 1 -12\n"
                    "at 0s input 1 2 locked 3\n"
                    "at 0s message 1 0x41\n"
                    "at 0s signal 1 all constant 25\n"
                    "at 0s avc-reply 1 0x0A\n"
                    "at 0s input Box 1 unlocked 15\n"
                    "at 0s message Box 7\n"
                    "at 0s dropouts 12\n"
                    "at 0s wdm-in-use yes\n"
                    "at 0s fail QEL_REQ_GET_DEVICE_LIST 1 31\n"
                    "at 0s unplug Box\n"
                    "at 0s unplug Box\n"
                    "at 0s knob 1 9 0 0\n",
                    &timeline);
    ASSERT_NE(rig, nullptr);
    std::vector<bool> applied;
    for (const auto& e : timeline) applied.push_back(sim::applyRigEvent(*rig, e));
    // A second removal and a knob on a block the device lacks are refused.
    EXPECT_EQ(applied, (std::vector<bool>{true, true, true, true, true, true, true, true, true, true, true, false, false}));

    rig->withFwDevice(1, [](sim::FwDeviceModel& m) {
        const sim::FwFirmware* f = sim::FwFirmware::of(m);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->channel(2, 1)->volume, -12 * 256);
        EXPECT_TRUE(f->digitalInput(2).present);
        EXPECT_EQ(f->digitalInput(2).rateCode, 3);
    });
    rig->withUsbDevice(0x10, [](sim::UsbDeviceModel& m) {
        EXPECT_FALSE(m.inputs[1].locked);
        ASSERT_EQ(m.messages.size(), 1u);
        EXPECT_EQ(m.messages.front(), 7);
    });
    EXPECT_TRUE(rig->presentUsbDevices().empty());
    rig->withControlPanel([](sim::ControlPanelState& s) { EXPECT_EQ(s.dropouts, 12u); });

    // The failure and the WDM flag reach the driver's answers.
    os::SimOs os(*rig);
    QelContext ctx(os);
    ASSERT_EQ(ctx.drv().openDriver(sim::fireWireGuid()), QEL_OK);
    EXPECT_EQ(ctx.drv().refreshDeviceProperties(), 31u);
    EXPECT_EQ(ctx.drv().setSampleRate(44100), QEL_E_WDM_DEVICE_IN_USE);
}

TEST(RigFile, ATimelineRunsEveryRigCommandAScriptCan) {
    sim::Timeline timeline;
    auto rig = load("[firewire 1]\nblocks 1 2\n[usb 16]\n[timeline]\n"
                    "at 1s add-model fw 7 K610 Spare\n"
                    "at 1s device-message 1 0x41\n"
                    "at 1s usb-input 16 2 1 5\n"
                    "at 1s usb-message 16 9\n"
                    "at 1s plug-state Spare synch-in 2 4\n",
                    &timeline);
    ASSERT_NE(rig, nullptr);
    ASSERT_EQ(timeline.size(), 5u);
    EXPECT_FALSE(rig->findDevice("Spare"));  // loading only checks them
    for (const auto& e : timeline) EXPECT_TRUE(sim::applyRigEvent(*rig, e)) << e.line;
    EXPECT_EQ(rig->findDevice("Spare"), 7u);
    rig->withUsbDevice(16, [](sim::UsbDeviceModel& m) {
        EXPECT_TRUE(m.inputs[2].locked);
        EXPECT_EQ(m.inputs[2].rateCode, 5);
        ASSERT_EQ(m.messages.size(), 1u);
        EXPECT_EQ(m.messages.front(), 9);
    });
    // Fired twice, the model is there already.
    EXPECT_FALSE(sim::applyRigEvent(*rig, timeline.front()));
}

TEST(RigFile, FaultEventsReachTheDriverAndTheFirmware) {
    sim::Timeline timeline;
    auto rig = load("[firewire 1]\nmeters 2\n[usb 5]\ndevice-descriptor 12 01 00 02\n[timeline]\n"
                    "at 0s hsci 1 broken 0\n"
                    "at 0s version 02 0f\n"
                    "at 0s answer QEL_REQ_GET_SYNC_PARAMETER 07 00\n"
                    "at 0s usb-descriptor 5 9\n"
                    "at 0s notify-response 1 0d ff 00\n"
                    "at 1s hsci 1 version 1\n"
                    "at 2s hsci 1 ok\n",
                    &timeline);
    ASSERT_NE(rig, nullptr);
    ASSERT_EQ(timeline.size(), 7u);
    std::vector<bool> applied;
    for (std::size_t i = 0; i < 5; ++i) applied.push_back(sim::applyRigEvent(*rig, timeline[i]));
    // Nobody waits for notify responses yet: that one reaches no handle.
    EXPECT_EQ(applied, (std::vector<bool>{true, true, true, true, false}));

    auto readHeader = [&](sim::FwFirmware& f) {
        std::uint8_t in[16] = {};
        os::putLe32(in, 0, static_cast<std::uint32_t>(sim::FwMemory::kHeaderBase));
        os::putLe32(in, 4, static_cast<std::uint32_t>(sim::FwMemory::kHeaderBase >> 32));
        std::vector<std::uint8_t> out(16);
        const auto r = f.request(sim::req::kAsyncReadBlock, in, out);
        return std::make_pair(r ? r->status : 0xFFFFFFFFu, out[7]);
    };
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { EXPECT_NE(readHeader(*sim::FwFirmware::of(m)).first, 0u); });
    EXPECT_TRUE(sim::applyRigEvent(*rig, timeline[5]));
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { EXPECT_NE(readHeader(*sim::FwFirmware::of(m)).first, 0u); });
    EXPECT_TRUE(sim::applyRigEvent(*rig, timeline[6]));
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) {
        EXPECT_EQ(readHeader(*sim::FwFirmware::of(m)), std::make_pair(0u, std::uint8_t{2}));
    });
    rig->withUsbDevice(5, [](sim::UsbDeviceModel& m) {
        ASSERT_TRUE(m.nextDescriptor.has_value());
        EXPECT_EQ(*m.nextDescriptor, (std::vector<std::uint8_t>{0x12, 1, 0, 2, 0, 0, 0, 0, 0}));
    });

    os::SimOs os(*rig);
    QelContext ctx(os);
    rig->takeTrace();
    ASSERT_EQ(ctx.drv().openDriver(sim::fireWireGuid()), QEL_OK);
    EXPECT_EQ(ctx.drv().version().minor(), 0x0F);
    // The short answer is refused by the device layer, once; the next read is the driver's own.
    EXPECT_NE(ctx.drv().readSyncParameter(), QEL_OK);
    EXPECT_EQ(ctx.drv().readSyncParameter(), QEL_OK);
    EXPECT_EQ(ctx.drv().syncParameter(), rig->syncParameter());
}

TEST(RigFile, RunnerFiresEventsInOrderAsTheClockReachesThem) {
    sim::Timeline timeline;
    auto rig = load(kTwoDevices, &timeline);
    ASSERT_NE(rig, nullptr);
    auto clock = std::make_shared<sim::ManualTimelineClock>();
    sim::TimelineRunner runner(*rig, timeline, clock);
    std::vector<std::pair<std::size_t, bool>> seen;  // line, applied
    runner.setObserver([&](const sim::RigEvent& e, bool applied) { seen.emplace_back(e.line, applied); });
    runner.start();

    clock->waitForSleeper();
    EXPECT_EQ(runner.fired(), 0u);
    clock->advanceTo(1200ms);  // the knob (line 34)
    clock->waitForSleeper();
    EXPECT_EQ(runner.fired(), 1u);
    rig->withFwDevice(7, [](sim::FwDeviceModel& m) { EXPECT_EQ(sim::FwFirmware::of(m)->channel(2, 1)->volume, -3200); });
    EXPECT_EQ(rig->presentFwDevices(), std::vector<std::uint32_t>{7});

    clock->advanceTo(1500ms);  // plug 9 (line 33)
    clock->waitForSleeper();
    EXPECT_EQ(runner.fired(), 2u);
    EXPECT_EQ(rig->presentFwDevices(), (std::vector<std::uint32_t>{7, 9}));

    clock->advanceTo(10s);  // unplug 7 (line 35), the last
    runner.wait();
    EXPECT_EQ(runner.fired(), 3u);
    EXPECT_EQ(rig->presentFwDevices(), std::vector<std::uint32_t>{9});
    EXPECT_EQ(seen, (std::vector<std::pair<std::size_t, bool>>{{34, true}, {33, true}, {35, true}}));
}

TEST(RigFile, StopEndsAWaitingRunnerAndTheRestDoNotFire) {
    sim::Timeline timeline;
    auto rig = load("[firewire 1]\n[timeline]\nat 0s unplug 1\nat 72000s plug 1\n", &timeline);
    ASSERT_NE(rig, nullptr);
    {
        // The steady clock: the second event is hours away.
        sim::TimelineRunner runner(*rig, timeline);
        std::promise<void> first;
        runner.setObserver([&](const sim::RigEvent& e, bool) {
            if (e.line == 3) first.set_value();
        });
        runner.start();
        first.get_future().wait();
        runner.stop();
        EXPECT_EQ(runner.fired(), 1u);
    }
    EXPECT_TRUE(rig->presentFwDevices().empty());

    // A stop before the thread first sleeps is not lost either.
    auto clock = std::make_shared<sim::ManualTimelineClock>();
    sim::TimelineRunner early(*rig, timeline, clock);
    clock->interrupt();
    early.start();
    early.stop();
    EXPECT_LE(early.fired(), 1u);
    sim::TimelineRunner destroyed(*rig, timeline, std::make_shared<sim::ManualTimelineClock>());
    destroyed.start();  // the destructor stops it
}

TEST(RigFile, NumbersWithAPointLoadUnderADecimalCommaLocale) {
    const os::test::DecimalCommaLocale german;
    if (!german.active()) GTEST_SKIP() << german.kMissing;
    sim::Timeline timeline;
    std::string error;
    auto rig = sim::loadRig("[firewire 1]\nname A\nserial A-1\nblocks 1\n[timeline]\nat 1.5s knob 1 1 0 -12.5\n", error, &timeline);
    ASSERT_NE(rig, nullptr) << error;
    ASSERT_EQ(timeline.size(), 1u);
    EXPECT_EQ(timeline.front().at, std::chrono::milliseconds(1500));
    ASSERT_TRUE(sim::applyRigEvent(*rig, timeline.front()));
    rig->withFwDevice(1, [](sim::FwDeviceModel& m) { EXPECT_EQ(sim::FwFirmware::of(m)->channel(1, 0)->volume, -12.5 * 256); });
}
