// Decoding of the control panel's records: named offsets, bounded reads of
// counts the driver gets wrong, and untouched bytes that travel back.
#include "controlpanel/driver/ControlPanelRecords.h"

#include <gtest/gtest.h>

using namespace qel;

TEST(ControlPanelRecords, ChannelListsReadEachListAtItsOffset) {
    QEL_CHANNEL_LISTS r;
    r.setWord(0, 2);
    r.setWord(4, 11);
    r.setWord(8, 12);
    r.setWord(1024, 77);  // last input slot, not the output count
    r.setWord(1028, 1);
    r.setWord(1032, 21);
    EXPECT_EQ(r.ids(QEL_CHANNEL_LISTS::kIn), (std::vector<std::uint32_t>{11, 12}));
    EXPECT_EQ(r.ids(QEL_CHANNEL_LISTS::kOut), (std::vector<std::uint32_t>{21}));

    // A count the list cannot hold is flagged and never read past the record.
    r.setWord(1028, 0xFFFFFFFF);
    EXPECT_FALSE(r.listValid(QEL_CHANNEL_LISTS::kOut));
    EXPECT_TRUE(r.listValid(QEL_CHANNEL_LISTS::kIn));
    EXPECT_EQ(r.ids(QEL_CHANNEL_LISTS::kOut).size(), 256u);
    r.setWord(1028, 256);
    EXPECT_TRUE(r.listValid(QEL_CHANNEL_LISTS::kOut));
}

TEST(ControlPanelRecords, EditedNamesKeepTheRestOfTheRecord) {
    QEL_CHANNEL_PROPERTIES c;
    for (std::size_t i = 0; i < c.bytes.size(); ++i) c.bytes[i] = static_cast<std::uint8_t>(0x41 + i % 26);
    const auto before = c.bytes;
    c.setChannelName(std::string(45, 'x'));
    EXPECT_EQ(c.channelName(), std::string(39, 'x'));
    EXPECT_EQ(c.bytes[91], 0);
    for (std::size_t i = 0; i < 52; ++i) ASSERT_EQ(c.bytes[i], before[i]) << i;

    c.setChannelName("Kick");
    EXPECT_EQ(c.channelName(), "Kick");
    EXPECT_EQ(c.bytes[56], 0);
    EXPECT_EQ(c.bytes[57], 'x');  // after the terminator: left as it was
    EXPECT_EQ(c.bytes[91], 0);

    QEL_DEVICE_PROPERTIES d;
    d.setText(48, 40, "SERIAL");
    setDeviceName(d, std::string(50, 'n'));
    EXPECT_EQ(d.deviceName(), std::string(39, 'n'));
    EXPECT_EQ(d.bytes[47], 0);
    EXPECT_EQ(d.serial(), "SERIAL");
}

TEST(ControlPanelRecords, UnterminatedTextsStayInTheirField) {
    QEL_CHANNEL_PROPERTIES c;
    for (std::size_t i = 12; i < 92; ++i) c.bytes[i] = 'h';
    EXPECT_EQ(c.hardwareName(), std::string(40, 'h'));
    EXPECT_EQ(c.channelName(), std::string(40, 'h'));
}

TEST(ControlPanelRecords, PlugRecordsAreBoundedToEightRates) {
    QEL_STREAM_INFO info;
    const std::size_t audioIn = QEL_STREAM_INFO::plugOffset(QEL_STREAM_INFO::kAudioInPlug);
    EXPECT_EQ(audioIn, 56u);
    info.setWord(audioIn, 4);
    info.setWord(audioIn + 4, 0xE0000073);
    info.setWord(audioIn + 16, 9);
    for (int i = 0; i < 9; ++i) info.setWord(audioIn + 20 + 4 * i, 1000u + i);  // the ninth is the next plug's state
    const QEL_PLUG_STATUS p = info.plug(QEL_STREAM_INFO::kAudioInPlug);
    EXPECT_EQ(p.state(), 4u);
    EXPECT_EQ(p.statusCode(), 0xE0000073u);
    EXPECT_FALSE(p.valid());
    EXPECT_FALSE(info.valid());
    ASSERT_EQ(p.rates().size(), 8u);
    EXPECT_EQ(p.rates().back(), 1007u);
    EXPECT_EQ(info.plug(QEL_STREAM_INFO::kSynchOutPlug).state(), 1008u);
    EXPECT_EQ(info.plug(4).state(), 0u);  // past the four plugs

    info.setWord(audioIn + 16, 8);
    EXPECT_TRUE(info.valid());
    EXPECT_EQ(QEL_STREAM_INFO::plugOffset(QEL_STREAM_INFO::kSynchInPlug), 160u);
}
