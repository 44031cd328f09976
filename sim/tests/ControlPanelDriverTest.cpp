// The driver's control-panel requests, sent raw to the rig: exact sizes, the
// byte layout of every answer, and what is written is read back.
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

TEST_F(ControlPanelDriver, ChannelListsFollowTheRanksAndPresence) {
    const auto inputs = channelList(0);
    const auto outputs = channelList(1028);
    ASSERT_EQ(inputs.size(), 24u);   // 6 + 18
    ASSERT_EQ(outputs.size(), 24u);  // 10 + 14
    Bytes out;
    ASSERT_EQ(send(req::kGetChannelProperties, word(inputs[0]), 92, out), 0u);
    EXPECT_EQ(os::getLe32(out, 0), inputs[0]);
    EXPECT_EQ(os::getLe32(out, 4), 1u);
    EXPECT_EQ(os::getText(out, 12, 40), "Analog In 1");
    ASSERT_EQ(send(req::kGetChannelProperties, word(outputs[0]), 92, out), 0u);
    EXPECT_EQ(os::getText(out, 12, 40), "Analog Out 1");
    EXPECT_EQ(os::getLe32(out, 8), 1u);  // direction word

    // Device 2 ranked first: its channels come first.
    Bytes p = properties(2);
    os::putLe32(p, 4, 0);
    ASSERT_EQ(send(req::kSetDeviceProperties, p), 0u);
    p = properties(1);
    os::putLe32(p, 4, 1);
    ASSERT_EQ(send(req::kSetDeviceProperties, p), 0u);
    const auto reordered = channelList(0);
    ASSERT_EQ(reordered.size(), 24u);
    ASSERT_EQ(send(req::kGetChannelProperties, word(reordered[0]), 92, out), 0u);
    EXPECT_EQ(os::getLe32(out, 4), 2u);
    ASSERT_EQ(send(req::kGetChannelProperties, word(reordered[18]), 92, out), 0u);
    EXPECT_EQ(os::getLe32(out, 4), 1u);

    // An absent device's channels leave the lists and cannot be read.
    rig->unplug(1);
    EXPECT_EQ(channelList(0).size(), 18u);
    EXPECT_EQ(send(req::kGetChannelProperties, word(inputs[0]), 92, out), os::kErrorDeviceNotConnected);
    EXPECT_EQ(send(req::kGetChannelProperties, word(9999), 92, out), os::kErrorDeviceNotConnected);
}

TEST_F(ControlPanelDriver, ListsStopAt256Channels) {
    rig->withControlPanel([](ControlPanelState& s) {
        for (int i = 0; i < 300; ++i) s.addChannel(1, ChannelDirection::In, "X");
    });
    EXPECT_EQ(channelList(0).size(), 256u);
    EXPECT_EQ(channelList(1028).size(), 24u);
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

TEST_F(ControlPanelDriver, StreamInfoCarriesPlugStatesNumbersAndRates) {
    rig->withControlPanel([](ControlPanelState& s) { s.setPlugState(2, kAudioInPlug, kPlugConnectFailed, 0xE0000073); });
    Bytes out;
    ASSERT_EQ(send(req::kGetStreamInfo, word(2), 212, out), 0u);
    EXPECT_EQ(os::getLe32(out, 0), 2u);
    // Audio out of the second device: connected, stream 4 (second place).
    EXPECT_EQ(os::getLe32(out, 4), 3u);
    EXPECT_EQ(os::getLe32(out, 4 + 8), 4u);
    EXPECT_EQ(os::getLe32(out, 4 + 12), 48000u);
    EXPECT_EQ(os::getLe32(out, 4 + 16), 6u);
    EXPECT_EQ(os::getLe32(out, 4 + 20), 44100u);
    EXPECT_EQ(os::getLe32(out, 4 + 40), 192000u);
    // Audio in: failed with its code.
    EXPECT_EQ(os::getLe32(out, 56), 4u);
    EXPECT_EQ(os::getLe32(out, 56 + 4), 0xE0000073u);
    // Synch plugs idle.
    EXPECT_EQ(os::getLe32(out, 108), 0u);
    EXPECT_EQ(os::getLe32(out, 160), 0u);

    // The plug rate follows the driver's rate.
    Bytes rate(8, 0);
    os::putLe32(rate, 4, 96000);
    ASSERT_EQ(send(req::kSetSampleRate, rate), 0u);
    ASSERT_EQ(send(req::kGetStreamInfo, word(1), 212, out), 0u);
    EXPECT_EQ(os::getLe32(out, 4 + 12), 96000u);
    EXPECT_EQ(os::getLe32(out, 4 + 8), 0u);
    EXPECT_EQ(os::getLe32(out, 56 + 8), 1u);
    EXPECT_EQ(send(req::kGetStreamInfo, word(42), 212, out), os::kErrorDeviceNotConnected);
}

TEST_F(ControlPanelDriver, BufferDepthsAreValidatedAndReadBack) {
    Bytes s;
    ASSERT_EQ(send(req::kGetStreamBuffer, {}, 16, s), 0u);
    EXPECT_EQ(os::getLe32(s, 0), 1000u);
    EXPECT_EQ(os::getLe32(s, 8), 250u);
    EXPECT_EQ(os::getLe32(s, 12), 2000u);
    os::putLe32(s, 12, 2750);
    os::putLe32(s, 8, 1);  // the step is the driver's, not the writer's
    ASSERT_EQ(send(req::kSetStreamBuffer, s), 0u);
    for (const std::uint32_t bad : {2700u, 750u, 10250u}) {
        os::putLe32(s, 12, bad);
        EXPECT_EQ(send(req::kSetStreamBuffer, s), os::kErrorInvalidParameter) << bad;
    }
    ASSERT_EQ(send(req::kGetStreamBuffer, {}, 16, s), 0u);
    EXPECT_EQ(os::getLe32(s, 12), 2750u);
    EXPECT_EQ(os::getLe32(s, 8), 250u);

    Bytes a;
    ASSERT_EQ(send(req::kGetAsioBuffer, {}, 16, a), 0u);
    EXPECT_EQ(os::getLe32(a, 0), 5000u);
    EXPECT_EQ(os::getLe32(a, 4), 1000u);
    EXPECT_EQ(os::getLe32(a, 8), 500u);
    EXPECT_EQ(os::getLe32(a, 12), 240u);  // 5 ms at 48 kHz
    os::putLe32(a, 0, 6000);
    ASSERT_EQ(send(req::kSetAsioBuffer, a), 0u);
    Bytes rate(8, 0);
    os::putLe32(rate, 4, 44100);
    ASSERT_EQ(send(req::kSetSampleRate, rate), 0u);
    ASSERT_EQ(send(req::kGetAsioBuffer, {}, 16, a), 0u);
    EXPECT_EQ(os::getLe32(a, 0), 6000u);
    EXPECT_EQ(os::getLe32(a, 12), 264u);  // 6 ms at 44.1 kHz, truncated

    Bytes w;
    ASSERT_EQ(send(req::kGetWdmBuffer, {}, 16, w), 0u);
    EXPECT_EQ(os::getLe32(w, 0), 10000u);
    os::putLe32(w, 0, 41000);
    EXPECT_EQ(send(req::kSetWdmBuffer, w), os::kErrorInvalidParameter);
    os::putLe32(w, 0, 40000);
    ASSERT_EQ(send(req::kSetWdmBuffer, w), 0u);
    ASSERT_EQ(send(req::kGetWdmBuffer, {}, 16, w), 0u);
    EXPECT_EQ(os::getLe32(w, 0), 40000u);
    ASSERT_EQ(send(req::kGetAsioBuffer, {}, 16, a), 0u);
    EXPECT_EQ(os::getLe32(a, 0), 6000u);  // the buffers are independent
}

TEST_F(ControlPanelDriver, StatisticsOptionAndWdmCondition) {
    rig->withControlPanel([](ControlPanelState& s) { s.dropouts = 17; });
    Bytes out;
    ASSERT_EQ(send(req::kGetStatistics, {}, 64, out), 0u);
    EXPECT_EQ(os::getLe32(out, 56), 17u);

    ASSERT_EQ(send(req::kGetAsioNameOption, {}, 4, out), 0u);
    EXPECT_EQ(os::getLe32(out, 0), 0u);
    ASSERT_EQ(send(req::kSetAsioNameOption, word(0x10001)), 0u);
    ASSERT_EQ(send(req::kGetAsioNameOption, {}, 4, out), 0u);
    EXPECT_EQ(os::getLe32(out, 0), 0x10001u);

    rig->setWdmInUse(true);
    Bytes rate(8, 0);
    os::putLe32(rate, 4, 44100);
    EXPECT_EQ(send(req::kSetSampleRate, rate), 0xE0000047u);
    EXPECT_EQ(rig->sampleRates().current, 48000u);
}
