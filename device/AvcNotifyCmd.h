#pragma once
// Commands whose state is watched through AV/C NOTIFY: vendor-dependent
// commands (device mode, flags, device messages, digital-input detection) and
// feature-block volumes. Each holds its code and its data bytes; a NOTIFY
// final response overwrites the data with the new value.
#include <cstdint>
#include <span>
#include <vector>

#include "device/AvcFrames.h"

namespace qel {

class AVC_NotifyCMD {
public:
    AVC_NotifyCMD(std::uint32_t code, std::uint32_t dataLength) : code_(code), data_(dataLength, 0) {}
    virtual ~AVC_NotifyCMD() = default;

    std::uint32_t code() const { return code_; }
    std::uint32_t dataLength() const { return static_cast<std::uint32_t>(data_.size()); }
    std::span<std::uint8_t> data() { return data_; }
    std::span<const std::uint8_t> data() const { return data_; }

    // The NOTIFY frame that arms this command.
    virtual AvcFrame notifyFrame(std::uint32_t companyId) const = 0;

private:
    std::uint32_t code_;
    std::vector<std::uint8_t> data_;
};

// A vendor-dependent command: the code is the vendor command code, the data
// are its operand bytes.
class AVCVendorSpecCMD : public AVC_NotifyCMD {
public:
    AVCVendorSpecCMD(std::uint32_t code, std::uint32_t dataLength) : AVC_NotifyCMD(code, dataLength) {}
    // 03 FF 00 c2 c1 c0 cmd followed by data-length bytes FF.
    AvcFrame notifyFrame(std::uint32_t companyId) const override;
    // The same with STATUS.
    AvcFrame statusFrame(std::uint32_t companyId) const;
};

// Whether a digital input carries a signal: data byte 0 the detected flag,
// byte 1 the sample-rate code (15 = none).
class AVCDigitalInDetectionCMD : public AVCVendorSpecCMD {
public:
    explicit AVCDigitalInDetectionCMD(std::uint32_t code) : AVCVendorSpecCMD(code, 2) {}
    bool detected() const { return data()[0] != 0; }
    std::uint8_t rateCode() const { return data()[1]; }
};

// A watched feature-block volume (channel 0).
class AVCSUFeatureBlockNotifyCMD : public AVC_NotifyCMD {
public:
    explicit AVCSUFeatureBlockNotifyCMD(std::uint8_t block) : AVC_NotifyCMD(6, 2), block_(block) {}
    std::uint8_t functionBlock() const { return block_; }
    std::uint8_t controlSelector() const { return selector_; }
    std::uint8_t audioChannel() const { return channel_; }
    // 03 08 B8 81 fb 10 02 ch sel 02 FF FF
    AvcFrame notifyFrame(std::uint32_t companyId) const override;

private:
    std::uint8_t block_;
    std::uint8_t selector_ = AVC_SELECTOR_VOLUME;
    std::uint8_t channel_ = 0;
};

// The command objects that live as long as the program (owned by the process
// context): device mode, two device flags, device messages and the detection
// of the two digital inputs.
struct AvcCommands {
    AVCVendorSpecCMD deviceMode{0, 1};
    AVCVendorSpecCMD flag3{3, 1};
    AVCVendorSpecCMD flag4{4, 1};
    AVCVendorSpecCMD deviceMessage{7, 1};
    AVCDigitalInDetectionCMD coaxialInput{1};
    AVCDigitalInDetectionCMD opticalInput{2};
};

// ---- NOTIFY final responses

// The watched command a NOTIFY response belongs to.
struct NotifyMatch {
    AVC_NotifyCMD* command = nullptr;  // null: ignored (other opcode, no match, too short to match)
    std::size_t index = 0;             // its position in the watched list
    std::uint32_t dataOffset = 0;      // where its new data start in the response
    bool complete = false;             // the response holds all of its data bytes
};

// Function-block responses (opcode B8) match the first watched feature-block
// command with the block of byte 4 and the selector of byte 8, data from byte
// 10; vendor responses (opcode 00) the first watched command of any class with
// the code of byte 6, data from byte 7. Nothing is read past the response.
NotifyMatch matchNotifyResponse(const AvcFrame& response, std::span<AVC_NotifyCMD* const> watched);
// Copies the new data into the matched command; false (nothing copied) when
// nothing matched or the response ends before the data do.
bool applyNotifyResponse(const AvcFrame& response, const NotifyMatch& match);

}  // namespace qel
