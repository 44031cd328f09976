#include "device/Device.h"

#include "device/DriverRefresh.h"

#include <algorithm>
#include <cctype>

namespace qel {

namespace {
std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
bool isWordClock(const std::string& lowerName) {
    return contains(lowerName, "wclock") || contains(lowerName, "wck") || contains(lowerName, "word");
}
}  // namespace

Device::Device(QelContext& context, DEVICE_PROPS props, std::unique_ptr<CQelDevice> fw)
    : context_(context), props_(std::move(props)), fw_(std::move(fw)) {}

Device::Device(QelContext& context, DEVICE_PROPS props, std::unique_ptr<CQelUsbDevice> usb)
    : context_(context), props_(std::move(props)), usb_(std::move(usb)) {}

Device::~Device() = default;

// ---------------------------------------------------------------- mixer

Status Device::openMixerDevice() {
    if (usb_) return openUsb();
    if (!fw_) return QEL_E_FAILED;
    CDrv& drv = context_.drv();
    // The identifier of the first driver device whose serial-number text is
    // the look-up name. The look-up's open of the control handle is given
    // back once the device holds its own.
    Status opened = QEL_OK;
    openAndRefresh(drv, props_.interfaceGuid, &opened);
    struct LookUpOpen {
        CDrv& drv;
        bool held;
        ~LookUpOpen() {
            if (held) drv.closeDriver();
        }
    } lookUp{drv, opened == QEL_OK};
    std::uint32_t id = 0;
    bool found = false;
    for (const auto& p : drv.deviceProperties())
        if (context_.platform().codePageToUtf8(p.serial()) == props_.lookupName) {
            id = p.deviceId();
            found = true;
            break;
        }
    if (!found) return QEL_E_FAILED;
    // A handle left from before the device went away cannot be used again.
    if (fw_->isOpen()) fw_->closeDevice();
    // The identifier found, not "any": with two interfaces, the first present
    // one need not be this device.
    const Status status = fw_->openDevice(props_.interfaceGuid, id);
    if (status != QEL_OK) return status;
    props_.deviceId = id;  // plugged back on another port: a new identifier
    fw_->initHsci();
    ReadSyncSource();
    return status;
}

Status Device::setChannelBalance(std::uint8_t channel, std::uint8_t block, double value) {
    if (usb_) return usb_->setBalance(-value, block, channel);
    if (!fw_) return QEL_E_FAILED;
    return fw_->setBalance(block, channel, -value);
}

Status Device::setPan(double value, std::uint8_t block) {
    if (usb_) return setPanUsb(value, block);
    if (!fw_) return QEL_E_FAILED;
    // The device applies the pan itself.
    return fw_->setBalance(block, 0, value);
}

Status Device::setVolume(std::uint8_t block, std::int32_t db) {
    if (usb_) return usb_->setVolume(block, 0, db);
    if (!fw_) return QEL_E_FAILED;
    return fw_->setMasterVolume(block, db);
}

bool Device::RegisterBlockNotify(std::uint8_t block, IWindow* window) {
    if (usb_) return true;
    if (!fw_) return false;
    watched_.push_back(std::make_unique<AVCSUFeatureBlockNotifyCMD>(block));
    return fw_->registerForAVCEvents(watched_.back().get(), window, QEL_MSG_FEATURE_BLOCK);
}

Status Device::setDeviceMode(std::uint32_t mode) {
    if (usb_) {
        mode_ = mode;
        return usb_->setMode(mode);
    }
    if (!fw_) return QEL_E_FAILED;
    mode_ = mode;
    AvcCommands& avc = context_.avc();
    avcRateCode_ = rateCode(context_.drv().sampleRateInfo().currentRate());
    std::uint32_t answer = 0;
    fw_->readVendorStatus(avc.flag3, answer);
    firstFlag_ = answer != 0;
    answer = 0;
    fw_->readVendorStatus(avc.flag4, answer);
    secondFlag_ = answer != 0;
    if (mode >= 1 && mode <= 3) fw_->sendVendorControl(avc.flag4, secondFlag_ ? 1 : 0);
    ReadSyncSource();
    fw_->sendVendorControl(avc.deviceMode, static_cast<std::uint8_t>(mode));
    return QEL_OK;
}

// ---------------------------------------------------------------- clock

const char* Device::RateName(std::uint32_t code) {
    switch (code) {
    case 2: return "32kHz";
    case 3: return "44.1kHz";
    case 4: return "48kHz";
    case 5: return "96kHz";
    case 6: return "176.4kHz";
    case 7: return "192kHz";
    case 10: return "88.2kHz";
    default: return "Invalid SR";
    }
}

std::uint8_t Device::rateCode(std::uint32_t hz) {
    switch (hz) {
    case 32000: return 2;
    case 44100: return 3;
    case 48000: return 4;
    case 88200: return 10;
    case 96000: return 5;
    case 176400: return 6;
    case 192000: return 7;
    default: return 15;
    }
}

Status Device::SetSampleRate(std::uint32_t hz) {
    if (usb_) return context_.usbDrv().setSampleRate(hz);
    if (!fw_) return QEL_E_FAILED;
    return context_.drv().setSampleRate(hz);
}

Status Device::ReadSampleRateInfo() {
    if (!fw_ && !usb_) return QEL_E_FAILED;
    const Status status = usb_ ? context_.usbDrv().readSampleRateInfo() : context_.drv().readSampleRateInfo();
    if (status != QEL_OK) return status;
    const QEL_SAMPLE_RATE_INFO& r = usb_ ? context_.usbDrv().sampleRateInfo() : context_.drv().sampleRateInfo();
    rateWord_ = r.word0();
    currentRate_ = r.currentRate();
    rates_ = r.rates();
    return QEL_OK;
}

Status Device::GetCurrentRate(std::uint32_t& hz) {
    if (usb_) {
        // Asked anew: the driver's rate follows the clock source.
        const Status status = context_.usbDrv().readSampleRateInfo();
        if (status == QEL_OK) hz = context_.usbDrv().sampleRateInfo().currentRate();
        return status;
    }
    if (!fw_) return QEL_E_FAILED;
    hz = context_.drv().sampleRateInfo().currentRate();
    return QEL_OK;
}

std::uint32_t Device::syncIndexFor(std::uint32_t kind, const std::string& name) {
    switch (kind) {
    case 2:
    case 3: return 4;
    case 4: return isWordClock(name) ? 3 : 0;
    case 5:
        if (contains(name, "spdif")) return 1;
        for (const char* optical : {"tos", "opt", "adat", "s-mux", "smux"})
            if (contains(name, optical)) return 2;
        return 0;
    default: return 0;
    }
}

QEL_DEVICE_SYNCH_MODE_INFO* Device::ownSyncModes(Status& status) {
    CDrv& drv = context_.drv();
    status = drv.openDriver(props_.interfaceGuid);
    if (status == QEL_OK) status = drv.readSyncSettings();
    if (status != QEL_OK) return nullptr;
    QEL_DEVICE_SYNCH_MODE_INFO* rec = drv.findSyncMode(fw_->deviceId());
    if (rec == nullptr) status = QEL_E_FAILED;
    return rec;
}

Status Device::ReadSyncSource() {
    if (usb_) return readSyncSourceUsb();
    if (!fw_) return QEL_E_FAILED;
    Status status = QEL_OK;
    const QEL_DEVICE_SYNCH_MODE_INFO* rec = ownSyncModes(status);
    if (rec == nullptr) return status;
    const QEL_SYNC_MODE_ENTRY cur = rec->current();
    syncKind_ = syncIndexFor(cur.mode, lower(cur.name));
    return QEL_OK;
}

Status Device::SetSyncSource(std::uint32_t index) {
    if (usb_) return setSyncSourceUsb(index);
    if (!fw_ || index > 4) return QEL_E_FAILED;
    Status status = QEL_OK;
    QEL_DEVICE_SYNCH_MODE_INFO* rec = ownSyncModes(status);
    if (rec == nullptr) return status;
    const QEL_SYNC_MODE_ENTRY cur = rec->current();
    const std::uint32_t k = cur.mode;
    const std::string name = lower(cur.name);
    const std::vector<QEL_SYNC_MODE_ENTRY> entries = rec->entries();
    // The name of the first available entry matching `pred` (lower-case), or "".
    auto firstName = [&](auto pred) -> std::string {
        for (const auto& e : entries)
            if (pred(e)) return lower(e.name);
        return {};
    };
    auto named = [&](const std::string& part) {
        return firstName([&](const QEL_SYNC_MODE_ENTRY& e) { return contains(lower(e.name), part); });
    };
    AvcCommands& avc = context_.avc();
    std::uint32_t wantKind = 0;
    std::string wantName;
    switch (index) {
    case 1:
        if (k == 5 && contains(name, "spdif")) return QEL_OK;
        firstFlag_ = true;
        fw_->sendVendorControl(avc.flag3, 1);
        wantKind = 5;
        wantName = named("spdif");
        break;
    case 2: {
        std::string a, b;
        if (mode_ == 0) {
            a = "optical";
            b = "tos";
        } else if (mode_ == 1 || mode_ == 2) {
            a = "mux";
            b = "adat";
        } else {
            fw_->sendVendorControl(avc.flag4, 0);
            secondFlag_ = false;
            return QEL_E_FAILED;
        }
        if (k == 5 && (contains(name, a) || contains(name, b))) return QEL_OK;
        secondFlag_ = true;
        fw_->sendVendorControl(avc.flag4, 1);
        wantKind = 5;
        wantName = named(a);
        if (wantName.empty()) wantName = named(b);
        break;
    }
    case 3: {
        // Internal and word clock are both kind 4: the word-clock entry is
        // told by its name, as ReadSyncSource does.
        const std::string wordClock = firstName(
            [](const QEL_SYNC_MODE_ENTRY& e) { return e.mode == 4 && isWordClock(lower(e.name)); });
        if (k == 4 && (wordClock.empty() || isWordClock(name))) return QEL_OK;
        wantKind = 4;
        wantName = wordClock;
        break;
    }
    case 4:
        if (k == 2) return QEL_OK;
        if (firstFlag_) {
            firstFlag_ = false;
            fw_->sendVendorControl(avc.flag3, 0);
        }
        if (secondFlag_) {
            secondFlag_ = false;
            fw_->sendVendorControl(avc.flag4, 0);
        }
        wantKind = 2;
        break;
    default: {
        const std::string internal = named("internal");
        if (!internal.empty()) {
            wantKind = 4;
            if (k == 4 && contains(name, internal)) return QEL_OK;
            wantName = internal;
        } else {
            wantKind = 1;
            if (k == 1) return QEL_OK;
        }
        break;
    }
    }

    CDrv& drv = context_.drv();
    status = drv.beginSyncChange();
    if (status != QEL_OK) return status;
    // The write-back below sends the kept sync parameter: read the driver's
    // own first, so a clock change never switches the rate mode with it.
    drv.readSyncParameter();
    QEL_SYNC_SETTINGS& settings = drv.syncSettings();
    const std::uint32_t master = index == 4 ? 0 : 1;
    if (settings.masterKind() != master) {
        settings.setWord(4, master);
        drv.writeSyncSettings();
    }
    const std::uint32_t n = std::min(rec->count(), QEL_DEVICE_SYNCH_MODE_INFO::kMaxEntries);
    for (std::uint32_t i = 0; i < n; ++i) {
        const QEL_SYNC_MODE_ENTRY e = rec->entry(i);
        if (e.mode != wantKind || (!wantName.empty() && !contains(lower(e.name), wantName))) continue;
        // Name and code of the entry into the current entry, mode = the wanted kind.
        const std::size_t from = QEL_DEVICE_SYNCH_MODE_INFO::kEntriesOffset + QEL_SYNC_MODE_ENTRY::kSize * i;
        std::copy_n(rec->bytes.begin() + static_cast<std::ptrdiff_t>(from + 8), 40,
                    rec->bytes.begin() + QEL_DEVICE_SYNCH_MODE_INFO::kCurrentOffset + 8);
        rec->setCurrent(wantKind, e.code);
        break;
    }
    drv.writeSyncModes();
    drv.writeSyncSettings();
    drv.writeSyncParameter();
    drv.writeSyncModes();
    drv.endSyncChange();
    return QEL_OK;
}

Status Device::ReadDigitalInput(std::uint32_t input, std::uint32_t& detected, std::uint32_t& code) {
    detected = 0;
    code = 15;
    if (usb_) {
        bool locked = false;
        std::uint8_t rate = 15;
        const Status status = usb_->readInputState(input, locked, rate);
        detected = locked ? 1 : 0;
        code = rate;
        return status;
    }
    if (!fw_ || (input != 1 && input != 2)) return QEL_E_FAILED;
    AvcCommands& avc = context_.avc();
    bool on = false;
    std::uint8_t rate = 15;
    fw_->readDigitalInDetection(input == 1 ? avc.coaxialInput : avc.opticalInput, on, rate);
    detected = on ? 1 : 0;
    code = rate;
    return QEL_OK;
}

Status Device::ReadVendorValue(const AVCVendorSpecCMD& cmd, std::uint32_t& value) {
    if (usb_) {
        value = usb_->readMode();
        return QEL_OK;
    }
    if (!fw_) return QEL_E_FAILED;
    return fw_->readVendorStatus(cmd, value);
}

}  // namespace qel
