// HSCI header chain and meter decoding over arbitrary device memory: the input
// is the header area and, again, the data area.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "device/HsciCommunicationManager.h"

namespace {

class FuzzManager : public qel::HSCICommunicationManager {
public:
    explicit FuzzManager(std::span<const std::uint8_t> memory) : memory_(memory) {}

protected:
    qel::Status readBlock(std::uint64_t address, std::span<std::uint8_t> out) override {
        const std::uint64_t base = address >= kDataBase ? kDataBase : kHeaderBase;
        if (address < base) return qel::QEL_E_FAILED;
        const std::uint64_t offset = address - base;
        std::size_t n = 0;
        for (; n < out.size() && offset + n < memory_.size(); ++n) out[n] = memory_[offset + n];
        for (std::size_t i = n; i < out.size(); ++i) out[i] = 0;
        // Past the end of the input reads as zeros; the very last byte
        // decides whether a read that ran over fails short instead.
        if (n < out.size() && !memory_.empty() && (memory_.back() & 1)) return qel::QEL_E_BAD_LENGTH;
        return qel::QEL_OK;
    }
    void showError(const std::string&) override {}

private:
    std::span<const std::uint8_t> memory_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> memory(data, size);
    FuzzManager manager(memory);
    std::vector<double> meters;
    if (manager.init()) manager.readMeters(meters);
    std::vector<double> direct(size / 4 + 1);
    qel::HSCICommunicationManager::decodeMeters(memory, static_cast<std::uint32_t>(size), direct);
    return 0;
}
