#include "device/Qel1394Driver.h"

#include "device/Requests.h"

namespace qel {

CQel1394Driver::~CQel1394Driver() {
    std::lock_guard lock(lock_);
    closeHandle();
}

bool CQel1394Driver::isOpen() const {
    std::lock_guard lock(lock_);
    return control_ != nullptr;
}

bool CQel1394Driver::acceptVersion(const QEL_DRIVER_VERSION& v) const {
    return v.major() == 2 && os::getLe16(v.bytes, 0) >= 0x0E00;
}

Status CQel1394Driver::openDriver(const os::Guid& interfaceGuid) {
    std::lock_guard lock(lock_);
    const Status status = control_ != nullptr ? QEL_OK : openHandle(interfaceGuid);
    if (status == QEL_OK) ++opens_;
    return status;
}

Status CQel1394Driver::reopenDriver(const os::Guid& interfaceGuid) {
    std::lock_guard lock(lock_);
    closeHandle();
    const Status status = openHandle(interfaceGuid);
    // A caller without an outstanding open now holds one.
    if (status == QEL_OK && opens_ == 0) opens_ = 1;
    return status;
}

Status CQel1394Driver::openHandle(const os::Guid& interfaceGuid) {
    const std::string path = "\\\\.\\" + interfaceGuid.registryText();
    std::uint32_t error = 0;
    control_ = os_.openPath(path, /*overlapped=*/false, error);
    if (control_ == nullptr) return error != 0 ? error : os::kErrorFileNotFound;

    QEL_DRIVER_VERSION answer;
    std::uint32_t got = 0;
    Status status = os_.ioctl(control_, requestCode(QEL_REQ_GET_DRIVER_VERSION), nullptr, 0, answer.data(), answer.size(), &got);
    if (status == QEL_OK && got != answer.size()) status = QEL_E_BAD_LENGTH;
    if (status == QEL_OK) {
        version_ = answer;
        if (!acceptVersion(answer)) status = QEL_E_VERSION_MISMATCH;
    }
    if (status != QEL_OK) {
        os_.closeHandle(control_);
        control_ = nullptr;
    }
    return status;
}

void CQel1394Driver::closeDriver() {
    std::lock_guard lock(lock_);
    if (opens_ > 0) --opens_;
    if (opens_ == 0) closeHandle();
}

void CQel1394Driver::closeHandle() {
    if (control_ != nullptr) {
        os_.closeHandle(control_);
        control_ = nullptr;
    }
}

Status CQel1394Driver::request(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                               std::uint32_t outLen, std::uint32_t* bytesReturned) {
    std::lock_guard lock(lock_);
    if (bytesReturned != nullptr) *bytesReturned = 0;
    if (control_ == nullptr) return QEL_E_NOT_OPEN;
    return os_.ioctl(control_, code, in, inLen, out, outLen, bytesReturned);
}

Status CQel1394Driver::requestRecord(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                     std::uint32_t outLen) {
    std::uint32_t got = 0;
    const Status status = request(code, in, inLen, out, outLen, &got);
    if (status != QEL_OK) return status;
    return got == outLen ? QEL_OK : QEL_E_BAD_LENGTH;
}

}  // namespace qel
