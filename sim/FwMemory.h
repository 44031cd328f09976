#pragma once
// The HSCI area of a simulated FireWire interface's memory: the version word,
// a chain of block headers (version 1: 12 bytes, version 2: 16 bytes) below
// the data blocks, and the meter blocks (kind 0, one big-endian 32-bit level
// each) whose values follow a signal per meter. Everything is rendered
// big-endian on each read; faults are injectable.
#include <cstdint>
#include <optional>
#include <vector>

#include "os/Bytes.h"
#include "sim/Rig.h"

namespace qel::sim {

class FwMemory {
public:
    static constexpr std::uint64_t kHeaderBase = 0xFFC700100000ull;
    static constexpr std::uint64_t kDataBase = 0xFFC700600000ull;
    static constexpr std::uint32_t kMaxRead = 0x100000;

    struct Block {
        std::uint8_t kind = 0;       // 0 meter, 3 second or third list
        std::uint16_t length = 4;    // data bytes
        std::uint8_t selector = 0;   // version 2, kind 3: non-zero selects the third list
    };
    enum class Signal { Silence, Constant, Sine, Noise, Peaks };
    enum class Fault {
        None,
        ZeroStep,   // header `faultIndex` has step 0
        ReadFails,  // a read covering header `faultIndex` fails
        ReadShort,  // such a read returns fewer bytes
        Endless,    // the chain never ends: after the blocks, headers continue
    };

    // Version 2: a configuration block, `meters` meter blocks, two kind-3
    // blocks and a trailing block of kind 2.
    explicit FwMemory(std::uint32_t meters = 8);

    // QEL_REQ_ASYNC_READ_BLOCK; nullopt for any other request.
    std::optional<Reply> request(std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out);

    // ---- Layout
    void setBlocks(std::vector<Block> blocks) { blocks_ = std::move(blocks); }
    const std::vector<Block>& blocks() const { return blocks_; }
    // The version byte of the version word and of every header; 1 uses
    // 12-byte headers, any other 16-byte headers.
    void setVersion(std::uint8_t version) { version_ = version; }
    std::uint8_t version() const { return version_; }
    void setFault(Fault fault, std::uint32_t index = 0) {
        fault_ = fault;
        faultIndex_ = index;
    }
    Fault fault() const { return fault_; }
    std::uint32_t meterCount() const;

    // ---- Signals; `level` in percent of the positive full scale (0..200)
    bool setSignal(std::uint32_t meter, Signal signal, double level = 100.0);
    // A raw meter word (Constant with exactly this value).
    bool setRawMeter(std::uint32_t meter, std::uint32_t value);
    // The meter words as the next read renders them advance per read.
    std::uint32_t reads() const { return reads_; }
    std::uint32_t headerReads() const { return headerReads_; }

private:
    struct MeterSignal {
        Signal signal = Signal::Silence;
        double level = 0;
        std::optional<std::uint32_t> raw;
    };
    std::size_t headerSize() const { return version_ == 1 ? 12 : 16; }
    void renderHeader(std::size_t index, os::ByteSpan out) const;
    std::uint8_t headerByte(std::uint64_t address) const;
    std::uint32_t meterWord(std::uint32_t meter);

    std::vector<Block> blocks_;
    std::vector<MeterSignal> signals_;
    std::uint8_t version_ = 2;
    Fault fault_ = Fault::None;
    std::uint32_t faultIndex_ = 0;
    std::uint32_t reads_ = 0;
    std::uint32_t headerReads_ = 0;
    std::uint64_t noise_ = 0x9E3779B97F4A7C15ull;
};

}  // namespace qel::sim
