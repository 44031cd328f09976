#pragma once
// AV/C frames as the FireWire driver carries them: the transaction request
// (520 bytes in, 516 bytes out), the command frames the mixer sends, response
// checks and the decibel encodings. Frames are big-endian and built byte by
// byte; every read of a response stays inside the bytes the device sent.
#include <array>
#include <cstdint>
#include <span>

#include "device/Status.h"
#include "os/Bytes.h"

namespace qel {

// Command types (byte 0 of a command).
inline constexpr std::uint8_t AVC_CTYPE_CONTROL = 0x00;
inline constexpr std::uint8_t AVC_CTYPE_STATUS = 0x01;
inline constexpr std::uint8_t AVC_CTYPE_NOTIFY = 0x03;
// Response codes (byte 0 of a response).
inline constexpr std::uint8_t AVC_RESPONSE_NOT_IMPLEMENTED = 0x08;
inline constexpr std::uint8_t AVC_RESPONSE_ACCEPTED = 0x09;
inline constexpr std::uint8_t AVC_RESPONSE_REJECTED = 0x0A;
inline constexpr std::uint8_t AVC_RESPONSE_STABLE = 0x0C;  // also IMPLEMENTED
inline constexpr std::uint8_t AVC_RESPONSE_CHANGED = 0x0D;
inline constexpr std::uint8_t AVC_RESPONSE_INTERIM = 0x0F;
// Subunits and opcodes.
inline constexpr std::uint8_t AVC_SUBUNIT_AUDIO = 0x08;
inline constexpr std::uint8_t AVC_SUBUNIT_UNIT = 0xFF;
inline constexpr std::uint8_t AVC_OPCODE_FUNCTION_BLOCK = 0xB8;
inline constexpr std::uint8_t AVC_OPCODE_VENDOR_DEPENDENT = 0x00;
// Feature function block operands.
inline constexpr std::uint8_t AVC_FB_TYPE_FEATURE = 0x81;
inline constexpr std::uint8_t AVC_CONTROL_ATTRIBUTE_CURRENT = 0x10;
inline constexpr std::uint8_t AVC_SELECTOR_MUTE = 0x01;
inline constexpr std::uint8_t AVC_SELECTOR_VOLUME = 0x02;
inline constexpr std::uint8_t AVC_SELECTOR_BALANCE = 0x03;
inline constexpr std::uint8_t AVC_MUTE_ON = 0x70;
inline constexpr std::uint8_t AVC_MUTE_OFF = 0x60;

// The company ID of the Kavro firmware, placed in every vendor-dependent frame.
inline constexpr std::uint32_t QEL_KAVRO_COMPANY_ID = 0x00C0DE;

inline constexpr std::uint32_t kAvcMaxFrame = 512;
inline constexpr std::uint32_t kAvcTransactionIn = 520;
inline constexpr std::uint32_t kAvcTransactionOut = 516;
inline constexpr std::uint32_t kAvcTransactionTag = 1000;  // first input word, passed to the driver as is

// One command or response frame: up to 512 bytes and its length.
struct AvcFrame {
    std::array<std::uint8_t, kAvcMaxFrame> bytes{};
    std::uint32_t length = 0;

    // Byte i of the frame; 0 past its length.
    std::uint8_t at(std::size_t i) const { return i < length ? bytes[i] : 0; }
    std::span<const std::uint8_t> view() const { return {bytes.data(), length}; }
    // Appends one byte; ignored once the frame is full.
    void push(std::uint8_t b) {
        if (length < kAvcMaxFrame) bytes[length++] = b;
    }
};

// ---- Frames the mixer sends

// 0x08 B8 81 fb 10 02 ch sel len data...; `data` gives the control data bytes.
AvcFrame featureBlockFrame(std::uint8_t ctype, std::uint8_t block, std::uint8_t channel, std::uint8_t selector,
                           std::span<const std::uint8_t> data);
// Volume or balance: CONTROL with the 16-bit value, or STATUS/NOTIFY with FF FF.
AvcFrame featureValueControl(std::uint8_t block, std::uint8_t channel, std::uint8_t selector, std::int16_t value);
AvcFrame featureValueQuery(std::uint8_t ctype, std::uint8_t block, std::uint8_t channel, std::uint8_t selector);
AvcFrame muteControl(std::uint8_t block, std::uint8_t channel, bool on);
AvcFrame muteStatus(std::uint8_t block, std::uint8_t channel);
// FF 00 c2 c1 c0 cmd operands...
AvcFrame vendorFrame(std::uint8_t ctype, std::uint32_t companyId, std::uint8_t command,
                     std::span<const std::uint8_t> operands);

// The 520-byte request input: 1000, the frame length, the frame, zeros.
std::array<std::uint8_t, kAvcTransactionIn> encodeTransaction(const AvcFrame& command);
// The 516-byte answer (to a transaction or a notify-response request) holding
// `bytesReturned` valid bytes. A length word above 512, or larger than what the
// driver returned, is a malformed answer: QEL_E_BAD_LENGTH, `response` empty.
Status decodeResponse(std::span<const std::uint8_t> answer, std::uint32_t bytesReturned, AvcFrame& response);

// 0 when the response carries `code` and at least `minLength` bytes (the bytes
// the caller reads afterwards); QEL_E_FAILED otherwise.
Status checkResponse(const AvcFrame& response, std::uint8_t code, std::uint32_t minLength);

// ---- Decibels and the 16-bit encoding (steps of 1/256 dB, 0x8000 the lowest)

// Per-channel volume: clamped to -63..0 dB, times 256, minus 0.5, truncated.
std::int16_t dbToClamped(double db);
// Master volume and balance: times 256; truncated when positive, else minus
// 0.5 then truncated; below -32768 gives 0x8000, above 32767 gives 0x7FFF.
std::int16_t dbToPlain(double db);
inline double valueToDb(std::int16_t v) { return v / 256.0; }

}  // namespace qel
