// The driver object's lists and clock requests against the rig.
#include <gtest/gtest.h>

#include "device/Drv.h"
#include "device/QelDevice.h"
#include "device/Requests.h"
#include "device/tests/SimFixture.h"

using namespace qel;
using qel::test::SimFixture;

namespace {
sim::FwDeviceModel model(std::uint32_t id, const std::string& name) {
    sim::FwDeviceModel m;
    m.id = id;
    m.deviceName = name;
    m.serial = name + "-SN";
    m.vendor = "Kavro";
    m.model = "Kavro " + name;
    m.syncModes = {{4, 1, "internal"}, {5, 2, "spdif"}};
    return m;
}
}  // namespace

class Drv : public SimFixture {
protected:
    void SetUp() override { ASSERT_EQ(ctx.drv().openDriver(fw()), QEL_OK); }
};

TEST_F(Drv, RefreshReadsEveryDeviceInListOrder) {
    CDrv& drv = ctx.drv();
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    ASSERT_EQ(drv.deviceProperties().size(), 2u);
    const auto& p = drv.deviceProperties()[0];
    EXPECT_EQ(p.deviceId(), 1u);
    EXPECT_EQ(p.rank(), 0u);
    EXPECT_EQ(p.deviceName(), "Studio 610");
    EXPECT_EQ(p.serial(), "K610-000417");
    EXPECT_EQ(p.vendor(), "Kavro");
    EXPECT_EQ(p.model(), "Kavro 610");
    EXPECT_EQ(drv.deviceProperties()[1].deviceId(), 2u);
    // A second refresh replaces the list rather than adding to it.
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    EXPECT_EQ(drv.deviceProperties().size(), 2u);
}

TEST_F(Drv, EmptyDeviceList) {
    rig->unplug(1);
    rig->unplug(2);
    EXPECT_EQ(ctx.drv().refreshDeviceProperties(), QEL_OK);
    EXPECT_TRUE(ctx.drv().deviceProperties().empty());
    EXPECT_EQ(ctx.drv().refreshSyncModes(), QEL_OK);
    EXPECT_TRUE(ctx.drv().syncModes().empty());
}

TEST_F(Drv, FailingSecondOfThreeKeepsTheOthers) {
    rig->addFwDevice(model(3, "Third"));
    CDrv& drv = ctx.drv();
    rig->failNext(QEL_REQ_GET_DEVICE_PROPERTIES, 1, os::kErrorGenFailure, /*skip=*/1);
    EXPECT_EQ(drv.refreshDeviceProperties(), os::kErrorGenFailure);
    ASSERT_EQ(drv.deviceProperties().size(), 2u);
    EXPECT_EQ(drv.deviceProperties()[0].deviceId(), 1u);
    EXPECT_EQ(drv.deviceProperties()[1].deviceId(), 3u);

    rig->failNext(QEL_REQ_GET_SYNC_MODE_INFO, 1, os::kErrorGenFailure, /*skip=*/1);
    EXPECT_EQ(drv.refreshSyncModes(), os::kErrorGenFailure);
    ASSERT_EQ(drv.syncModes().size(), 2u);
    EXPECT_EQ(drv.syncModes()[1].deviceId(), 3u);
}

TEST_F(Drv, RefreshWithAClosedHandleLeavesTheListEmpty) {
    CDrv& drv = ctx.drv();
    ASSERT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    drv.closeDriver();
    EXPECT_EQ(drv.refreshDeviceProperties(), QEL_E_NOT_OPEN);
    EXPECT_TRUE(drv.deviceProperties().empty());
}

TEST_F(Drv, FailedDeviceListRequestIsReturned) {
    rig->failNext(QEL_REQ_GET_DEVICE_LIST, 1, os::kErrorGenFailure);
    EXPECT_EQ(ctx.drv().refreshDeviceProperties(), os::kErrorGenFailure);
    EXPECT_TRUE(ctx.drv().deviceProperties().empty());
}

TEST_F(Drv, SyncModesAreFoundAndWrittenBack) {
    CDrv& drv = ctx.drv();
    EXPECT_EQ(drv.findSyncMode(77), nullptr);
    QEL_DEVICE_SYNCH_MODE_INFO* r = drv.findSyncMode(2);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->deviceId(), 2u);
    ASSERT_EQ(r->count(), 7u);
    EXPECT_EQ(r->entry(3).name, "ADAT");
    EXPECT_EQ(r->current().name, "Internal");
    // Choose the ADAT entry and write every record back: the driver keeps it.
    r->setCurrent(r->entry(3).mode, r->entry(3).code);
    trace();
    EXPECT_EQ(drv.writeSyncModes(), QEL_OK);
    const auto t = trace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "fw QEL_REQ_SET_SYNC_MODE ok in=010000000400000001000000 out=-");
    EXPECT_EQ(t[1], "fw QEL_REQ_SET_SYNC_MODE ok in=020000000500000004000000 out=-");
    EXPECT_EQ(drv.findSyncMode(2)->current().name, "ADAT");
}

TEST_F(Drv, WriteSyncModesReturnsTheFirstFailureAndGoesOn) {
    CDrv& drv = ctx.drv();
    ASSERT_EQ(drv.refreshSyncModes(), QEL_OK);
    drv.syncModes()[0].setCurrent(9, 9);  // no such entry: the driver refuses it
    drv.syncModes()[1].setCurrent(5, 4);
    EXPECT_EQ(drv.writeSyncModes(), os::kErrorInvalidParameter);
    EXPECT_EQ(drv.findSyncMode(2)->current().name, "ADAT");
}

TEST_F(Drv, SampleRateIsWrittenIntoTheKeptRecordFirst) {
    CDrv& drv = ctx.drv();
    ASSERT_EQ(drv.readSampleRateInfo(), QEL_OK);
    EXPECT_EQ(drv.sampleRateInfo().currentRate(), 48000u);
    EXPECT_EQ(drv.sampleRateInfo().rates(),
              (std::vector<std::uint32_t>{44100, 48000, 88200, 96000, 176400, 192000}));
    trace();
    EXPECT_EQ(drv.setSampleRate(96000), QEL_OK);
    EXPECT_EQ(trace(), std::vector<std::string>{"fw QEL_REQ_SET_SAMPLE_RATE ok in=0000000000770100 out=-"});
    EXPECT_EQ(drv.sampleRateInfo().currentRate(), 96000u);
    ASSERT_EQ(drv.readSampleRateInfo(), QEL_OK);
    EXPECT_EQ(drv.sampleRateInfo().currentRate(), 96000u);

    EXPECT_EQ(drv.setSampleRate(12345), 0xE0000080u);
    EXPECT_EQ(drv.sampleRateInfo().currentRate(), 12345u);  // the kept word changes regardless
    rig->setWdmInUse(true);
    EXPECT_EQ(drv.setSampleRate(44100), QEL_E_WDM_DEVICE_IN_USE);
}

TEST_F(Drv, SyncSettingsAndParameterRoundTrip) {
    CDrv& drv = ctx.drv();
    ASSERT_EQ(drv.readSyncSettings(), QEL_OK);
    drv.syncSettings().setWord(0, 0xAABBCCDD);
    drv.syncSettings().setWord(4, 1);
    drv.syncSettings().setWord(8, 2);
    ASSERT_EQ(drv.writeSyncSettings(), QEL_OK);
    EXPECT_EQ(rig->syncSettings(), (std::array<std::uint32_t, 3>{0xAABBCCDD, 1, 2}));
    drv.syncSettings() = QEL_SYNC_SETTINGS{};
    ASSERT_EQ(drv.readSyncSettings(), QEL_OK);
    EXPECT_EQ(drv.syncSettings().masterKind(), 1u);
    EXPECT_EQ(drv.syncSettings().masterDevice(), 2u);
    EXPECT_EQ(drv.syncSettings().word(0), 0xAABBCCDDu);

    ASSERT_EQ(drv.readSyncParameter(), QEL_OK);
    EXPECT_EQ(drv.syncParameter(), 1u);
    drv.setSyncParameter(0);
    ASSERT_EQ(drv.writeSyncParameter(), QEL_OK);
    drv.setSyncParameter(7);
    rig->failNext(QEL_REQ_GET_SYNC_PARAMETER, 1, os::kErrorGenFailure);
    EXPECT_EQ(drv.readSyncParameter(), os::kErrorGenFailure);
    EXPECT_EQ(drv.syncParameter(), 7u);  // kept only on success
    ASSERT_EQ(drv.readSyncParameter(), QEL_OK);
    EXPECT_EQ(drv.syncParameter(), 0u);

    EXPECT_EQ(drv.beginSyncChange(), QEL_OK);
    EXPECT_EQ(rig->syncChangeDepth(), 1);
    EXPECT_EQ(drv.endSyncChange(), QEL_OK);
    EXPECT_EQ(rig->syncChangeDepth(), 0);
}

TEST_F(Drv, NameLookUpsOpenAndCloseTheDriver) {
    ctx.drv().closeDriver();  // the fixture's open: the look-ups' own opens are left
    CQelDevice dev(ctx, fw(), 0xA0DE);
    std::string name = "unchanged";
    EXPECT_EQ(dev.getDeviceName(fw(), 77, name), QEL_OK);
    EXPECT_EQ(name, "unchanged");
    EXPECT_FALSE(ctx.drv().isOpen());  // closed again at the end
    EXPECT_EQ(dev.getDeviceName(fw(), 2, name), QEL_OK);
    EXPECT_EQ(name, "K1814-001202");

    std::uint32_t id = 0;
    EXPECT_EQ(dev.findDeviceByName(fw(), "k1814-001202", id), QEL_OK);  // case-sensitive
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(dev.findDeviceByName(fw(), "K1814-001202", id), QEL_OK);
    EXPECT_EQ(id, 2u);

    rig->setVersionAnswer({2, 1});
    EXPECT_EQ(dev.getDeviceName(fw(), 2, name), QEL_E_VERSION_MISMATCH);
}

TEST_F(Drv, SerialTextsAreConvertedFromTheCodePage) {
    rig->withFwDevice(1, [](sim::FwDeviceModel& m) { m.serial = "Caf\xE9-\x80"; });
    CQelDevice dev(ctx, fw(), 0xA0DE);
    std::string name;
    EXPECT_EQ(dev.getDeviceName(fw(), 1, name), QEL_OK);
    EXPECT_EQ(name, "Caf\xC3\xA9-\xE2\x82\xAC");
}
