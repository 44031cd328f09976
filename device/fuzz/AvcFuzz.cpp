// Arbitrary driver answers through AV/C response decoding, the response
// checks and NOTIFY matching: nothing may be read past what was sent.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/AvcFrames.h"
#include "device/AvcNotifyCmd.h"

using namespace qel;

namespace {
volatile std::size_t sink;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte chooses how many bytes the driver claims to have returned.
    const std::uint32_t claimed = data[0] * 3u;
    const std::span<const std::uint8_t> answer(data + 1, size - 1);
    AvcFrame r;
    if (decodeResponse(answer, claimed, r) != QEL_OK) return 0;
    sink = checkResponse(r, AVC_RESPONSE_STABLE, 12) + checkResponse(r, AVC_RESPONSE_ACCEPTED, 1) +
           checkResponse(r, AVC_RESPONSE_INTERIM, r.length);

    AVCVendorSpecCMD message(7, 1);
    AVCDigitalInDetectionCMD coax(1);
    AVCSUFeatureBlockNotifyCMD block(r.at(4));
    AVCVendorSpecCMD wide(r.at(6), 300);  // more data than any response holds
    AVC_NotifyCMD* watched[] = {&message, &coax, &block, &wide};
    const NotifyMatch m = matchNotifyResponse(r, watched);
    if (applyNotifyResponse(r, m)) sink = m.command->data()[0];
    sink = block.notifyFrame(0x00C0DE).length + wide.statusFrame(0x00C0DE).length;
    return 0;
}
