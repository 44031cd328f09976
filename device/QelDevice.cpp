#include "device/QelDevice.h"

#include "device/EventMessages.h"
#include "device/HsciCommunicationManager.h"
#include "device/Qel1394DriverEventHandler.h"
#include "device/QelAvcEventHandler.h"
#include "device/Requests.h"

#include <algorithm>
#include <chrono>

namespace qel {

CQelDevice::CQelDevice(QelContext& context, const os::Guid& interfaceGuid, std::uint32_t companyId)
    : CQel1394CtrlImpl(context.platform()), context_(context), companyId_(companyId & 0xFFFFFF),
      interfaceGuid_(interfaceGuid), stopLimitMs_(QEL_EVENT_THREAD_STOP_MS) {}

CQelDevice::~CQelDevice() {
    // The threads use this object until they are stopped; one stopped past
    // its limit no longer does.
    if (driverEvents_) driverEvents_->stop(stopLimitMs_);
    if (avcEvents_) avcEvents_->stop(stopLimitMs_);
    driverEvents_.reset();
    avcEvents_.reset();
    hsci_.reset();
    cache_.clear();
    close(stopLimitMs_);
}

Status CQelDevice::openDevice(const os::Guid& interfaceGuid, std::uint32_t deviceId) {
    // A second open must not close the device that is open.
    if (isOpen()) return QEL_E_BAD_CALL;
    os::DevInfoSet set = os_.getClassDevs(interfaceGuid);
    // Without an enumeration set nothing can be opened: report it rather than
    // success.
    if (set == nullptr) return QEL_E_INVALID_ARG;
    Status status = QEL_OK;
    for (std::uint32_t index = 0;; ++index) {
        status = open(set, index, &interfaceGuid);
        if (status != QEL_OK) {
            closeDevice();
            break;
        }
        std::uint32_t id = 0;
        getDeviceId(id);
        if (deviceId == 0 || id == deviceId) {
            interfaceIndex_ = index;
            os_.destroyDevInfoSet(set);
            return context_.drv().openDriver(interfaceGuid);
        }
        closeDevice();
    }
    os_.destroyDevInfoSet(set);
    return status;
}

void CQelDevice::closeDevice() {
    // One limit for the whole close: what still waits past it for the driver
    // is left to end by itself.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(stopLimitMs_);
    const auto left = [&deadline]() -> std::uint32_t {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return ms.count() > 0 ? static_cast<std::uint32_t>(ms.count()) : 0;
    };
    if (driverEvents_) {
        driverEvents_->stop(left());
        driverEvents_.reset();
    }
    if (avcEvents_) {
        avcEvents_->stop(left());
        avcEvents_.reset();
    }
    hsci_.reset();
    close(left());
    context_.drv().closeDriver();
}

bool CQelDevice::initHsci() {
    if (!hsci_) hsci_ = std::make_unique<HSCICommunicationManager>(*this);
    return hsci_->init();
}

bool CQelDevice::readHsciMeters(std::vector<double>& meters) { return hsci_ && hsci_->readMeters(meters); }

bool CQelDevice::registerForDriverEvents(std::uint32_t key, IWindow* window, std::uint32_t message) {
    if (!driverEvents_) {
        auto handler = std::make_shared<Qel1394DriverEventHandler>(*this);
        if (!handler->created()) {
            context_.postMessageBox("ERROR: registerForDriverEvents FAILED", MessageBoxIcon::Information);
            return false;
        }
        if (handler->start() != QEL_OK) return false;
        driverEvents_ = std::move(handler);
    }
    if (!driverEvents_->hasDeviceNotification() &&
        !driverEvents_->registerDeviceNotification(window, QEL_MSG_DEVICE_CHANGE))
        return false;
    return driverEvents_->add(key, window, message);
}

bool CQelDevice::unregisterDriverEvents(std::uint32_t key) {
    if (driverEvents_) driverEvents_->remove(key);
    return true;
}

bool CQelDevice::registerForAVCEvents(AVC_NotifyCMD* cmd, IWindow* window, std::uint32_t message) {
    if (!avcEvents_) {
        auto handler = std::make_shared<QelAvcEventHandler>(*this);
        if (!handler->created()) {
            context_.postMessageBox("ERROR: registerForAVCEvents FAILED", MessageBoxIcon::Information);
            return false;
        }
        handler->start();
        avcEvents_ = std::move(handler);
    }
    return avcEvents_->add(cmd, window, message);
}

bool CQelDevice::unregisterAVCEvents(AVC_NotifyCMD* cmd) {
    if (avcEvents_ && cmd != nullptr) avcEvents_->remove(*cmd);
    return true;
}

bool CQelDevice::avcEventsStarted() const { return avcEvents_ && avcEvents_->running(); }

Status CQelDevice::getDeviceId(std::uint32_t& deviceId) {
    QEL_DEVICE_PROPERTIES props;
    std::uint32_t got = 0;
    Status status = sendRequest(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, nullptr, 0, props.data(), props.size(), &got);
    if (status == QEL_OK && got != props.size()) status = QEL_E_BAD_LENGTH;
    deviceId_ = status == QEL_OK ? props.deviceId() : 0;
    deviceId = deviceId_;
    return status;
}

template <class Fn>
Status CQelDevice::withDeviceList(const os::Guid& interfaceGuid, Fn fn) {
    CDrv& drv = context_.drv();
    Status status = drv.openDriver(interfaceGuid);
    if (status != QEL_OK) return status;
    // A refresh that failed for one device still lists the others.
    status = drv.refreshDeviceProperties();
    const bool found = fn(drv.deviceProperties());
    drv.closeDriver();
    return found ? QEL_OK : status;
}

Status CQelDevice::getDeviceName(const os::Guid& interfaceGuid, std::uint32_t deviceId, std::string& name) {
    return withDeviceList(interfaceGuid, [&](const std::vector<QEL_DEVICE_PROPERTIES>& list) {
        for (const auto& p : list)
            if (p.deviceId() == deviceId) {
                name = os_.codePageToUtf8(p.serial());
                return true;
            }
        return false;
    });
}

Status CQelDevice::findDeviceByName(const os::Guid& interfaceGuid, const std::string& name,
                                    std::uint32_t& deviceId) {
    return withDeviceList(interfaceGuid, [&](const std::vector<QEL_DEVICE_PROPERTIES>& list) {
        for (const auto& p : list)
            if (os_.codePageToUtf8(p.serial()) == name) {
                deviceId = p.deviceId();
                return true;
            }
        return false;
    });
}

// ---------------------------------------------------------------- AV/C

Status avcTransactionOn(Qel1394Transport& transport, const AvcFrame& command, AvcFrame& response) {
    response = AvcFrame{};
    const auto in = encodeTransaction(command);
    std::array<std::uint8_t, kAvcTransactionOut> out{};
    std::uint32_t got = 0;
    const Status status = transport.request(QEL_REQ_AVC_TRANSACTION, in.data(), kAvcTransactionIn, out.data(),
                                            kAvcTransactionOut, &got);
    if (status != QEL_OK) return status;
    return decodeResponse(out, got, response);
}

Status fetchNotifyResponseOn(Qel1394Transport& transport, AvcFrame& response) {
    response = AvcFrame{};
    std::array<std::uint8_t, kAvcTransactionOut> out{};
    std::uint32_t got = 0;
    const Status status =
        transport.request(QEL_REQ_GET_NOTIFY_RESPONSE, nullptr, 0, out.data(), kAvcTransactionOut, &got);
    if (status != QEL_OK) return status;
    return decodeResponse(out, got, response);
}

Status CQelDevice::avcTransaction(const AvcFrame& command, AvcFrame& response) {
    response = AvcFrame{};
    const auto t = transport();
    return t ? avcTransactionOn(*t, command, response) : QEL_E_DEVICE_NOT_OPEN;
}

Status CQelDevice::fetchNotifyResponse(AvcFrame& response) {
    response = AvcFrame{};
    const auto t = transport();
    return t ? fetchNotifyResponseOn(*t, response) : QEL_E_DEVICE_NOT_OPEN;
}

Status CQelDevice::GetNotifyResponse(std::span<AVC_NotifyCMD* const> watched, NotifyResult& result) {
    result = NotifyResult{};
    const Status status = fetchNotifyResponse(result.response);
    if (status != QEL_OK) return status;
    if (result.response.length < 7) return QEL_E_BAD_LENGTH;
    result.match = matchNotifyResponse(result.response, watched);
    if (result.match.command == nullptr) return QEL_OK;
    // A response too short for the data carries no value; the watch is armed
    // again all the same, since the device has ended the NOTIFY.
    {
        std::lock_guard lock(context_.commandDataLock());
        result.updated = applyNotifyResponse(result.response, result.match);
    }
    result.rearm = armNotify(*result.match.command);
    return QEL_OK;
}

Status CQelDevice::vendorControl(const AVCVendorSpecCMD& cmd, std::span<const std::uint8_t> operands) {
    AvcFrame response;
    const Status status = avcTransaction(
        vendorFrame(AVC_CTYPE_CONTROL, companyId_, static_cast<std::uint8_t>(cmd.code()), operands), response);
    if (status != QEL_OK) return status;
    return checkResponse(response, AVC_RESPONSE_ACCEPTED, 1);
}

Status CQelDevice::sendVendorControl(const AVCVendorSpecCMD& cmd, std::uint8_t operand) {
    const std::uint8_t ops[1] = {operand};
    return vendorControl(cmd, ops);
}

Status CQelDevice::sendVendorControl2(const AVCVendorSpecCMD& cmd, std::uint8_t a, std::uint8_t b) {
    const std::uint8_t ops[2] = {a, b};
    return vendorControl(cmd, ops);
}

Status CQelDevice::sendVendorControlLong(const AVCVendorSpecCMD& cmd, std::uint8_t a, std::uint16_t b,
                                        std::uint32_t x, std::uint16_t y) {
    const std::uint8_t ops[8] = {a,
                                 static_cast<std::uint8_t>(b >> 8),
                                 static_cast<std::uint8_t>(b),
                                 static_cast<std::uint8_t>(x >> 16),
                                 static_cast<std::uint8_t>(x >> 8),
                                 static_cast<std::uint8_t>(x),
                                 static_cast<std::uint8_t>(y >> 8),
                                 static_cast<std::uint8_t>(y)};
    return vendorControl(cmd, ops);
}

Status CQelDevice::readVendorStatus(const AVCVendorSpecCMD& cmd, std::uint32_t& value) {
    const std::uint8_t ops[1] = {static_cast<std::uint8_t>(value)};
    AvcFrame response;
    Status status = avcTransaction(
        vendorFrame(AVC_CTYPE_STATUS, companyId_, static_cast<std::uint8_t>(cmd.code()), ops), response);
    if (status == QEL_OK) status = checkResponse(response, AVC_RESPONSE_STABLE, 8);
    if (status == QEL_OK) value = response.bytes[7];
    return status;
}

Status CQelDevice::readVendorStatus2(const AVCVendorSpecCMD& cmd, std::uint8_t a, std::uint32_t& b) {
    const std::uint8_t ops[2] = {a, static_cast<std::uint8_t>(b)};
    AvcFrame response;
    Status status = avcTransaction(
        vendorFrame(AVC_CTYPE_STATUS, companyId_, static_cast<std::uint8_t>(cmd.code()), ops), response);
    if (status == QEL_OK) status = checkResponse(response, AVC_RESPONSE_STABLE, 9);
    if (status == QEL_OK) b = response.bytes[8];
    return status;
}

Status CQelDevice::readVendorData(AVC_NotifyCMD& cmd) {
    const std::vector<std::uint8_t> ff(std::min<std::uint32_t>(cmd.dataLength(), kAvcMaxFrame - 7), 0xFF);
    AvcFrame response;
    Status status = avcTransaction(
        vendorFrame(AVC_CTYPE_STATUS, companyId_, static_cast<std::uint8_t>(cmd.code()), ff), response);
    // The answer must hold every data byte; a shorter one updates nothing.
    if (status == QEL_OK) status = checkResponse(response, AVC_RESPONSE_STABLE, 7 + cmd.dataLength());
    if (status == QEL_OK) {
        std::lock_guard lock(context_.commandDataLock());
        for (std::uint32_t i = 0; i < cmd.dataLength(); ++i) cmd.data()[i] = response.at(7 + i);
    }
    return status;
}

Status CQelDevice::armNotify(const AVC_NotifyCMD& cmd) {
    AvcFrame response;
    const Status status = avcTransaction(cmd.notifyFrame(companyId_), response);
    if (status != QEL_OK) return status;
    return checkResponse(response, AVC_RESPONSE_INTERIM, 1);
}

void CQelDevice::readDigitalInDetection(AVCDigitalInDetectionCMD& cmd, bool& detected, std::uint8_t& rateCode) {
    detected = false;
    rateCode = 15;
    if (!avcEventsStarted() || readVendorData(cmd) != QEL_OK) return;
    std::lock_guard lock(context_.commandDataLock());
    detected = cmd.detected();
    rateCode = cmd.rateCode();
}

// ---------------------------------------------------------------- feature blocks

FB_PARAMS& CQelDevice::addFeatureBlock(std::uint8_t block) { return cache_[block] = FB_PARAMS{}; }

void CQelDevice::resetFeatureBlocks(std::uint32_t count) {
    const std::uint32_t last = std::min<std::uint32_t>(count, 255);
    for (std::uint32_t id = 0; id <= last; ++id) addFeatureBlock(static_cast<std::uint8_t>(id));
}

FB_PARAMS& CQelDevice::cacheEntry(std::uint8_t block) { return cache_[block]; }

const FB_PARAMS* CQelDevice::featureBlock(std::uint8_t block) const {
    const auto it = cache_.find(block);
    return it == cache_.end() ? nullptr : &it->second;
}

Status CQelDevice::sendValue(std::uint8_t block, std::uint8_t channel, std::uint8_t selector, std::int16_t value) {
    AvcFrame response;
    const Status status = avcTransaction(featureValueControl(block, channel, selector, value), response);
    if (status != QEL_OK) return status;
    return checkResponse(response, AVC_RESPONSE_ACCEPTED, 1);
}

Status CQelDevice::readValue(std::uint8_t block, std::uint8_t channel, std::uint8_t selector, std::int16_t& value) {
    AvcFrame response;
    Status status = avcTransaction(featureValueQuery(AVC_CTYPE_STATUS, block, channel, selector), response);
    if (status == QEL_OK) status = checkResponse(response, AVC_RESPONSE_STABLE, 12);
    if (status == QEL_OK) value = static_cast<std::int16_t>(os::getBe16(response.view(), 10));
    return status;
}

namespace {
std::int32_t cached(std::int16_t v) { return static_cast<std::uint16_t>(v); }
}  // namespace

void CQelDevice::noteDeviceValue(std::uint8_t block, std::uint8_t channel, std::uint8_t selector, std::int16_t value) {
    if (channel >= FB_PARAMS::kChannels) return;
    if (selector == AVC_SELECTOR_VOLUME) cacheEntry(block).volume[channel] = cached(value);
    else if (selector == AVC_SELECTOR_BALANCE) cacheEntry(block).balance[channel] = cached(value);
}

Status CQelDevice::setVolume(std::uint8_t block, std::uint8_t channel, double db) {
    if (channel >= FB_PARAMS::kChannels) return QEL_E_FAILED;
    const std::int16_t v = dbToClamped(db);
    FB_PARAMS& fb = cacheEntry(block);
    if (fb.volume[channel] == cached(v)) return QEL_OK;
    const Status status = sendValue(block, channel, AVC_SELECTOR_VOLUME, v);
    if (status == QEL_OK) fb.volume[channel] = cached(v);
    return status;
}

Status CQelDevice::setMasterVolume(std::uint8_t block, std::int32_t db) {
    const std::int16_t v = dbToPlain(db);
    FB_PARAMS& fb = cacheEntry(block);
    if (fb.volume[0] == cached(v)) return QEL_OK;
    const Status status = sendValue(block, 0, AVC_SELECTOR_VOLUME, v);
    if (status == QEL_OK) fb.volume[0] = cached(v);
    return status;
}

Status CQelDevice::setBalance(std::uint8_t block, std::uint8_t channel, double value) {
    if (channel >= FB_PARAMS::kChannels) return QEL_E_FAILED;
    const std::int16_t v = dbToPlain(value);
    FB_PARAMS& fb = cacheEntry(block);
    if (fb.balance[channel] == cached(v)) return QEL_OK;
    const Status status = sendValue(block, channel, AVC_SELECTOR_BALANCE, v);
    if (status == QEL_OK) fb.balance[channel] = cached(v);
    return status;
}

Status CQelDevice::getVolume(std::uint8_t block, std::uint8_t channel, double& db) {
    if (channel >= FB_PARAMS::kChannels) return QEL_E_FAILED;
    std::int16_t v = 0;
    const Status status = readValue(block, channel, AVC_SELECTOR_VOLUME, v);
    if (status != QEL_OK) return status;
    cacheEntry(block).volume[channel] = cached(v);
    db = valueToDb(v);
    return QEL_OK;
}

Status CQelDevice::getBalance(std::uint8_t block, std::uint8_t channel, std::int32_t& value) {
    if (channel >= FB_PARAMS::kChannels) return QEL_E_FAILED;
    std::int16_t v = 0;
    const Status status = readValue(block, channel, AVC_SELECTOR_BALANCE, v);
    if (status != QEL_OK) return status;
    cacheEntry(block).balance[channel] = cached(v);
    value = static_cast<std::int32_t>(valueToDb(v));
    return QEL_OK;
}

Status CQelDevice::setMute(std::uint8_t block, std::uint8_t channel, std::uint8_t state) {
    if (channel >= FB_PARAMS::kChannels) return QEL_E_FAILED;
    FB_PARAMS& fb = cacheEntry(block);
    if (fb.mute[channel] == state) return QEL_OK;
    AvcFrame response;
    Status status = avcTransaction(muteControl(block, channel, state != 0), response);
    if (status == QEL_OK) status = checkResponse(response, AVC_RESPONSE_ACCEPTED, 1);
    if (status == QEL_OK) fb.mute[channel] = state;
    return status;
}

Status CQelDevice::getMute(std::uint8_t block, std::uint8_t channel, std::uint8_t& state) {
    if (channel >= FB_PARAMS::kChannels) return QEL_E_FAILED;
    AvcFrame response;
    Status status = avcTransaction(muteStatus(block, channel), response);
    if (status == QEL_OK) status = checkResponse(response, AVC_RESPONSE_STABLE, 11);
    if (status != QEL_OK) return status;
    const std::uint8_t v = response.bytes[10];
    if (v != AVC_MUTE_ON && v != AVC_MUTE_OFF) return QEL_E_FAILED;
    state = v == AVC_MUTE_ON ? 1 : 0;
    cacheEntry(block).mute[channel] = state;
    return QEL_OK;
}

}  // namespace qel
