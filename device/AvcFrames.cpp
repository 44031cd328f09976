#include "device/AvcFrames.h"

#include <algorithm>
#include <cmath>

namespace qel {

AvcFrame featureBlockFrame(std::uint8_t ctype, std::uint8_t block, std::uint8_t channel, std::uint8_t selector,
                           std::span<const std::uint8_t> data) {
    AvcFrame f;
    for (const std::uint8_t b : {ctype, AVC_SUBUNIT_AUDIO, AVC_OPCODE_FUNCTION_BLOCK, AVC_FB_TYPE_FEATURE, block,
                                 AVC_CONTROL_ATTRIBUTE_CURRENT, std::uint8_t{0x02}, channel, selector,
                                 static_cast<std::uint8_t>(data.size())})
        f.push(b);
    for (const std::uint8_t b : data) f.push(b);
    return f;
}

AvcFrame featureValueControl(std::uint8_t block, std::uint8_t channel, std::uint8_t selector, std::int16_t value) {
    std::uint8_t data[2];
    os::putBe16(data, 0, static_cast<std::uint16_t>(value));
    return featureBlockFrame(AVC_CTYPE_CONTROL, block, channel, selector, data);
}

AvcFrame featureValueQuery(std::uint8_t ctype, std::uint8_t block, std::uint8_t channel, std::uint8_t selector) {
    const std::uint8_t data[2] = {0xFF, 0xFF};
    return featureBlockFrame(ctype, block, channel, selector, data);
}

AvcFrame muteControl(std::uint8_t block, std::uint8_t channel, bool on) {
    const std::uint8_t data[1] = {on ? AVC_MUTE_ON : AVC_MUTE_OFF};
    return featureBlockFrame(AVC_CTYPE_CONTROL, block, channel, AVC_SELECTOR_MUTE, data);
}

AvcFrame muteStatus(std::uint8_t block, std::uint8_t channel) {
    const std::uint8_t data[1] = {0xFF};
    return featureBlockFrame(AVC_CTYPE_STATUS, block, channel, AVC_SELECTOR_MUTE, data);
}

AvcFrame vendorFrame(std::uint8_t ctype, std::uint32_t companyId, std::uint8_t command,
                     std::span<const std::uint8_t> operands) {
    AvcFrame f;
    f.push(ctype);
    f.push(AVC_SUBUNIT_UNIT);
    f.push(AVC_OPCODE_VENDOR_DEPENDENT);
    f.push(static_cast<std::uint8_t>(companyId >> 16));
    f.push(static_cast<std::uint8_t>(companyId >> 8));
    f.push(static_cast<std::uint8_t>(companyId));
    f.push(command);
    for (const std::uint8_t b : operands) f.push(b);
    return f;
}

std::array<std::uint8_t, kAvcTransactionIn> encodeTransaction(const AvcFrame& command) {
    std::array<std::uint8_t, kAvcTransactionIn> in{};
    os::putLe32(in, 0, kAvcTransactionTag);
    os::putLe32(in, 4, command.length);
    for (std::uint32_t i = 0; i < command.length && i < kAvcMaxFrame; ++i) in[8 + i] = command.bytes[i];
    return in;
}

Status decodeResponse(std::span<const std::uint8_t> answer, std::uint32_t bytesReturned, AvcFrame& response) {
    response = AvcFrame{};
    const std::size_t valid = std::min<std::size_t>(bytesReturned, answer.size());
    if (valid < 4) return QEL_E_BAD_LENGTH;
    const std::uint32_t length = os::getLe32(answer, 0);
    if (length > kAvcMaxFrame || length > valid - 4) return QEL_E_BAD_LENGTH;
    for (std::uint32_t i = 0; i < length; ++i) response.bytes[i] = answer[4 + i];
    response.length = length;
    return QEL_OK;
}

Status checkResponse(const AvcFrame& response, std::uint8_t code, std::uint32_t minLength) {
    if (response.length < 1 || response.length < minLength) return QEL_E_FAILED;
    return response.bytes[0] == code ? QEL_OK : QEL_E_FAILED;
}

namespace {
std::int16_t saturate(double v) {
    if (v < -32768.0) return INT16_MIN;
    if (v > 32767.0) return INT16_MAX;
    return static_cast<std::int16_t>(v);
}
}  // namespace

std::int16_t dbToClamped(double db) {
    if (std::isnan(db)) return INT16_MIN;
    db = std::clamp(db, -63.0, 0.0);
    return saturate(std::trunc(db * 256.0 - 0.5));
}

std::int16_t dbToPlain(double db) {
    if (std::isnan(db)) return INT16_MIN;
    const double v = db * 256.0;
    return saturate(std::trunc(db > 0 ? v : v - 0.5));
}

}  // namespace qel
