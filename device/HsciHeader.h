#pragma once
// HSCI block headers as the firmware publishes them in device memory
// (big-endian): version 1 headers are 12 bytes, version 2 headers 16 bytes.
#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace qel {

class I_HSCI_Header {
public:
    virtual ~I_HSCI_Header() = default;
    virtual std::uint8_t version() const = 0;
    virtual std::uint16_t dataLength() const = 0;
    // The next header lies at this header's address + step + 2.
    virtual std::uint16_t step() const = 0;
    virtual std::uint8_t byte6() const = 0;
    virtual std::uint8_t byte5() const = 0;
    // 0 meter data, 3 a block of the second or third list.
    virtual std::uint8_t kind() const = 0;
    virtual std::uint8_t byte8() const = 0;
    virtual std::uint8_t byte11() const = 0;
    virtual std::uint8_t byte10() const = 0;
    virtual std::uint8_t byte9() const = 0;
    // Version 2: non-zero selects the third list for a kind-3 block; version 1: 255.
    virtual std::uint8_t listSelector() const = 0;
    virtual bool isValid() const = 0;
    virtual std::unique_ptr<I_HSCI_Header> clone() const = 0;
};

class HSCI_Header_V1 : public I_HSCI_Header {
public:
    static constexpr std::size_t kSize = 12;
    // Decodes the first kSize bytes (missing bytes read as 0).
    explicit HSCI_Header_V1(std::span<const std::uint8_t> bytes);

    std::uint8_t version() const override { return b_[7]; }
    std::uint16_t dataLength() const override { return static_cast<std::uint16_t>(b_[2] << 8 | b_[3]); }
    std::uint16_t step() const override { return static_cast<std::uint16_t>(b_[0] << 8 | b_[1]); }
    std::uint8_t byte6() const override { return b_[6]; }
    std::uint8_t byte5() const override { return b_[5]; }
    std::uint8_t kind() const override { return b_[4]; }
    std::uint8_t byte8() const override { return b_[8]; }
    std::uint8_t byte11() const override { return b_[11]; }
    std::uint8_t byte10() const override { return b_[10]; }
    std::uint8_t byte9() const override { return b_[9]; }
    std::uint8_t listSelector() const override { return 255; }
    bool isValid() const override { return step() != 0 && dataLength() != 0 && version() == 1; }
    std::unique_ptr<I_HSCI_Header> clone() const override { return std::make_unique<HSCI_Header_V1>(*this); }

protected:
    std::array<std::uint8_t, 16> b_{};
};

class HSCI_Header_V2 : public HSCI_Header_V1 {
public:
    static constexpr std::size_t kSize = 16;
    explicit HSCI_Header_V2(std::span<const std::uint8_t> bytes);

    std::uint8_t listSelector() const override { return b_[12]; }
    bool isValid() const override { return step() != 0 && dataLength() != 0 && version() == 2; }
    std::unique_ptr<I_HSCI_Header> clone() const override { return std::make_unique<HSCI_Header_V2>(*this); }
};

// One block of the chain: a copy of its header and the address of its data.
struct HSCI_Data_Info {
    std::unique_ptr<I_HSCI_Header> header;
    std::uint64_t address = 0;
};

// Header size of a chain version: 12, 16, or 0 for an unknown version.
std::size_t hsciHeaderSize(std::uint8_t version);
// The header of that version, or null for an unknown version.
std::unique_ptr<I_HSCI_Header> decodeHsciHeader(std::uint8_t version, std::span<const std::uint8_t> bytes);

}  // namespace qel
