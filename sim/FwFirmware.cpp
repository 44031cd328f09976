#include "sim/FwFirmware.h"

#include <algorithm>
#include <cmath>

namespace qel::sim {

namespace {
constexpr std::uint8_t kControl = 0x00, kStatus = 0x01, kNotify = 0x03;
constexpr std::uint8_t kNotImplemented = 0x08, kAccepted = 0x09, kRejected = 0x0A, kStable = 0x0C,
                       kChanged = 0x0D, kInterim = 0x0F;
constexpr std::uint8_t kMuteOn = 0x70, kMuteOff = 0x60;

std::vector<std::uint8_t> respond(std::vector<std::uint8_t> f, std::uint8_t code) {
    if (f.empty()) f.push_back(0);
    f[0] = code;
    return f;
}

void putValue(std::vector<std::uint8_t>& out, std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    out.push_back(static_cast<std::uint8_t>(u >> 8));
    out.push_back(static_cast<std::uint8_t>(u));
}
}  // namespace

FwFirmware::FwFirmware(std::vector<std::uint8_t> blocks, std::uint32_t companyId)
    : companyId_(companyId & 0xFFFFFF) {
    for (const std::uint8_t b : blocks) blocks_[b] = {};
}

FwFirmware* FwFirmware::of(FwDeviceModel& model) { return dynamic_cast<FwFirmware*>(model.firmware.get()); }

const FwFirmware::Channel* FwFirmware::channel(std::uint8_t block, std::uint8_t ch) const {
    const auto it = blocks_.find(block);
    if (it == blocks_.end() || ch >= kChannels) return nullptr;
    return &it->second[ch];
}

// ---------------------------------------------------------------- requests

std::vector<std::uint8_t> FwFirmware::avcCommand(std::uint32_t origin, os::ConstByteSpan frame) {
    std::vector<std::uint8_t> f(frame.begin(), frame.end());
    if (answerNext_) {
        std::vector<std::uint8_t> r = std::move(*answerNext_);
        answerNext_.reset();
        return r;
    }
    if (replyNext_) {
        const std::uint8_t code = *replyNext_;
        replyNext_.reset();
        return respond(std::move(f), code);
    }
    std::vector<std::uint8_t> r = answer(origin, std::move(f));
    completeChanged();
    return r;
}

std::vector<std::uint8_t> FwFirmware::answer(std::uint32_t origin, std::vector<std::uint8_t> f) {
    if (f.size() < 3) return respond(std::move(f), kNotImplemented);
    if (f[0] != kControl && f[0] != kStatus && f[0] != kNotify) return respond(std::move(f), kNotImplemented);
    if (f[1] == 0x08 && f[2] == 0xB8) return featureBlock(origin, std::move(f));
    if (f[1] == 0xFF && f[2] == 0x00) return vendor(origin, std::move(f));
    return respond(std::move(f), kNotImplemented);
}

std::vector<std::uint8_t> FwFirmware::query(std::uint32_t origin, std::vector<std::uint8_t> f, std::size_t dataAt) {
    const auto data = currentData(f);
    if (!data || dataAt + data->size() != f.size()) return respond(std::move(f), kNotImplemented);
    std::copy(data->begin(), data->end(), f.begin() + static_cast<std::ptrdiff_t>(dataAt));
    if (f[0] == kStatus) return respond(std::move(f), kStable);
    if (armed_.size() >= kMaxArmed) return respond(std::move(f), kRejected);
    Armed a;
    a.origin = origin;
    a.frame = f;
    a.data = *data;
    armed_.push_back(std::move(a));
    return respond(std::move(f), kInterim);
}

// 0x08 B8 81 fb 10 02 ch sel len data
std::vector<std::uint8_t> FwFirmware::featureBlock(std::uint32_t origin, std::vector<std::uint8_t> f) {
    if (f.size() < 10 || f[3] != 0x81 || f[5] != 0x10 || f[6] != 0x02) return respond(std::move(f), kNotImplemented);
    const std::uint8_t selector = f[8], length = f[9];
    const std::size_t expected = selector == 1 ? 1 : (selector == 2 || selector == 3) ? 2 : 0;
    const auto it = blocks_.find(f[4]);
    if (expected == 0 || length != expected || f.size() != 10 + expected || it == blocks_.end() ||
        f[7] >= kChannels)
        return respond(std::move(f), kNotImplemented);
    if (f[0] != kControl) return query(origin, std::move(f), 10);
    Channel& c = it->second[f[7]];
    if (selector == 1) {
        if (f[10] != kMuteOn && f[10] != kMuteOff) return respond(std::move(f), kRejected);
        c.mute = f[10] == kMuteOn;
    } else {
        const auto v = static_cast<std::int16_t>(f[10] << 8 | f[11]);
        (selector == 2 ? c.volume : c.balance) = v;
    }
    return respond(std::move(f), kAccepted);
}

// FF 00 c2 c1 c0 cmd operands
std::vector<std::uint8_t> FwFirmware::vendor(std::uint32_t origin, std::vector<std::uint8_t> f) {
    if (f.size() < 7 || (std::uint32_t{f[3]} << 16 | std::uint32_t{f[4]} << 8 | f[5]) != companyId_)
        return respond(std::move(f), kNotImplemented);
    const std::uint8_t cmd = f[6];
    const std::size_t operands = f.size() - 7;
    switch (cmd) {
    case 0:
    case 3:
    case 4:
        if (operands != 1) return respond(std::move(f), kNotImplemented);
        if (f[0] == kControl) {
            if (cmd == 0 && f[7] > 3) return respond(std::move(f), kRejected);
            (cmd == 0 ? mode_ : cmd == 3 ? flag3_ : flag4_) = f[7];
            return respond(std::move(f), kAccepted);
        }
        return query(origin, std::move(f), 7);
    case 1:
    case 2:
        if (operands != 2) return respond(std::move(f), kNotImplemented);
        if (f[0] == kControl) return respond(std::move(f), kRejected);
        return query(origin, std::move(f), 7);
    case 7:
        if (operands != 1) return respond(std::move(f), kNotImplemented);
        if (f[0] == kControl) return respond(std::move(f), kRejected);
        return query(origin, std::move(f), 7);
    default:
        return respond(std::move(f), kNotImplemented);
    }
}

std::optional<std::vector<std::uint8_t>> FwFirmware::currentData(const std::vector<std::uint8_t>& f) const {
    std::vector<std::uint8_t> d;
    if (f.size() >= 10 && f[1] == 0x08 && f[2] == 0xB8) {
        const Channel* c = channel(f[4], f[7]);
        if (c == nullptr) return std::nullopt;
        switch (f[8]) {
        case 1: d.push_back(c->mute ? kMuteOn : kMuteOff); break;
        case 2: putValue(d, c->volume); break;
        case 3: putValue(d, c->balance); break;
        default: return std::nullopt;
        }
        return d;
    }
    if (f.size() >= 7 && f[1] == 0xFF && f[2] == 0x00) {
        switch (f[6]) {
        case 0: d.push_back(mode_); break;
        case 3: d.push_back(flag3_); break;
        case 4: d.push_back(flag4_); break;
        case 7: d.push_back(message_); break;
        case 1:
        case 2: {
            const DigitalInput& in = inputs_[f[6] - 1];
            d.push_back(in.present ? 1 : 0);
            d.push_back(in.rateCode);
            break;
        }
        default: return std::nullopt;
        }
        return d;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- NOTIFY

void FwFirmware::completeChanged(bool message) {
    for (auto it = armed_.begin(); it != armed_.end();) {
        const bool isMessage = it->frame.size() >= 7 && it->frame[1] == 0xFF && it->frame[6] == 7;
        const auto now = currentData(it->frame);
        if (!now || *now == it->data) {
            if (!(message && isMessage)) {
                ++it;
                continue;
            }
        }
        std::vector<std::uint8_t> r = it->frame;
        if (now) std::copy(now->begin(), now->end(), r.end() - static_cast<std::ptrdiff_t>(now->size()));
        r[0] = kChanged;
        if (pending_.size() >= kMaxPending) pending_.erase(pending_.begin());
        pending_.push_back(NotifyResponse{it->origin, std::move(r)});
        it = armed_.erase(it);
    }
}

std::vector<Firmware::NotifyResponse> FwFirmware::takeNotifyResponses() {
    std::vector<NotifyResponse> out;
    out.swap(pending_);
    return out;
}

void FwFirmware::cancelNotifies(std::uint32_t origin) {
    std::erase_if(armed_, [origin](const Armed& a) { return a.origin == origin; });
    std::erase_if(pending_, [origin](const NotifyResponse& r) { return r.origin == origin; });
}

void FwFirmware::busReset() {
    armed_.clear();
    pending_.clear();
}

// ---------------------------------------------------------------- injection

bool FwFirmware::knob(std::uint8_t block, std::uint8_t ch, double db) {
    const auto it = blocks_.find(block);
    if (it == blocks_.end() || ch >= kChannels || std::isnan(db)) return false;
    const double v = std::clamp(std::round(db * 256.0), -32768.0, 32767.0);
    it->second[ch].volume = static_cast<std::int16_t>(v);
    completeChanged();
    return true;
}

bool FwFirmware::setDigitalInput(int input, bool present, std::uint8_t rateCode) {
    if (input != 1 && input != 2) return false;
    inputs_[input - 1] = DigitalInput{present, rateCode};
    completeChanged();
    return true;
}

void FwFirmware::deviceMessage(std::uint8_t message) {
    message_ = message;
    completeChanged(/*message=*/true);
}

}  // namespace qel::sim
