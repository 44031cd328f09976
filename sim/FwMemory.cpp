#include "sim/FwMemory.h"

#include <algorithm>
#include <cmath>

#include "sim/Requests.h"

namespace qel::sim {

namespace {
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kGenFailure = 31;
constexpr std::uint32_t kAddressHigh = 0x0000FFC7;
constexpr double kFullScale = 2147483647.0;
constexpr double kPi = 3.14159265358979323846;
}  // namespace

FwMemory::FwMemory(std::uint32_t meters) {
    blocks_.push_back(Block{1, 16, 0});
    for (std::uint32_t i = 0; i < meters; ++i) blocks_.push_back(Block{0, 4, 0});
    blocks_.push_back(Block{3, 8, 0});
    blocks_.push_back(Block{3, 8, 1});
    blocks_.push_back(Block{2, 8, 0});
}

std::uint32_t FwMemory::meterCount() const {
    std::uint32_t n = 0;
    for (const Block& b : blocks_) n += b.kind == 0 ? 1 : 0;
    return n;
}

bool FwMemory::setSignal(std::uint32_t meter, Signal signal, double level) {
    if (meter >= meterCount() || !(level >= 0 && level <= 200)) return false;
    if (signals_.size() <= meter) signals_.resize(meter + 1);
    signals_[meter] = MeterSignal{signal, level, std::nullopt};
    return true;
}

bool FwMemory::setRawMeter(std::uint32_t meter, std::uint32_t value) {
    if (meter >= meterCount()) return false;
    if (signals_.size() <= meter) signals_.resize(meter + 1);
    signals_[meter] = MeterSignal{Signal::Constant, 0, value};
    return true;
}

std::uint32_t FwMemory::meterWord(std::uint32_t meter) {
    if (meter >= signals_.size()) return 0;
    const MeterSignal& s = signals_[meter];
    if (s.raw) return *s.raw;
    double f = 0;  // fraction of the full scale
    switch (s.signal) {
    case Signal::Silence: f = 0; break;
    case Signal::Constant: f = 1; break;
    case Signal::Sine: f = std::fabs(std::sin(2 * kPi * (reads_ + meter * 5) / 40.0)); break;
    case Signal::Noise:
        noise_ ^= noise_ << 13;
        noise_ ^= noise_ >> 7;
        noise_ ^= noise_ << 17;
        f = static_cast<double>(noise_ >> 11) / 9007199254740992.0;
        break;
    case Signal::Peaks: f = (reads_ + meter) % 20 == 0 ? 1 : 0.05; break;
    }
    const double v = std::round(f * s.level / 100.0 * kFullScale);
    return static_cast<std::uint32_t>(std::clamp(v, 0.0, 4294967295.0));
}

void FwMemory::renderHeader(std::size_t index, os::ByteSpan out) const {
    std::fill(out.begin(), out.end(), 0);
    Block b;
    if (index < blocks_.size()) b = blocks_[index];
    else if (fault_ == Fault::Endless) b = Block{1, 4, 0};
    else return;  // past the chain: zeros end it
    const auto step = static_cast<std::uint16_t>(fault_ == Fault::ZeroStep && index == faultIndex_ ? 0 : headerSize() - 2);
    os::putBe16(out, 0, step);
    os::putBe16(out, 2, b.length);
    out[4] = b.kind;
    out[7] = version_;
    if (headerSize() == 16) out[12] = b.selector;
}

std::uint8_t FwMemory::headerByte(std::uint64_t address) const {
    const std::uint64_t offset = address - kHeaderBase;
    const std::size_t index = static_cast<std::size_t>(offset / headerSize());
    std::uint8_t header[16];
    renderHeader(index, os::ByteSpan(header, headerSize()));
    return header[offset % headerSize()];
}

std::optional<Reply> FwMemory::request(std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) {
    if (code != req::kAsyncReadBlock) return std::nullopt;
    if (in.size() != 16 || out.empty() || out.size() > kMaxRead || os::getLe32(in, 8) != 0 ||
        os::getLe32(in, 12) != 0 || os::getLe32(in, 4) != kAddressHigh)
        return Reply{kInvalidParameter, 0};
    const std::uint64_t address = std::uint64_t{kAddressHigh} << 32 | os::getLe32(in, 0);
    const std::uint64_t end = address + out.size();
    std::fill(out.begin(), out.end(), 0);

    // The header area (the first header's second word is the version word).
    if (address < kDataBase && end > kHeaderBase) {
        ++headerReads_;
        const bool versionWord = address == kHeaderBase + 4 && out.size() == 4;
        if (!versionWord && (fault_ == Fault::ReadFails || fault_ == Fault::ReadShort)) {
            const std::uint64_t at = kHeaderBase + std::uint64_t{faultIndex_} * headerSize();
            if (address < at + headerSize() && end > at) {
                if (fault_ == Fault::ReadFails) return Reply{kGenFailure, 0};
                for (std::uint64_t a = std::max(address, kHeaderBase); a < end - 4 && a < kDataBase; ++a)
                    out[a - address] = headerByte(a);
                return Reply{0, static_cast<std::uint32_t>(out.size() > 4 ? out.size() - 4 : 0)};
            }
        }
        for (std::uint64_t a = std::max(address, kHeaderBase); a < end && a < kDataBase; ++a)
            out[a - address] = headerByte(a);
    }
    // The data blocks; meter words are rendered once per read.
    if (end > kDataBase) {
        ++reads_;
        std::uint64_t at = kDataBase;
        std::uint32_t meter = 0;
        for (const Block& b : blocks_) {
            const std::uint64_t blockEnd = at + b.length;
            if (at < end && blockEnd > address) {
                std::uint8_t word[4] = {};
                if (b.kind == 0) os::putBe32(word, 0, meterWord(meter));
                for (std::uint64_t a = std::max(at, address); a < std::min(blockEnd, end); ++a)
                    out[a - address] = b.kind == 0 ? (a - at < 4 ? word[a - at] : 0) : static_cast<std::uint8_t>(a - at);
            }
            if (b.kind == 0) ++meter;
            at = blockEnd;
        }
    }
    return Reply{0, static_cast<std::uint32_t>(out.size())};
}

}  // namespace qel::sim
