#include "device/HsciCommunicationManager.h"

#include <cstdio>

#include "device/QelDevice.h"
#include "os/Bytes.h"

namespace qel {

HSCICommunicationManager::HSCICommunicationManager(CQelDevice& device) : device_(&device) {}

Status HSCICommunicationManager::readBlock(std::uint64_t address, std::span<std::uint8_t> out) {
    if (device_ == nullptr) return QEL_E_DEVICE_NOT_OPEN;
    std::uint8_t in[16] = {};
    os::putLe32(in, 0, static_cast<std::uint32_t>(address));
    os::putLe32(in, 4, static_cast<std::uint32_t>(address >> 32));
    std::uint32_t got = 0;
    const Status status = device_->asyncReadBlock(in, out.data(), static_cast<std::uint32_t>(out.size()), got);
    if (status != QEL_OK) return status;
    return got == out.size() ? QEL_OK : QEL_E_BAD_LENGTH;
}

void HSCICommunicationManager::showError(const std::string& text) {
    if (device_ != nullptr) device_->context().postMessageBox(text, MessageBoxIcon::None);
}

std::string HSCICommunicationManager::readFailureText(std::size_t bytes, std::uint64_t address) {
    char text[96];
    std::snprintf(text, sizeof text, "ERROR: asyncReadBlock of %d bytes failed\r\n       addr=0x%012llX",
                  static_cast<int>(bytes), static_cast<unsigned long long>(address & 0xFFFFFFFFFFFFull));
    return text;
}

std::uint8_t HSCICommunicationManager::readVersion() {
    std::uint8_t word[4] = {};
    if (readBlock(kVersionWord, word) != QEL_OK) return 0;
    return static_cast<std::uint8_t>(os::getBe32(word, 0));
}

bool HSCICommunicationManager::init() {
    // A repeated walk starts afresh: appending to the old lists would count
    // every meter twice.
    first_.clear();
    second_.clear();
    third_.clear();
    buffer_.clear();
    meterCount_ = 0;
    meterAddress_ = 0;
    if (!walk()) return false;
    return locateMeters();
}

bool HSCICommunicationManager::walk() {
    version_ = readVersion();
    const std::size_t size = hsciHeaderSize(version_);
    if (size == 0) return false;
    std::uint64_t header = kHeaderBase;
    std::uint64_t data = kDataBase;
    std::uint8_t bytes[16] = {};
    // Bounded by the header count and the header area: a chain that never
    // ends is taken as ending there.
    for (std::size_t n = 0; n < kMaxHeaders && header + size <= kHeaderAreaEnd; ++n) {
        if (readBlock(header, std::span<std::uint8_t>(bytes, size)) != QEL_OK) {
            showError(readFailureText(size, header));
            return false;
        }
        auto h = decodeHsciHeader(version_, std::span<const std::uint8_t>(bytes, size));
        if (h->step() == 0 || h->dataLength() == 0 || h->version() != version_) return true;
        const std::uint64_t step = h->step() + 2u, length = h->dataLength();
        HSCI_Data_Info info{std::move(h), data};
        if (version_ == 2 && info.header->kind() == 3)
            (info.header->listSelector() != 0 ? third_ : second_).push_back(std::move(info));
        else
            first_.push_back(std::move(info));
        header += step;
        data += length;
    }
    return true;
}

bool HSCICommunicationManager::locateMeters() {
    std::uint32_t count = 0;
    std::uint64_t total = 0, lowest = 0;
    for (const HSCI_Data_Info& info : first_) {
        if (info.header->kind() != 0) {
            if (count != 0) break;
            continue;
        }
        if (count == 0 || info.address < lowest) lowest = info.address;
        ++count;
        total += info.header->dataLength();
    }
    if (count == 0) return true;
    // A block beyond the data area is refused.
    if (lowest < kDataBase || lowest > kDataAreaEnd || total > kDataAreaEnd - lowest) return false;
    meterAddress_ = lowest;
    // A meter is four bytes; blocks shorter than that hold fewer meters.
    meterCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, total / 4));
    if (buffer_.size() != total) buffer_.assign(static_cast<std::size_t>(total), 0);
    return true;
}

void HSCICommunicationManager::decodeMeters(std::span<const std::uint8_t> block, std::uint32_t count,
                                            std::span<double> meters) {
    for (std::size_t i = 0; i < count && i < meters.size() && 4 * i + 4 <= block.size(); ++i)
        meters[i] = os::getBe32(block, 4 * i) / 2147483647.0 * 100.0;
}

bool HSCICommunicationManager::readMeters(std::vector<double>& meters) {
    if (buffer_.empty()) return false;
    std::fill(buffer_.begin(), buffer_.end(), 0);
    if (readBlock(meterAddress_, buffer_) != QEL_OK) return false;
    if (meters.size() < meterCount_) meters.resize(meterCount_);
    decodeMeters(buffer_, meterCount_, meters);
    return true;
}

}  // namespace qel
