#include "device/HsciHeader.h"

#include <algorithm>

namespace qel {

HSCI_Header_V1::HSCI_Header_V1(std::span<const std::uint8_t> bytes) {
    std::copy_n(bytes.begin(), std::min(bytes.size(), kSize), b_.begin());
}

HSCI_Header_V2::HSCI_Header_V2(std::span<const std::uint8_t> bytes) : HSCI_Header_V1({}) {
    std::copy_n(bytes.begin(), std::min(bytes.size(), kSize), b_.begin());
}

std::size_t hsciHeaderSize(std::uint8_t version) {
    return version == 1 ? HSCI_Header_V1::kSize : version == 2 ? HSCI_Header_V2::kSize : 0;
}

std::unique_ptr<I_HSCI_Header> decodeHsciHeader(std::uint8_t version, std::span<const std::uint8_t> bytes) {
    if (version == 1) return std::make_unique<HSCI_Header_V1>(bytes);
    if (version == 2) return std::make_unique<HSCI_Header_V2>(bytes);
    return nullptr;
}

}  // namespace qel
