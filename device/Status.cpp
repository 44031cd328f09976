#include "device/Status.h"

#include <cstdio>
#include <iterator>

namespace qel {

namespace {
struct Named {
    Status code;
    const char* name;
};
constexpr Named kNames[] = {
    {QEL_E_FAILED, "QEL_E_FAILED"},
    {QEL_E_NO_MEMORY, "QEL_E_NO_MEMORY"},
    {QEL_E_TIMEOUT, "QEL_E_TIMEOUT"},
    {QEL_E_NO_MORE_INTERFACES, "QEL_E_NO_MORE_INTERFACES"},
    {QEL_E_NO_PNP_EVENTS, "QEL_E_NO_PNP_EVENTS"},
    {QEL_E_NOT_OPEN, "QEL_E_NOT_OPEN"},
    {QEL_E_VERSION_MISMATCH, "QEL_E_VERSION_MISMATCH"},
    {QEL_E_ALREADY_OPEN, "QEL_E_ALREADY_OPEN"},
    {QEL_E_BAD_CALL, "QEL_E_BAD_CALL"},
    {QEL_E_BAD_LENGTH, "QEL_E_BAD_LENGTH"},
    {QEL_E_DEVICE_NOT_FOUND, "QEL_E_DEVICE_NOT_FOUND"},
    {QEL_E_NO_DEVICES, "QEL_E_NO_DEVICES"},
    {QEL_E_NO_EVENT, "QEL_E_NO_EVENT"},
    {QEL_E_OPEN_FAILED, "QEL_E_OPEN_FAILED"},
    {QEL_E_DEVICE_NOT_OPEN, "QEL_E_DEVICE_NOT_OPEN"},
    {QEL_E_WAIT_TIMEOUT, "QEL_E_WAIT_TIMEOUT"},
    {QEL_E_INVALID_ARG, "QEL_E_INVALID_ARG"},
    {QEL_E_NO_MORE_DEVICES, "QEL_E_NO_MORE_DEVICES"},
    {QEL_E_OUT_OF_MEMORY, "QEL_E_OUT_OF_MEMORY"},
    // Platform errors that the drivers commonly answer with.
    {1, "ERROR_INVALID_FUNCTION"},
    {2, "ERROR_FILE_NOT_FOUND"},
    {6, "ERROR_INVALID_HANDLE"},
    {31, "ERROR_GEN_FAILURE"},
    {50, "ERROR_NOT_SUPPORTED"},
    {87, "ERROR_INVALID_PARAMETER"},
    {259, "ERROR_NO_MORE_ITEMS"},
    {995, "ERROR_OPERATION_ABORTED"},
    {1167, "ERROR_DEVICE_NOT_CONNECTED"},
};
}  // namespace

std::string statusName(Status status) {
    if (status == 0) return "QEL_OK";
    for (const Named& n : kNames)
        if (n.code == status) return n.name;
    return {};
}

std::string statusText(Status status) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(status));
    const std::string name = statusName(status);
    return name.empty() ? std::string(buf) : std::string(buf) + " " + name;
}

}  // namespace qel
