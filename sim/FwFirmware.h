#pragma once
// The firmware of a simulated FireWire interface: an audio subunit whose
// feature function blocks hold volume, left-right balance and mute of channels
// 0..2, and the unit's vendor-dependent commands under the Kavro company ID
// (0 device mode, 1 and 2 digital-input detection, 3 and 4 device flags, 7
// device messages). CONTROL is answered ACCEPTED, STATUS STABLE, NOTIFY
// INTERIM; a NOTIFY completes (CHANGED, with the new value) when the value it
// watches changes, whoever changed it.
//
// The rig calls it under its lock; tests and sim commands reach it through
// Rig::withFwDevice, which hands completed NOTIFYs to the driver afterwards.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "sim/FwMemory.h"
#include "sim/Rig.h"

namespace qel::sim {

// The company ID the simulated firmware answers to.
inline constexpr std::uint32_t kKavroCompanyId = 0x00C0DE;

class FwFirmware final : public Firmware {
public:
    struct Channel {
        std::int16_t volume = 0;
        std::int16_t balance = 0;
        bool mute = false;
    };
    struct DigitalInput {
        bool present = false;
        std::uint8_t rateCode = 15;
    };
    static constexpr std::size_t kChannels = 3;
    static constexpr std::size_t kMaxArmed = 64;
    static constexpr std::size_t kMaxPending = 256;

    explicit FwFirmware(std::vector<std::uint8_t> blocks, std::uint32_t companyId = kKavroCompanyId);

    // The FwFirmware of a model, or null.
    static FwFirmware* of(FwDeviceModel& model);

    // ---- Firmware
    // Block reads of the HSCI memory.
    std::optional<Reply> request(std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) override {
        return memory_.request(code, in, out);
    }
    bool hasAvc() const override { return true; }
    std::vector<std::uint8_t> avcCommand(std::uint32_t origin, os::ConstByteSpan frame) override;
    std::vector<NotifyResponse> takeNotifyResponses() override;
    void cancelNotifies(std::uint32_t origin) override;
    void busReset() override;

    // ---- State
    std::uint32_t companyId() const { return companyId_; }
    const Channel* channel(std::uint8_t block, std::uint8_t ch) const;
    std::uint8_t deviceMode() const { return mode_; }
    std::uint8_t flag(std::uint8_t command) const { return command == 3 ? flag3_ : flag4_; }
    DigitalInput digitalInput(int input) const { return inputs_[input == 2 ? 1 : 0]; }
    std::size_t armedCount() const { return armed_.size(); }
    FwMemory& memory() { return memory_; }

    // ---- Injection (physical events and faults)
    // A front-panel knob turns the volume of a block's channel (to the nearest 1/256 dB).
    bool knob(std::uint8_t block, std::uint8_t ch, double db);
    // A digital input (1 coaxial, 2 optical) locks, unlocks or changes rate.
    bool setDigitalInput(int input, bool present, std::uint8_t rateCode);
    // The device reports a message; every armed NOTIFY of command 7 completes.
    void deviceMessage(std::uint8_t message);
    // The next AV/C command is answered with this response code and changes nothing.
    void replyNext(std::uint8_t responseCode) { replyNext_ = responseCode; }
    void clearReplyNext() { replyNext_.reset(); }
    // The next AV/C command is answered with exactly these bytes.
    void answerNext(std::vector<std::uint8_t> frame) { answerNext_ = std::move(frame); }

private:
    struct Armed {
        std::uint32_t origin = 0;
        std::vector<std::uint8_t> frame;  // the NOTIFY command
        std::vector<std::uint8_t> data;   // the value it was armed with
    };
    std::vector<std::uint8_t> answer(std::uint32_t origin, std::vector<std::uint8_t> f);
    std::vector<std::uint8_t> featureBlock(std::uint32_t origin, std::vector<std::uint8_t> f);
    std::vector<std::uint8_t> vendor(std::uint32_t origin, std::vector<std::uint8_t> f);
    // The current data of what a frame addresses; nullopt when it addresses nothing.
    std::optional<std::vector<std::uint8_t>> currentData(const std::vector<std::uint8_t>& f) const;
    // STATUS and NOTIFY answers: the frame with its data replaced.
    std::vector<std::uint8_t> query(std::uint32_t origin, std::vector<std::uint8_t> f, std::size_t dataAt);
    // Completes every armed NOTIFY whose value changed (and, with `message`,
    // every NOTIFY of command 7).
    void completeChanged(bool message = false);

    std::uint32_t companyId_;
    std::map<std::uint8_t, std::array<Channel, kChannels>> blocks_;
    std::uint8_t mode_ = 0;
    std::uint8_t flag3_ = 0;
    std::uint8_t flag4_ = 0;
    std::uint8_t message_ = 0;
    std::array<DigitalInput, 2> inputs_{};
    std::vector<Armed> armed_;
    std::vector<NotifyResponse> pending_;
    std::optional<std::uint8_t> replyNext_;
    std::optional<std::vector<std::uint8_t>> answerNext_;
    FwMemory memory_;
};

}  // namespace qel::sim
