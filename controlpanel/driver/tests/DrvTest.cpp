// The control panel's driver object against the rig: exact request bytes,
// the lists it keeps, and bad answers refused before a page could use them.
#include "controlpanel/driver/Drv.h"

#include <gtest/gtest.h>

#include "controlpanel/driver/ControlPanelRequests.h"
#include "controlpanel/driver/StatusText.h"
#include "controlpanel/driver/tests/CplFixture.h"
#include "device/QelContext.h"
#include "device/QelDevice.h"

using namespace qel;
using qel::cpl::test::CplFixture;

namespace {
std::vector<std::uint8_t> channelListsAnswer(std::uint32_t inCount, std::uint32_t outCount,
                                             const std::vector<std::uint32_t>& outIds, std::uint32_t at1024) {
    QEL_CHANNEL_LISTS r;
    r.setWord(0, inCount);
    r.setWord(1024, at1024);
    r.setWord(1028, outCount);
    for (std::size_t i = 0; i < outIds.size(); ++i) r.setWord(1032 + 4 * i, outIds[i]);
    return {r.bytes.begin(), r.bytes.end()};
}
int count(const std::vector<std::string>& lines, const std::string& needle) {
    int n = 0;
    for (const auto& l : lines) n += l.find(needle) != std::string::npos;
    return n;
}
}  // namespace

class CplDrv : public CplFixture {};

// ---------------------------------------------------------------- devices

TEST_F(CplDrv, RankingIsWrittenForEveryDeviceAndOrdersTheChannels) {
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    ASSERT_EQ(drv.deviceProperties().size(), 2u);
    drv.deviceProperties()[0].setWord(4, 1);
    drv.deviceProperties()[1].setWord(4, 0);
    trace();
    ASSERT_EQ(drv.writeDeviceProperties(), QEL_OK);
    const auto t = trace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "fw QEL_REQ_SET_DEVICE_PROPERTIES ok in=" + hex(drv.deviceProperties()[0]) + " out=-");
    EXPECT_EQ(t[1], "fw QEL_REQ_SET_DEVICE_PROPERTIES ok in=" + hex(drv.deviceProperties()[1]) + " out=-");

    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    EXPECT_EQ(drv.deviceProperties()[0].rank(), 1u);
    EXPECT_EQ(drv.deviceProperties()[1].rank(), 0u);
    ASSERT_EQ(drv.refreshChannels(cpl::CDrv::kInput), QEL_OK);
    EXPECT_EQ(drv.channels(cpl::CDrv::kInput).front().deviceId(), 2u);
    EXPECT_EQ(drv.channels(cpl::CDrv::kInput).back().deviceId(), 1u);
}

TEST_F(CplDrv, WriteDevicePropertiesGoesOnAfterAFailure) {
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    drv.deviceProperties()[1].setWord(4, 5);
    rig->failNext(QEL_REQ_SET_DEVICE_PROPERTIES, 1, os::kErrorGenFailure);
    EXPECT_EQ(drv.writeDeviceProperties(), os::kErrorGenFailure);
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    EXPECT_EQ(drv.deviceProperties()[1].rank(), 5u);
    drv.closeDriver();
    EXPECT_EQ(drv.writeDeviceProperties(), QEL_E_NOT_OPEN);
}

TEST_F(CplDrv, RenamedDeviceIsTheMixerPanelsDisplayName) {
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    QEL_DEVICE_PROPERTIES copy = drv.deviceProperties()[1];
    const std::string fifty = "Front of house rack, left side, second unit 12345";
    ASSERT_EQ(fifty.size(), 49u);
    setDeviceName(copy, fifty + "X");
    trace();
    ASSERT_EQ(drv.setDeviceProperties(copy), QEL_OK);
    EXPECT_EQ(trace(), std::vector<std::string>{"fw QEL_REQ_SET_DEVICE_PROPERTIES ok in=" + hex(copy) + " out=-"});

    // The mixer panel: its own platform seam and driver object on the same rig.
    os::SimOs mixerOs(*rig);
    QelContext mixer(mixerOs);
    ASSERT_EQ(mixer.drv().openDriver(sim::fireWireGuid()), QEL_OK);
    ASSERT_EQ(mixer.drv().refreshDeviceProperties(), QEL_OK);
    ASSERT_EQ(mixer.drv().deviceProperties().size(), 2u);
    EXPECT_EQ(mixer.drv().deviceProperties()[1].deviceName(), fifty.substr(0, 39));
    EXPECT_EQ(mixer.drv().deviceProperties()[1].serial(), "K1814-001202");
    EXPECT_EQ(mixer.drv().deviceProperties()[0].deviceName(), "Studio 610");
    // A device opened by the mixer reads the same name from its own handle.
    CQelDevice dev(mixer, sim::fireWireGuid(), 0xA0DE);
    ASSERT_EQ(dev.openDevice(sim::fireWireGuid(), 2), QEL_OK);
    QEL_DEVICE_PROPERTIES own;
    ASSERT_EQ(dev.sendRequest(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, nullptr, 0, own.data(), own.size()), QEL_OK);
    EXPECT_EQ(own.deviceName(), fifty.substr(0, 39));
    dev.closeDevice();
}

TEST_F(CplDrv, UnterminatedNameFromTheDriverIsBoundedToItsField) {
    QEL_DEVICE_PROPERTIES forged;
    forged.setWord(0, 1);
    for (int i = 0; i < 40; ++i) forged.bytes[8 + i] = 'A';
    forged.setText(48, 40, "SERIAL");
    rig->answerNext(QEL_REQ_GET_DEVICE_PROPERTIES, {forged.bytes.begin(), forged.bytes.end()});
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    EXPECT_EQ(drv.deviceProperties()[0].deviceName(), std::string(40, 'A'));
    EXPECT_EQ(drv.deviceProperties()[0].serial(), "SERIAL");
}

// ---------------------------------------------------------------- channels

TEST_F(CplDrv, ChannelListsOfBothDirections) {
    ASSERT_EQ(drv.refreshChannels(cpl::CDrv::kInput), QEL_OK);
    auto t = trace();
    ASSERT_EQ(t.size(), 25u);
    EXPECT_EQ(t[0].rfind("fw QEL_REQ_GET_CHANNEL_LISTS ok in=- out=18000000", 0), 0u);
    const auto& in = drv.channels(cpl::CDrv::kInput);
    ASSERT_EQ(in.size(), 24u);
    ASSERT_EQ(drv.channelIds(cpl::CDrv::kInput).size(), 24u);
    EXPECT_EQ(t[1].rfind("fw QEL_REQ_GET_CHANNEL_PROPERTIES ok in=" + hexWord(drv.channelIds(cpl::CDrv::kInput)[0]), 0),
              0u);
    EXPECT_EQ(in[0].deviceId(), 1u);
    EXPECT_EQ(in[0].hardwareName(), "Analog In 1");
    EXPECT_EQ(in[5].hardwareName(), "SPDIF In 2");
    EXPECT_EQ(in[6].deviceId(), 2u);

    ASSERT_EQ(drv.refreshChannels(cpl::CDrv::kOutput), QEL_OK);
    const auto& out = drv.channels(cpl::CDrv::kOutput);
    ASSERT_EQ(out.size(), 24u);
    EXPECT_EQ(out[0].hardwareName(), "Analog Out 1");
    EXPECT_EQ(out[23].hardwareName(), "SPDIF Out 2");
    EXPECT_EQ(drv.channels(cpl::CDrv::kInput).size(), 24u);  // the other list stays
}

TEST_F(CplDrv, OutputListIsReadFromOffset1028) {
    ASSERT_EQ(drv.refreshChannels(cpl::CDrv::kOutput), QEL_OK);
    const std::uint32_t someOutput = drv.channelIds(cpl::CDrv::kOutput)[3];
    rig->answerNext(QEL_REQ_GET_CHANNEL_LISTS, channelListsAnswer(0, 1, {someOutput}, /*at1024=*/5));
    trace();
    ASSERT_EQ(drv.refreshChannels(cpl::CDrv::kOutput), QEL_OK);
    const auto t = trace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1].rfind("fw QEL_REQ_GET_CHANNEL_PROPERTIES ok in=" + hexWord(someOutput), 0), 0u);
    ASSERT_EQ(drv.channels(cpl::CDrv::kOutput).size(), 1u);
    EXPECT_EQ(drv.channels(cpl::CDrv::kOutput)[0].hardwareName(), "Analog Out 4");
}

TEST_F(CplDrv, EmptyAndOversizedChannelLists) {
    ASSERT_EQ(drv.refreshChannels(cpl::CDrv::kInput), QEL_OK);
    rig->answerNext(QEL_REQ_GET_CHANNEL_LISTS, channelListsAnswer(0, 3, {1, 2, 3}, 0));
    trace();
    EXPECT_EQ(drv.refreshChannels(cpl::CDrv::kInput), QEL_OK);
    EXPECT_TRUE(drv.channels(cpl::CDrv::kInput).empty());
    EXPECT_EQ(trace().size(), 1u);

    // 257 channels: refused before any channel is asked for.
    ASSERT_EQ(drv.refreshChannels(cpl::CDrv::kOutput), QEL_OK);
    rig->answerNext(QEL_REQ_GET_CHANNEL_LISTS, channelListsAnswer(2, 257, {1, 2}, 0));
    trace();
    EXPECT_EQ(drv.refreshChannels(cpl::CDrv::kOutput), QEL_E_BAD_LENGTH);
    EXPECT_TRUE(drv.channels(cpl::CDrv::kOutput).empty());
    EXPECT_EQ(trace().size(), 1u);
    // Only the list taken is judged: the inputs of the same record are fine.
    rig->answerNext(QEL_REQ_GET_CHANNEL_LISTS, channelListsAnswer(0, 0xFFFFFFFF, {}, 0));
    EXPECT_EQ(drv.refreshChannels(cpl::CDrv::kInput), QEL_OK);

    // Nothing connected at all.
    rig->unplug(1);
    rig->unplug(2);
    EXPECT_EQ(drv.refreshChannels(cpl::CDrv::kInput), QEL_OK);
    EXPECT_TRUE(drv.channels(cpl::CDrv::kInput).empty());
}

TEST_F(CplDrv, ChannelRefreshFailures) {
    rig->failNext(QEL_REQ_GET_CHANNEL_PROPERTIES, 1, os::kErrorGenFailure, /*skip=*/1);
    EXPECT_EQ(drv.refreshChannels(cpl::CDrv::kInput), os::kErrorGenFailure);
    const auto& ids = drv.channelIds(cpl::CDrv::kInput);
    ASSERT_EQ(drv.channels(cpl::CDrv::kInput).size(), 23u);
    ASSERT_EQ(ids.size(), 23u);
    EXPECT_EQ(drv.channels(cpl::CDrv::kInput)[1].hardwareName(), "Analog In 3");
    EXPECT_EQ(ids[1], ids[0] + 2);

    rig->failNext(QEL_REQ_GET_CHANNEL_LISTS, 1, os::kErrorGenFailure);
    EXPECT_EQ(drv.refreshChannels(cpl::CDrv::kInput), os::kErrorGenFailure);
    EXPECT_TRUE(drv.channels(cpl::CDrv::kInput).empty());

    trace();
    EXPECT_EQ(drv.refreshChannels(2), QEL_E_INVALID_ARG);
    EXPECT_TRUE(drv.channels(2).empty());
    drv.closeDriver();
    EXPECT_EQ(drv.refreshChannels(cpl::CDrv::kOutput), QEL_E_NOT_OPEN);
    EXPECT_TRUE(trace().empty());
}

TEST_F(CplDrv, RenamedChannelSendsTheWholeRecordAndReadsBack) {
    ASSERT_EQ(drv.refreshChannels(cpl::CDrv::kOutput), QEL_OK);
    QEL_CHANNEL_PROPERTIES copy = drv.channels(cpl::CDrv::kOutput)[4];
    const std::uint32_t id = drv.channelIds(cpl::CDrv::kOutput)[4];
    copy.setChannelName(std::string(45, 'm'));
    trace();
    ASSERT_EQ(drv.setChannelProperties(copy), QEL_OK);
    EXPECT_EQ(trace(), std::vector<std::string>{"fw QEL_REQ_SET_CHANNEL_PROPERTIES ok in=" + hex(copy) + " out=-"});
    EXPECT_EQ(copy.word(0), id);  // the bytes not interpreted went back as read

    ASSERT_EQ(drv.refreshChannels(cpl::CDrv::kOutput), QEL_OK);
    EXPECT_EQ(drv.channels(cpl::CDrv::kOutput)[4].channelName(), std::string(39, 'm'));
    EXPECT_EQ(drv.channels(cpl::CDrv::kOutput)[4].hardwareName(), "Analog Out 5");
}

// ---------------------------------------------------------------- streams

TEST_F(CplDrv, StreamInfoWithPlugStatesAndFailureText) {
    rig->withControlPanel(
        [](sim::ControlPanelState& s) { s.setPlugState(1, sim::kAudioInPlug, sim::kPlugConnectFailed, 0xE0000073); });
    QEL_STREAM_INFO info;
    ASSERT_EQ(drv.getStreamInfo(1, info), QEL_OK);
    EXPECT_EQ(trace().at(0).rfind("fw QEL_REQ_GET_STREAM_INFO ok in=01000000 out=", 0), 0u);
    const QEL_PLUG_STATUS out = info.plug(QEL_STREAM_INFO::kAudioOutPlug);
    EXPECT_EQ(out.state(), QEL_PLUG_STATUS::kConnected);
    EXPECT_EQ(out.streamNumber(), 0u);
    EXPECT_EQ(out.currentRate(), 48000u);
    EXPECT_EQ(out.rates(), (std::vector<std::uint32_t>{44100, 48000, 88200, 96000, 176400, 192000}));
    const QEL_PLUG_STATUS in = info.plug(QEL_STREAM_INFO::kAudioInPlug);
    EXPECT_EQ(in.state(), QEL_PLUG_STATUS::kConnectFailed);
    EXPECT_EQ(cpl::statusLine(in.statusCode()), "Error code 0xE0000073: Bandwidth allocation failed.");
    EXPECT_EQ(info.plug(QEL_STREAM_INFO::kSynchOutPlug).state(), 0u);

    ASSERT_EQ(drv.getStreamInfo(2, info), QEL_OK);
    EXPECT_EQ(info.plug(QEL_STREAM_INFO::kAudioInPlug).streamNumber(), 5u);
    EXPECT_EQ(drv.getStreamInfo(9, info), os::kErrorDeviceNotConnected);
    EXPECT_EQ(info.plug(QEL_STREAM_INFO::kAudioInPlug).streamNumber(), 5u);  // untouched on failure
}

TEST_F(CplDrv, PlugWithMoreThanEightRatesIsRefused) {
    QEL_STREAM_INFO forged;
    forged.setWord(QEL_STREAM_INFO::plugOffset(QEL_STREAM_INFO::kSynchInPlug) + 16, 9);
    rig->answerNext(QEL_REQ_GET_STREAM_INFO, {forged.bytes.begin(), forged.bytes.end()});
    QEL_STREAM_INFO info;
    info.setWord(0, 0x5A5A5A5A);
    EXPECT_EQ(drv.getStreamInfo(1, info), QEL_E_BAD_LENGTH);
    EXPECT_EQ(info.word(0), 0x5A5A5A5Au);
    // A short answer is refused the same way.
    rig->answerNext(QEL_REQ_GET_STREAM_INFO, std::vector<std::uint8_t>(100, 0));
    EXPECT_EQ(drv.getStreamInfo(1, info), QEL_E_BAD_LENGTH);
    EXPECT_EQ(info.word(0), 0x5A5A5A5Au);
}

// ---------------------------------------------------------------- buffers and statistics

TEST_F(CplDrv, BufferRecordsRoundTripWithTheirOwnBytes) {
    QEL_STREAM_BUFFER s;
    ASSERT_EQ(drv.getStreamBuffer(s), QEL_OK);
    EXPECT_EQ(s.minimum(), 1000u);
    EXPECT_EQ(s.step(), 250u);
    EXPECT_EQ(s.currentDepth(), 2000u);
    s.setCurrentDepth(3000);
    trace();
    ASSERT_EQ(drv.setStreamBuffer(s), QEL_OK);
    EXPECT_EQ(trace(), std::vector<std::string>{"fw QEL_REQ_SET_STREAM_BUFFER ok in=e803000001000000fa000000b80b0000 out=-"});

    QEL_AUDIO_BUFFER asio, wdm;
    ASSERT_EQ(drv.getAsioBuffer(asio), QEL_OK);
    ASSERT_EQ(drv.getWdmBuffer(wdm), QEL_OK);
    EXPECT_EQ(asio.samples(), 240u);
    asio.setCurrentDepth(asio.currentDepth() + asio.step());
    wdm.setCurrentDepth(wdm.minimum());
    trace();
    ASSERT_EQ(drv.setAsioBuffer(asio), QEL_OK);
    ASSERT_EQ(drv.setWdmBuffer(wdm), QEL_OK);
    const auto t = trace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "fw QEL_REQ_SET_ASIO_BUFFER ok in=" + hex(asio) + " out=-");
    EXPECT_EQ(t[1], "fw QEL_REQ_SET_WDM_BUFFER ok in=" + hex(wdm) + " out=-");

    QEL_AUDIO_BUFFER back;
    ASSERT_EQ(drv.getAsioBuffer(back), QEL_OK);
    EXPECT_EQ(back.currentDepth(), 5500u);
    EXPECT_EQ(back.samples(), 264u);
    ASSERT_EQ(drv.getWdmBuffer(back), QEL_OK);
    EXPECT_EQ(back.currentDepth(), 2000u);
    ASSERT_EQ(drv.getStreamBuffer(s), QEL_OK);
    EXPECT_EQ(s.currentDepth(), 3000u);

    // A depth the driver does not take is its error, passed on.
    s.setCurrentDepth(3100);
    EXPECT_EQ(drv.setStreamBuffer(s), os::kErrorInvalidParameter);
}

TEST_F(CplDrv, BufferRecordWithStepZeroNeverReachesTheCaller) {
    QEL_AUDIO_BUFFER forged;
    forged.setWord(0, 5000);
    forged.setWord(4, 1000);
    QEL_AUDIO_BUFFER asio;
    ASSERT_EQ(drv.getAsioBuffer(asio), QEL_OK);
    const auto good = asio.bytes;
    rig->answerNext(QEL_REQ_GET_ASIO_BUFFER, {forged.bytes.begin(), forged.bytes.end()});
    EXPECT_EQ(drv.getAsioBuffer(asio), QEL_E_BAD_LENGTH);
    EXPECT_EQ(asio.bytes, good);

    QEL_STREAM_BUFFER zeroStream;
    zeroStream.setWord(12, 2000);
    rig->answerNext(QEL_REQ_GET_STREAM_BUFFER, {zeroStream.bytes.begin(), zeroStream.bytes.end()});
    QEL_STREAM_BUFFER s;
    EXPECT_EQ(drv.getStreamBuffer(s), QEL_E_BAD_LENGTH);
    EXPECT_EQ(s.step(), 0u);
    rig->answerNext(QEL_REQ_GET_WDM_BUFFER, {forged.bytes.begin(), forged.bytes.end()});
    QEL_AUDIO_BUFFER wdm;
    EXPECT_EQ(drv.getWdmBuffer(wdm), QEL_E_BAD_LENGTH);

    // A record never read (step 0) is not sent.
    trace();
    EXPECT_EQ(drv.setStreamBuffer(s), QEL_E_INVALID_ARG);
    EXPECT_EQ(drv.setWdmBuffer(wdm), QEL_E_INVALID_ARG);
    EXPECT_EQ(drv.setAsioBuffer(QEL_AUDIO_BUFFER{}), QEL_E_INVALID_ARG);
    EXPECT_TRUE(trace().empty());
}

TEST_F(CplDrv, StatisticsAndShortAnswers) {
    rig->withControlPanel([](sim::ControlPanelState& s) { s.dropouts = 3; });
    QEL_STATISTICS st;
    ASSERT_EQ(drv.getStatistics(st), QEL_OK);
    EXPECT_EQ(st.dropouts(), 3u);
    rig->answerNext(QEL_REQ_GET_STATISTICS, std::vector<std::uint8_t>(60, 0xFF));
    EXPECT_EQ(drv.getStatistics(st), QEL_E_BAD_LENGTH);
    EXPECT_EQ(st.dropouts(), 3u);
    rig->failNext(QEL_REQ_GET_STATISTICS, 1, os::kErrorGenFailure);
    EXPECT_EQ(drv.getStatistics(st), os::kErrorGenFailure);
    EXPECT_EQ(st.dropouts(), 3u);
}

// ---------------------------------------------------------------- option and clock

TEST_F(CplDrv, AsioNameOptionIsKeptOnSuccessOnly) {
    ASSERT_EQ(drv.getAsioNameOption(), QEL_OK);
    EXPECT_EQ(drv.asioNameOption(), 0u);
    ASSERT_EQ(drv.setAsioNameOption(1), QEL_OK);
    EXPECT_EQ(drv.asioNameOption(), 1u);
    rig->failNext(QEL_REQ_SET_ASIO_NAME_OPTION, 1, os::kErrorGenFailure);
    EXPECT_EQ(drv.setAsioNameOption(0), os::kErrorGenFailure);
    EXPECT_EQ(drv.asioNameOption(), 1u);
    rig->failNext(QEL_REQ_GET_ASIO_NAME_OPTION, 1, os::kErrorGenFailure);
    EXPECT_EQ(drv.getAsioNameOption(), os::kErrorGenFailure);
    EXPECT_EQ(drv.asioNameOption(), 1u);
    const auto t = trace();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], "fw QEL_REQ_GET_ASIO_NAME_OPTION ok in=- out=00000000");
    EXPECT_EQ(t[1], "fw QEL_REQ_SET_ASIO_NAME_OPTION ok in=01000000 out=-");
}

TEST_F(CplDrv, ClockRequestsOnTheKeptRecords) {
    ASSERT_EQ(drv.getSyncSettings(), QEL_OK);
    drv.syncSettings().setWord(4, 1);
    drv.syncSettings().setWord(8, 2);
    ASSERT_EQ(drv.getSyncParameter(), QEL_OK);
    EXPECT_EQ(drv.syncParameter(), 1u);
    drv.keepSyncParameter(0);  // kept only, nothing sent
    trace();
    ASSERT_EQ(drv.beginSyncChange(), QEL_OK);
    ASSERT_EQ(drv.setSyncSettings(), QEL_OK);
    ASSERT_EQ(drv.setSyncParameter(drv.syncParameter()), QEL_OK);
    ASSERT_EQ(drv.endSyncChange(), QEL_OK);
    EXPECT_EQ(trace(), (std::vector<std::string>{
                           "fw QEL_REQ_BEGIN_SYNC_CHANGE ok in=- out=-",
                           "fw QEL_REQ_SET_SYNC_SETTINGS ok in=000000000100000002000000 out=-",
                           "fw QEL_REQ_SET_SYNC_PARAMETER ok in=0000000000000000 out=-",
                           "fw QEL_REQ_END_SYNC_CHANGE ok in=- out=-",
                       }));
    EXPECT_EQ(rig->syncParameter(), 0u);
    EXPECT_EQ(rig->syncChangeDepth(), 0);

    ASSERT_EQ(drv.getSampleRateInfo(), QEL_OK);
    EXPECT_EQ(drv.sampleRateInfo().currentRate(), 48000u);
    rig->setWdmInUse(true);
    EXPECT_EQ(drv.setSampleRate(96000), QEL_E_WDM_DEVICE_IN_USE);
    ASSERT_EQ(drv.getSampleRateInfo(), QEL_OK);
    EXPECT_EQ(drv.sampleRateInfo().currentRate(), 48000u);
    rig->setWdmInUse(false);
    EXPECT_EQ(drv.setSampleRate(96000), QEL_OK);
}

// ---------------------------------------------------------------- event drain

TEST_F(CplDrv, DrainFetchesEveryEventAndRefreshesOnceForKinds2And3Only) {
    for (const std::uint32_t kind : {1u, 2u, 4u, 3u, 1u}) rig->queueDriverEvent(kind);
    int refreshes = 0;
    EXPECT_EQ(drv.drainEvents([&] { ++refreshes; }), 5u);
    EXPECT_EQ(refreshes, 1);
    const auto t = trace();
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[1], "fw QEL_REQ_GET_EVENT ok in=- out=020000000000000000000000");
    EXPECT_EQ(t[5], "fw QEL_REQ_GET_EVENT 0x00000103 in=- out=-");

    rig->queueDriverEvent(1);
    rig->queueDriverEvent(4);
    EXPECT_EQ(drv.drainEvents([&] { ++refreshes; }), 2u);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(drv.drainEvents(nullptr), 0u);
}

TEST_F(CplDrv, DrainStopsAtAShortEventRecord) {
    rig->queueDriverEvent(2);
    rig->answerNext(QEL_REQ_GET_EVENT, {3, 0, 0, 0});
    int refreshes = 0;
    EXPECT_EQ(drv.drainEvents([&] { ++refreshes; }), 0u);
    EXPECT_EQ(refreshes, 0);
    EXPECT_EQ(drv.drainEvents([&] { ++refreshes; }), 1u);  // the queued event is still there
    EXPECT_EQ(refreshes, 1);
}

namespace {
// A platform whose driver answers every event request: a queue that never empties.
class EndlessEventsOs final : public os::IOs {
public:
    explicit EndlessEventsOs(os::IOs& inner) : in_(inner) {}
    std::uint32_t ioctl(os::Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                        std::uint32_t outLen, std::uint32_t* got) override {
        if (code != QEL_REQ_GET_EVENT || outLen != 12) return in_.ioctl(h, code, in, inLen, out, outLen, got);
        os::putLe32({static_cast<std::uint8_t*>(out), 12}, 0, 3);
        *got = 12;
        return 0;
    }
    os::DevInfoSet getClassDevs(const os::Guid& g) override { return in_.getClassDevs(g); }
    void destroyDevInfoSet(os::DevInfoSet s) override { in_.destroyDevInfoSet(s); }
    std::uint32_t enumInterface(os::DevInfoSet s, const os::Guid& g, std::uint32_t i, std::string& p) override {
        return in_.enumInterface(s, g, i, p);
    }
    os::Handle openPath(const std::string& p, bool o, std::uint32_t& e) override { return in_.openPath(p, o, e); }
    void closeHandle(os::Handle h) override { in_.closeHandle(h); }
    std::uint32_t ioctlOverlapped(os::Handle h, std::uint32_t c, const void* i, std::uint32_t il, void* o,
                                  std::uint32_t ol, os::Overlapped& ov) override {
        return in_.ioctlOverlapped(h, c, i, il, o, ol, ov);
    }
    std::uint32_t getOverlappedResult(os::Handle h, os::Overlapped& ov, std::uint32_t* b, bool w) override {
        return in_.getOverlappedResult(h, ov, b, w);
    }
    std::uint32_t cancelIo(os::Handle h) override { return in_.cancelIo(h); }
    os::Handle createEvent(bool m, bool i) override { return in_.createEvent(m, i); }
    void setEvent(os::Handle e) override { in_.setEvent(e); }
    void resetEvent(os::Handle e) override { in_.resetEvent(e); }
    std::uint32_t waitForAny(const os::Handle* h, std::uint32_t n, std::uint32_t t) override {
        return in_.waitForAny(h, n, t);
    }
    std::uint32_t eventValue(os::Handle e) override { return in_.eventValue(e); }
    os::Handle registerDeviceNotification(const os::Guid& g, DeviceChangeCallback cb) override {
        return in_.registerDeviceNotification(g, std::move(cb));
    }
    bool unregisterDeviceNotification(os::Handle r) override { return in_.unregisterDeviceNotification(r); }
    std::string codePageToUtf8(std::string_view t) override { return in_.codePageToUtf8(t); }

private:
    os::IOs& in_;
};
}  // namespace

TEST_F(CplDrv, DrainIsBoundedAgainstADriverThatNeverRunsDry) {
    EndlessEventsOs endless(os);
    cpl::CDrv faulty(endless);
    ASSERT_EQ(faulty.openDriver(), QEL_OK);
    int refreshes = 0;
    EXPECT_EQ(faulty.drainEvents([&] { ++refreshes; }), cpl::CDrv::kMaxEventsPerDrain);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(count(trace(), "GET_EVENT"), 0);  // answered by the platform stand-in, not the rig
}

TEST_F(CplDrv, DevicePropertiesOfOneDeviceSendTheIdLittleEndian) {
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    ASSERT_FALSE(drv.deviceProperties().empty());
    const QEL_DEVICE_PROPERTIES& listed = drv.deviceProperties()[0];
    trace();  // only what follows
    QEL_DEVICE_PROPERTIES record;
    ASSERT_EQ(drv.getDeviceProperties(listed.deviceId(), record), QEL_OK);
    char in[16];
    std::snprintf(in, sizeof in, "in=%02x%02x%02x%02x", listed.deviceId() & 0xFF, listed.deviceId() >> 8 & 0xFF,
                  listed.deviceId() >> 16 & 0xFF, listed.deviceId() >> 24);
    EXPECT_EQ(trace().at(0).rfind(std::string("fw QEL_REQ_GET_DEVICE_PROPERTIES ok ") + in + " ", 0), 0u) << trace().at(0);
    EXPECT_EQ(record.deviceName(), listed.deviceName());
    // A short answer is refused and leaves the record as it was.
    rig->answerNext(QEL_REQ_GET_DEVICE_PROPERTIES, std::vector<std::uint8_t>(10, 0));
    QEL_DEVICE_PROPERTIES untouched = record;
    EXPECT_NE(drv.getDeviceProperties(listed.deviceId(), record), QEL_OK);
    EXPECT_EQ(record.bytes, untouched.bytes);
}
