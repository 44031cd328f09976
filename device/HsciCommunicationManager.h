#pragma once
// The HSCI channel of a FireWire device: walks the chain of block headers that
// the firmware publishes in device memory once, locates the meter block, and
// reads it on request as percentages of the positive 32-bit full scale.
// Used on one thread (the user-interface thread's meter timer).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/HsciHeader.h"
#include "device/Status.h"

namespace qel {

class CQelDevice;

class HSCICommunicationManager {
public:
    static constexpr std::uint64_t kHeaderBase = 0xFFC700100000ull;
    static constexpr std::uint64_t kVersionWord = 0xFFC700100004ull;
    static constexpr std::uint64_t kDataBase = 0xFFC700600000ull;
    // The headers lie below the data; the data area is 1 MiB.
    static constexpr std::uint64_t kHeaderAreaEnd = kDataBase;
    static constexpr std::uint64_t kDataAreaEnd = kDataBase + 0x100000ull;
    // A chain longer than this is taken as ending here.
    static constexpr std::size_t kMaxHeaders = 4096;

    explicit HSCICommunicationManager(CQelDevice& device);
    virtual ~HSCICommunicationManager() = default;
    HSCICommunicationManager(const HSCICommunicationManager&) = delete;
    HSCICommunicationManager& operator=(const HSCICommunicationManager&) = delete;

    // Walks the chain from the start (earlier results are dropped) and
    // locates the meter block. False for an unknown version, a failed header
    // read (after the message box) or a meter block outside the data area.
    bool init();
    // Reads the meter block; grows `meters` to the meter count if shorter.
    bool readMeters(std::vector<double>& meters);

    std::uint8_t chainVersion() const { return version_; }
    const std::vector<HSCI_Data_Info>& firstList() const { return first_; }
    const std::vector<HSCI_Data_Info>& secondList() const { return second_; }
    const std::vector<HSCI_Data_Info>& thirdList() const { return third_; }
    std::uint32_t meterCount() const { return meterCount_; }
    std::uint64_t meterAddress() const { return meterAddress_; }
    std::size_t meterBufferSize() const { return buffer_.size(); }

    // Meter i is the big-endian word at 4 * i, as a percentage of 0x7FFFFFFF.
    // Only meters whose four bytes lie inside `block` are written.
    static void decodeMeters(std::span<const std::uint8_t> block, std::uint32_t count, std::span<double> meters);
    // "ERROR: asyncReadBlock of N bytes failed..." for a header read.
    static std::string readFailureText(std::size_t bytes, std::uint64_t address);

protected:
    // For readers of other memory (tests, fuzzing).
    HSCICommunicationManager() = default;
    // One block read: 0 only when every byte came back.
    virtual Status readBlock(std::uint64_t address, std::span<std::uint8_t> out);
    virtual void showError(const std::string& text);

private:
    std::uint8_t readVersion();
    bool walk();
    bool locateMeters();

    CQelDevice* device_ = nullptr;
    std::vector<HSCI_Data_Info> first_, second_, third_;
    std::vector<std::uint8_t> buffer_;
    std::uint32_t meterCount_ = 0;
    std::uint64_t meterAddress_ = 0;
    std::uint8_t version_ = 0;
};

}  // namespace qel
