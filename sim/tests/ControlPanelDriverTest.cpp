// The driver's control-panel requests, sent raw to the rig: exact sizes, the
// fields the driver keeps for itself, and the bounds of its lists. (The
// answers' layouts are checked through the control panel's driver object.)
#include <gtest/gtest.h>

#include <vector>

#include "os/Bytes.h"
#include "os/Os.h"
#include "sim/Requests.h"
#include "sim/Rig.h"

using namespace qel;
using namespace qel::sim;

namespace {
using Bytes = std::vector<std::uint8_t>;

class ControlPanelDriver : public ::testing::Test {
protected:
    void SetUp() override {
        std::uint32_t error = 0;
        file = rig->openPath("\\\\.\\" + fireWireGuid().registryText(), error);
        ASSERT_NE(file, 0u);
    }
    // Sends one request; `out` is sized to outLen.
    std::uint32_t send(std::uint32_t code, const Bytes& in, std::size_t outLen, Bytes& out) {
        out.assign(outLen, 0xCC);
        std::uint32_t got = 0;
        return rig->ioctl(file, code, in, out, &got);
    }
    std::uint32_t send(std::uint32_t code, const Bytes& in) {
        Bytes none;
        return send(code, in, 0, none);
    }
    static Bytes word(std::uint32_t v) {
        Bytes b(4);
        os::putLe32(b, 0, v);
        return b;
    }
    Bytes properties(std::uint32_t id) {
        Bytes out;
        EXPECT_EQ(send(req::kGetDeviceProperties, word(id), 432, out), 0u);
        return out;
    }
    std::vector<std::uint32_t> channelList(std::size_t off) {
        Bytes out;
        EXPECT_EQ(send(req::kGetChannelLists, {}, 2056, out), 0u);
        std::vector<std::uint32_t> ids;
        const std::uint32_t n = os::getLe32(out, off);
        for (std::uint32_t i = 0; i < n && i < 256; ++i) ids.push_back(os::getLe32(out, off + 4 + 4 * i));
        return ids;
    }

    std::unique_ptr<Rig> rig = Rig::makeDefault();
    std::uint32_t file = 0;
};
}  // namespace

TEST_F(ControlPanelDriver, EveryRequestWantsItsExactSizes) {
    struct Case {
        std::uint32_t code;
        std::size_t in, out;
    };
    const Case cases[] = {
        {req::kGetAsioNameOption, 0, 4},   {req::kSetAsioNameOption, 4, 0},  {req::kGetChannelLists, 0, 2056},
        {req::kSetDeviceProperties, 432, 0}, {req::kGetStreamInfo, 4, 212}, {req::kGetChannelProperties, 4, 92},
        {req::kSetChannelProperties, 92, 0}, {req::kGetStreamBuffer, 0, 16}, {req::kSetStreamBuffer, 16, 0},
        {req::kGetAsioBuffer, 0, 16},      {req::kSetAsioBuffer, 16, 0},     {req::kGetWdmBuffer, 0, 16},
        {req::kSetWdmBuffer, 16, 0},       {req::kGetStatistics, 0, 64},
    };
    for (const Case& c : cases) {
        Bytes out;
        Bytes in(c.in, 0);
        if (c.in >= 4) os::putLe32(in, 0, 1);  // device 1 or channel 1
        EXPECT_EQ(send(c.code, Bytes(c.in + 1, 0), c.out, out), os::kErrorInvalidParameter) << requestName(c.code);
        EXPECT_EQ(send(c.code, in, c.out + 1, out), os::kErrorInvalidParameter) << requestName(c.code);
        if (c.out > 0) {
            EXPECT_EQ(send(c.code, in, c.out - 1, out), os::kErrorInvalidParameter) << requestName(c.code);
        }
    }
    // The names appear in the trace.
    const auto t = rig->takeTrace();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.front().rfind("fw QEL_REQ_GET_ASIO_NAME_OPTION 0x00000057", 0), 0u) << t.front();
}

TEST_F(ControlPanelDriver, DeviceNameAndRankAreKeptButNotTheSerial) {
    Bytes p = properties(2);
    os::putLe32(p, 4, 7);
    os::putText(p, 8, 40, "Drums");
    os::putText(p, 48, 40, "FORGED");
    ASSERT_EQ(send(req::kSetDeviceProperties, p), 0u);
    const Bytes back = properties(2);
    EXPECT_EQ(os::getLe32(back, 4), 7u);
    EXPECT_EQ(os::getText(back, 8, 40), "Drums");
    EXPECT_EQ(os::getText(back, 48, 40), "K1814-001202");

    // A name field without a terminating zero is kept as its first 39 bytes.
    for (int i = 0; i < 40; ++i) p[8 + i] = 'N';
    ASSERT_EQ(send(req::kSetDeviceProperties, p), 0u);
    EXPECT_EQ(os::getText(properties(2), 8, 40), std::string(39, 'N'));

    os::putLe32(p, 0, 99);
    EXPECT_EQ(send(req::kSetDeviceProperties, p), os::kErrorDeviceNotConnected);
    rig->unplug(2);
    os::putLe32(p, 0, 2);
    EXPECT_EQ(send(req::kSetDeviceProperties, p), os::kErrorDeviceNotConnected);
}

TEST_F(ControlPanelDriver, ChannelNameIsWritableAndTheHardwareNameIsNot) {
    const std::uint32_t id = channelList(0)[2];
    Bytes rec;
    ASSERT_EQ(send(req::kGetChannelProperties, word(id), 92, rec), 0u);
    os::putText(rec, 12, 40, "Forged");
    os::putText(rec, 52, 40, "Kick");
    ASSERT_EQ(send(req::kSetChannelProperties, rec), 0u);
    Bytes back;
    ASSERT_EQ(send(req::kGetChannelProperties, word(id), 92, back), 0u);
    EXPECT_EQ(os::getText(back, 52, 40), "Kick");
    EXPECT_EQ(os::getText(back, 12, 40), "Analog In 3");

    os::putLe32(rec, 4, 2);  // a device the channel does not belong to
    EXPECT_EQ(send(req::kSetChannelProperties, rec), os::kErrorInvalidParameter);
    os::putLe32(rec, 0, 9999);
    EXPECT_EQ(send(req::kSetChannelProperties, rec), os::kErrorDeviceNotConnected);
}

TEST_F(ControlPanelDriver, ListsHoldPresentDevicesAndStopAt256) {
    const auto inputs = channelList(0);
    ASSERT_EQ(inputs.size(), 24u);        // 6 + 18
    ASSERT_EQ(channelList(1028).size(), 24u);  // 10 + 14
    rig->withControlPanel([](ControlPanelState& s) {
        for (int i = 0; i < 300; ++i) s.addChannel(1, ChannelDirection::In, "X");
    });
    EXPECT_EQ(channelList(0).size(), 256u);
    EXPECT_EQ(channelList(1028).size(), 24u);

    // An absent device's channels leave the lists and cannot be read.
    rig->unplug(1);
    EXPECT_EQ(channelList(0).size(), 18u);
    Bytes out;
    EXPECT_EQ(send(req::kGetChannelProperties, word(inputs[0]), 92, out), os::kErrorDeviceNotConnected);
    EXPECT_EQ(send(req::kGetChannelProperties, word(9999), 92, out), os::kErrorDeviceNotConnected);
    EXPECT_EQ(send(req::kGetStreamInfo, word(1), 212, out), os::kErrorDeviceNotConnected);
}
