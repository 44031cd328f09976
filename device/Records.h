#pragma once
// The driver's little-endian records. Each record keeps its wire bytes, so the
// bytes this side does not interpret travel back unchanged; fields are read and
// written at their named offsets, never by copying structs. A record is only
// made from exactly its size of bytes (`decode`), and every accessor stays
// inside the record whatever the bytes say.
//
// The driver headers call these _QEL_...; the leading underscore is dropped
// because such names are reserved in C++.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "os/Bytes.h"

namespace qel {

template <std::size_t N>
struct QelRecord {
    static constexpr std::size_t kSize = N;
    std::array<std::uint8_t, N> bytes{};

    std::uint32_t word(std::size_t off) const { return os::getLe32(bytes, off); }
    void setWord(std::size_t off, std::uint32_t v) { os::putLe32(bytes, off, v); }
    std::string text(std::size_t off, std::size_t width) const { return os::getText(bytes, off, width); }
    void setText(std::size_t off, std::size_t width, std::string_view t) { os::putText(bytes, off, width, t); }
    std::uint8_t* data() { return bytes.data(); }
    const std::uint8_t* data() const { return bytes.data(); }
    static constexpr std::uint32_t size() { return static_cast<std::uint32_t>(N); }
};

template <class R>
std::optional<R> decodeRecord(os::ConstByteSpan b) {
    if (b.size() != R::kSize) return std::nullopt;
    R r;
    std::copy(b.begin(), b.end(), r.bytes.begin());
    if (!r.valid()) return std::nullopt;
    return r;
}

// Answer to QEL_REQ_GET_DRIVER_VERSION.
struct QEL_DRIVER_VERSION : QelRecord<12> {
    std::uint8_t major() const { return bytes[0]; }
    std::uint8_t minor() const { return bytes[1]; }
    bool valid() const { return true; }
};

// Answer to QEL_REQ_GET_DEVICE_LIST: a count and up to 64 identifiers.
struct QEL_DEVICE_LIST : QelRecord<260> {
    static constexpr std::uint32_t kMaxDevices = 64;
    std::uint32_t count() const { return word(0); }
    bool valid() const { return count() <= kMaxDevices; }
    // The first count identifiers (never more than the record holds).
    std::vector<std::uint32_t> ids() const;
};

struct QEL_DEVICE_PROPERTIES : QelRecord<432> {
    static constexpr std::size_t kNameOffset = 8, kNameWidth = 40;
    static constexpr std::size_t kSerialOffset = 48, kSerialWidth = 40;
    static constexpr std::size_t kVendorModelOffset = 88, kVendorModelWidth = 256;
    static constexpr std::size_t kExtraOffset = 344, kExtraWidth = 88;

    std::uint32_t deviceId() const { return word(0); }
    std::uint32_t rank() const { return word(4); }
    std::string deviceName() const { return text(kNameOffset, kNameWidth); }
    std::string serial() const { return text(kSerialOffset, kSerialWidth); }
    std::string vendorModel() const { return text(kVendorModelOffset, kVendorModelWidth); }
    std::string extra() const { return text(kExtraOffset, kExtraWidth); }
    // The text at 88 split at its first "&": without one the vendor is empty.
    std::string vendor() const;
    std::string model() const;
    bool valid() const { return true; }
};

struct QEL_SYNC_MODE_ENTRY {
    static constexpr std::size_t kSize = 48;
    std::uint32_t mode = 0;
    std::uint32_t code = 0;
    std::string name;
};

struct QEL_DEVICE_SYNCH_MODE_INFO : QelRecord<824> {
    static constexpr std::uint32_t kMaxEntries = 16;
    static constexpr std::size_t kCurrentOffset = 4, kCountOffset = 52, kEntriesOffset = 56;

    std::uint32_t deviceId() const { return word(0); }
    std::uint32_t count() const { return word(kCountOffset); }
    bool valid() const { return count() <= kMaxEntries; }
    QEL_SYNC_MODE_ENTRY current() const { return entryAt(kCurrentOffset); }
    // Entry i of the first count (at most 16); an index past them gives an empty entry.
    QEL_SYNC_MODE_ENTRY entry(std::uint32_t i) const;
    std::vector<QEL_SYNC_MODE_ENTRY> entries() const;
    void setCurrent(std::uint32_t mode, std::uint32_t code) {
        setWord(kCurrentOffset, mode);
        setWord(kCurrentOffset + 4, code);
    }

private:
    QEL_SYNC_MODE_ENTRY entryAt(std::size_t off) const;
};

// Word 0 travels back as read; word 1: 0 the computer is clock master, 1 a
// device is; word 2: the master device's identifier.
struct QEL_SYNC_SETTINGS : QelRecord<12> {
    std::uint32_t masterKind() const { return word(4); }
    std::uint32_t masterDevice() const { return word(8); }
    bool valid() const { return true; }
};

struct QEL_SAMPLE_RATE_INFO : QelRecord<44> {
    static constexpr std::uint32_t kMaxRates = 8;
    std::uint32_t word0() const { return word(0); }
    std::uint32_t currentRate() const { return word(4); }
    void setCurrentRate(std::uint32_t hz) { setWord(4, hz); }
    std::uint32_t count() const { return word(8); }
    bool valid() const { return count() <= kMaxRates; }
    std::vector<std::uint32_t> rates() const;
};

}  // namespace qel
