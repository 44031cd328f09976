#include "device/Requests.h"

#include <gtest/gtest.h>

#include "device/Status.h"
#include "sim/Requests.h"

using namespace qel;

TEST(Requests, CodesMatchTheDriverTables) {
    struct Row {
        std::uint32_t code, fw, usb;
    };
    const Row rows[] = {
        {QEL_REQ_GET_DRIVER_VERSION, 0x80882804, 0x80892804},
        {QEL_REQ_REGISTER_EVENT, 0x80882820, 0},
        {QEL_REQ_GET_EVENT, 0x80882828, 0},
        {QEL_REQ_GET_DEVICE_LIST, 0x80882860, 0x80892860},
        {QEL_REQ_GET_SYNC_SETTINGS, 0x80882880, 0},
        {QEL_REQ_SET_SYNC_SETTINGS, 0x80882884, 0x80892884},
        {QEL_REQ_GET_SYNC_PARAMETER, 0x80882888, 0},
        {QEL_REQ_SET_SYNC_PARAMETER, 0x8088288C, 0x8089288C},
        {QEL_REQ_GET_SAMPLE_RATE_INFO, 0x808828C0, 0x808928C0},
        {QEL_REQ_SET_SAMPLE_RATE, 0x808828C4, 0x808928C4},
        {QEL_REQ_GET_SYNC_MODE_INFO, 0x80882900, 0x80892900},
        {QEL_REQ_SET_SYNC_MODE, 0x80882904, 0x80892904},
        {QEL_REQ_GET_DEVICE_PROPERTIES, 0x80882920, 0x80892920},
        {QEL_REQ_END_SYNC_CHANGE, 0x80882A00, 0x80892A00},
        {QEL_REQ_BEGIN_SYNC_CHANGE, 0x80882A04, 0},
        {QEL_REQ_GET_OWN_DEVICE_PROPERTIES, 0x80882B00, 0},
        {QEL_REQ_GET_DEVICE_CAPABILITIES, 0x80882C08, 0},
        {QEL_REQ_ASYNC_READ_BLOCK, 0x80882C56, 0},
        {QEL_REQ_AVC_TRANSACTION, 0x80883004, 0},
        {QEL_REQ_GET_NOTIFY_RESPONSE, 0x80883008, 0},
        {QEL_REQ_REGISTER_NOTIFY_EVENT, 0x8088300C, 0},
        {QEL_REQ_CANCEL_NOTIFY, 0x80883010, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.code, r.fw) << sim::requestName(r.fw);
        if (r.usb != 0) {
            EXPECT_EQ(qelUsbCode(r.code), r.usb) << sim::requestName(r.fw);
        }
        // The rig's independent table knows every code by name.
        EXPECT_EQ(sim::requestCode(sim::requestName(r.fw)), r.fw);
    }
    EXPECT_EQ(sim::requestName(0x12345678), "0x12345678");
}

TEST(Status, NamesAndTexts) {
    EXPECT_EQ(statusText(QEL_E_NOT_OPEN), "0xE0000013 QEL_E_NOT_OPEN");
    EXPECT_EQ(statusText(87), "0x00000057 ERROR_INVALID_PARAMETER");
    EXPECT_EQ(statusText(0xE0001234), "0xE0001234");
}
