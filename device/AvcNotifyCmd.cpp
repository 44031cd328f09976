#include "device/AvcNotifyCmd.h"

#include <algorithm>

namespace qel {

namespace {
AvcFrame vendorQuery(std::uint8_t ctype, std::uint32_t companyId, const AVC_NotifyCMD& cmd) {
    // Bounded by the frame: a data length beyond it is cut.
    const std::vector<std::uint8_t> ff(std::min<std::uint32_t>(cmd.dataLength(), kAvcMaxFrame - 7), 0xFF);
    return vendorFrame(ctype, companyId, static_cast<std::uint8_t>(cmd.code()), ff);
}
}  // namespace

AvcFrame AVCVendorSpecCMD::notifyFrame(std::uint32_t companyId) const {
    return vendorQuery(AVC_CTYPE_NOTIFY, companyId, *this);
}

AvcFrame AVCVendorSpecCMD::statusFrame(std::uint32_t companyId) const {
    return vendorQuery(AVC_CTYPE_STATUS, companyId, *this);
}

AvcFrame AVCSUFeatureBlockNotifyCMD::notifyFrame(std::uint32_t) const {
    return featureValueQuery(AVC_CTYPE_NOTIFY, block_, channel_, selector_);
}

NotifyMatch matchNotifyResponse(const AvcFrame& response, std::span<AVC_NotifyCMD* const> watched) {
    NotifyMatch m;
    const std::uint8_t opcode = response.at(2);
    if (response.length < 3) return m;
    if (opcode == AVC_OPCODE_FUNCTION_BLOCK) {
        if (response.length < 9) return m;  // block and selector must be there
        for (std::size_t i = 0; i < watched.size(); ++i) {
            const auto* fb = dynamic_cast<const AVCSUFeatureBlockNotifyCMD*>(watched[i]);
            if (fb != nullptr && fb->functionBlock() == response.at(4) && fb->controlSelector() == response.at(8)) {
                m.command = watched[i];
                m.index = i;
                m.dataOffset = 10;
                break;
            }
        }
    } else if (opcode == AVC_OPCODE_VENDOR_DEPENDENT) {
        if (response.length < 7) return m;  // the command code must be there
        for (std::size_t i = 0; i < watched.size(); ++i) {
            if (watched[i] != nullptr && (watched[i]->code() & 0xFF) == response.at(6)) {
                m.command = watched[i];
                m.index = i;
                m.dataOffset = 7;
                break;
            }
        }
    }
    if (m.command != nullptr)
        m.complete = m.dataOffset <= response.length &&
                     m.command->dataLength() <= response.length - m.dataOffset;
    return m;
}

bool applyNotifyResponse(const AvcFrame& response, const NotifyMatch& match) {
    if (match.command == nullptr || !match.complete) return false;
    auto data = match.command->data();
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = response.at(match.dataOffset + i);
    return true;
}

}  // namespace qel
