// The container's display refreshes against the simulated rig: sample-rate
// fallback, digital I/O modes, digital-input read-outs and the paced read of
// the output values.
#include "PanelRig.h"

#include "device/AvcFrames.h"
#include "device/QelDevice.h"
#include "device/Requests.h"
#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripHeadPhoneOut.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/MatrixStatic.h"
#include "sim/FwFirmware.h"
#include "ui/ControlId.h"

#include <QLabel>
#include <QTest>

#include <tuple>

using qel::mixer::test::PanelRig;
using Rates = qel::sim::Rig::SampleRates;

namespace {

// The rig with the driver's rates set before anything reads them.
std::unique_ptr<qel::sim::Rig> RigWithRates(std::uint32_t current, std::vector<std::uint32_t> possible)
{
    auto rig = qel::sim::Rig::makeDefault();
    Rates rates;
    rates.current = current;
    rates.possible = std::move(possible);
    rig->setSampleRates(rates);
    return rig;
}

// The trace lines of one request.
std::vector<std::string> Requests(const std::vector<std::string>& trace, const std::string& name)
{
    std::vector<std::string> found;
    for (const std::string& line : trace)
        if (line.find(" " + name + " ") != std::string::npos)
            found.push_back(line);
    return found;
}

std::string Field(const std::string& line, const std::string& key)
{
    const std::size_t at = line.find(" " + key + "=");
    if (at == std::string::npos)
        return {};
    const std::size_t from = at + key.size() + 2;
    return line.substr(from, line.find(' ', from) - from);
}

int Byte(const std::string& hex, std::size_t i)
{
    return 2 * i + 2 <= hex.size() ? std::stoi(hex.substr(2 * i, 2), nullptr, 16) : -1;
}

// (block, channel, selector) of every feature-block STATUS in the trace.
using Query = std::tuple<int, int, int>;
std::vector<Query> FeatureQueries(const std::vector<std::string>& trace)
{
    std::vector<Query> q;
    for (const std::string& line : Requests(trace, "QEL_REQ_AVC_TRANSACTION")) {
        const std::string frame = Field(line, "in");
        if (Byte(frame, 0) == qel::AVC_CTYPE_STATUS && Byte(frame, 2) == 0xB8)
            q.emplace_back(Byte(frame, 4), Byte(frame, 7), Byte(frame, 8));
    }
    return q;
}

// The reads one element's refresh makes, by its kind (FireWire).
void ExpectReads(std::vector<Query>& q, const CMixerElement* e)
{
    const int b = e->BlockId();
    const int vol = qel::AVC_SELECTOR_VOLUME, mute = qel::AVC_SELECTOR_MUTE, bal = qel::AVC_SELECTOR_BALANCE;
    if (e->TypeName() == "Input")
        q.insert(q.end(), {{b, 1, vol}, {b, 2, vol}, {b, 1, mute}, {b, 2, mute}, {b, 1, bal}, {b, 2, bal}});
    else if (e->TypeName() == "Master" || e->TypeName() == "Headphone")
        q.insert(q.end(), {{b, 0, vol}, {b, 0, mute}, {b, 0, bal}});
}

std::uint32_t DeviceId(PanelRig& r, std::size_t i)
{
    return r.PropsAt(i).deviceId;
}

void SetInput(PanelRig& r, std::size_t i, int input, bool present, std::uint8_t code)
{
    r.rig->withFwDevice(DeviceId(r, i), [&](qel::sim::FwDeviceModel& m) {
        qel::sim::FwFirmware::of(m)->setDigitalInput(input, present, code);
    });
}

bool Lit(const CBitmapPushButton* button)
{
    return button && (button->GetCheck() & CBitmapPushButton::StateChecked);
}

QString Label(const QWidget* parent, int id)
{
    auto* label = FindControl<QLabel>(parent, id);
    return label ? label->text() : QString("<none>");
}

} // namespace

class ContainerRefreshTest : public QObject {
    Q_OBJECT

private slots:
    // The device's rate is listed: nothing is sent, the section shows it.
    void listedRateIsKept()
    {
        PanelRig r(RigWithRates(96000, {44100, 48000, 96000}));
        r.rig->takeTrace();
        CMixerCtrlContainer* c = r.Build(PanelRig::k610);
        QVERIFY(Requests(r.rig->takeTrace(), "QEL_REQ_SET_SAMPLE_RATE").empty());
        QCOMPARE(c->ControlSection()->SupportedRates(), (QList<quint32>{44100, 48000, 96000}));
        QCOMPARE(c->ControlSection()->CurrentRate(), 96000u);
        QCOMPARE(c->CurrentSampleRate(), 96000u);
    }

    // 44100 is not listed and no listed rate is a multiple of it: 44100
    // itself goes to the driver.
    void unlistedRateWithoutFamilyMemberSendsTheBase()
    {
        PanelRig r(RigWithRates(44100, {48000, 96000}));
        r.rig->takeTrace();
        CMixerCtrlContainer* c = r.Build(PanelRig::k610);
        const auto sets = Requests(r.rig->takeTrace(), "QEL_REQ_SET_SAMPLE_RATE");
        QCOMPARE(sets.size(), std::size_t(1));
        QCOMPARE(Field(sets[0], "in"), std::string("0000000044ac0000"));
        // Not among the offered rates: the section blinks it as unsupported.
        QCOMPARE(c->ControlSection()->RateMessage(), QString("notSupported"));
        QCOMPARE(c->CurrentSampleRate(), 44100u);
    }

    // 96000 not listed, 44100 and 48000 are: the 48 kHz family's first
    // listed rate, 48000, is chosen.
    void unlistedRateMovesToItsFamily()
    {
        PanelRig r(RigWithRates(96000, {44100, 48000}));
        r.rig->takeTrace();
        CMixerCtrlContainer* c = r.Build(PanelRig::k610);
        const auto sets = Requests(r.rig->takeTrace(), "QEL_REQ_SET_SAMPLE_RATE");
        QCOMPARE(sets.size(), std::size_t(1));
        QCOMPARE(Field(sets[0], "in"), std::string("0000000080bb0000"));
        QCOMPARE(r.rig->sampleRates().current, 48000u);
        QCOMPARE(c->ControlSection()->CurrentRate(), 48000u);
        QCOMPARE(c->CurrentSampleRate(), 48000u);
    }

    // A failed rate read must not move the device to another rate.
    void failedRateReadSendsNothing()
    {
        PanelRig r(RigWithRates(96000, {44100, 48000, 96000}));
        CMixerCtrlContainer* c = r.Build(PanelRig::k610);
        r.rig->takeTrace();
        r.rig->failNext(qel::QEL_REQ_GET_SAMPLE_RATE_INFO, 1, 0xE0000001);
        c->RefreshSampleRate();
        const auto trace = r.rig->takeTrace();
        QCOMPARE(Requests(trace, "QEL_REQ_GET_SAMPLE_RATE_INFO").size(), std::size_t(1));
        QVERIFY(Requests(trace, "QEL_REQ_SET_SAMPLE_RATE").empty());
        QVERIFY(c->ControlSection()->SupportedRates().isEmpty());
        QCOMPARE(r.rig->sampleRates().current, 96000u);
    }

    // Digital I/O modes on the model with both S/PDIF inputs.
    void digitalModesRelabelAndHideTheOpticalInput()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        qel::Device* d = r.DeviceAt(PanelRig::k1814);
        CControlSection* cs = c->ControlSection();
        CChannelStripStereoIn* optical = nullptr;
        for (CChannelStripStereoIn* s : c->InputStrips())
            if (s && s->GetConnectionName() == "OPT_SPDIF")
                optical = s;
        QVERIFY(optical);
        const QString caption = optical->Caption();
        QCOMPARE(Label(cs, CControlSection::kOpticalLabelId), QString("Opt. SPDIF"));
        QVERIFY(!optical->VolumeLeft()->isHidden());

        d->setModeValue(1);
        c->RefreshDigitalIo();
        QCOMPARE(Label(cs, CControlSection::kOpticalLabelId), QString("ADAT"));
        QCOMPARE(optical->Caption(), QString("ADAT"));
        QVERIFY(optical->VolumeLeft()->isHidden());
        QVERIFY(Lit(FindControl<CBitmapPushButton>(cs, CControlSection::kAdatId)));
        QVERIFY(!Lit(FindControl<CBitmapPushButton>(cs, CControlSection::kSpdifId)));

        d->setModeValue(2);
        c->RefreshDigitalIo();
        QCOMPARE(Label(cs, CControlSection::kOpticalLabelId), QString("SMUX"));
        QCOMPARE(optical->Caption(), QString("SMUX"));

        d->setModeValue(3);
        c->RefreshDigitalIo();
        QVERIFY(!FindControl(cs, CControlSection::kOpticalLabelId)->isEnabled());
        QVERIFY(!FindControl(cs, CControlSection::kOpticalButtonId)->isEnabled());
        QVERIFY(optical->isHidden());
        // The other strips stay.
        QVERIFY(!c->MainOut()->isHidden());

        d->setModeValue(0);
        c->RefreshDigitalIo();
        QVERIFY(!optical->isHidden());
        QVERIFY(!optical->VolumeLeft()->isHidden());
        QCOMPARE(optical->Caption(), caption);
        QCOMPARE(Label(cs, CControlSection::kOpticalLabelId), QString("Opt. SPDIF"));
        QVERIFY(FindControl(cs, CControlSection::kOpticalButtonId)->isEnabled());
        // FireWire keeps the PC source.
        QVERIFY(FindControl(cs, CControlSection::kPcButtonId)->isEnabled());
    }

    void usbDisablesThePcSource()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::kU410);
        QVERIFY(!FindControl(c->ControlSection(), CControlSection::kPcButtonId)->isEnabled());
        QVERIFY(!FindControl(c->ControlSection(), CControlSection::kPcLabelId)->isEnabled());
        QVERIFY(FindControl(c->ControlSection(), CControlSection::kOpticalButtonId)->isEnabled());
    }

    // The inputs' detection results as the build reads them, shown on the
    // S/PDIF strips: rate name, an invalid rate as an alert, or "Disconnected".
    void digitalInputReadouts()
    {
        PanelRig r;  // the driver runs at 48 kHz
        SetInput(r, PanelRig::k1814, 1, true, 4);   // coaxial locked at 48 kHz
        SetInput(r, PanelRig::k1814, 2, true, 3);   // optical locked at 44.1 kHz
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QCOMPARE(c->CoaxialInput(), (CMixerCtrlContainer::InputState{true, 4}));
        QCOMPARE(c->OpticalInput(), (CMixerCtrlContainer::InputState{true, 3}));
        QCOMPARE(c->CoaxialShown(), c->CoaxialInput());
        CChannelStripStereoIn* coax = nullptr;
        CChannelStripStereoIn* optical = nullptr;
        for (CChannelStripStereoIn* s : c->InputStrips()) {
            if (s && s->GetConnectionName() == "COAX_SPDIF")
                coax = s;
            if (s && s->GetConnectionName() == "OPT_SPDIF")
                optical = s;
        }
        QVERIFY(coax && optical);
        QCOMPARE(coax->StatusText(), QString("48kHz"));
        QVERIFY(!coax->AlertBlinking());
        QCOMPARE(optical->StatusText(), QString("44.1kHz"));
        QVERIFY(optical->AlertBlinking());

        PanelRig none;
        CMixerCtrlContainer* n = none.Build(PanelRig::k1814);
        QCOMPARE(n->CoaxialInput(), (CMixerCtrlContainer::InputState{false, 15}));
        for (CChannelStripStereoIn* s : n->InputStrips())
            if (s && (s->GetConnectionName() == "COAX_SPDIF" || s->GetConnectionName() == "OPT_SPDIF")) {
                QCOMPARE(s->StatusText(), QString("Disconnected"));
                QVERIFY(!s->AlertBlinking());
            }
    }

    // Every element's values are read in element order, one element per
    // step; nothing is read inside the build itself.
    void outputValuesAreReadInOrderAndShown()
    {
        PanelRig r;
        qel::CQelDevice* fw = r.DeviceAt(PanelRig::k1814)->fireWire();
        r.rig->withFwDevice(DeviceId(r, PanelRig::k1814), [](qel::sim::FwDeviceModel& m) {
            qel::sim::FwFirmware::of(m)->knob(1, 1, -12.5);
            qel::sim::FwFirmware::of(m)->knob(8, 0, -40.0);
        });
        QCOMPARE(fw->setMute(2, 2, 1), qel::QEL_OK);
        r.rig->takeTrace();
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(FeatureQueries(r.rig->takeTrace()).empty());
        const std::size_t steps = c->Pacer().Pending();
        // One per element, then the crossfader, then the look at failed reads.
        QCOMPARE(steps, std::size_t(c->Elements().size() + 2));

        c->Pacer().Flush();
        std::vector<Query> expected;
        for (const CMixerElement* e : c->Elements())
            ExpectReads(expected, e);
        expected.emplace_back(8, 0, qel::AVC_SELECTOR_VOLUME);
        QCOMPARE(FeatureQueries(r.rig->takeTrace()), expected);

        CChannelStripStereoIn* first = c->InputStrips()[0];
        QCOMPARE(first->VolumeLeft()->GetPos(), 12);
        QCOMPARE(first->ReadoutLeft()->Text().trimmed(), QString("-12.5"));
        QCOMPARE(c->InputStrips()[1]->MuteRightWord(), 0);
        QCOMPARE(c->InputStrips()[1]->MuteLeftWord(), -1);
        QCOMPARE(c->CrossFader()->Slider()->GetPos(), 40);
    }

    // A newer refresh supersedes the steps of an older one; a closed device
    // is not asked at all.
    void outputRefreshIsSupersededAndSkipsAGoneDevice()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k610);
        c->RefreshOutputValues();
        c->Pacer().Flush();
        std::vector<Query> once;
        for (const CMixerElement* e : c->Elements())
            ExpectReads(once, e);
        r.rig->takeTrace();
        c->RefreshOutputValues();
        c->RefreshOutputValues();
        c->Pacer().Flush();
        QCOMPARE(FeatureQueries(r.rig->takeTrace()), once);

        c->RefreshOutputValues();
        r.DeviceAt(PanelRig::k610)->fireWire()->closeDevice();
        c->Pacer().Flush();
        QVERIFY(FeatureQueries(r.rig->takeTrace()).empty());

        // Steps still queued when the container goes die with it.
        PanelRig gone;
        CMixerCtrlContainer* g = gone.Build(PanelRig::k610);
        QVERIFY(!g->Pacer().Idle());
        gone.Destroy(g);
        QTest::qWait(kSettleMs);
    }

    // USB: the strips' balances are set to hard left and right instead of read.
    void usbOutputRefreshSetsBalances()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::kU410);
        r.rig->takeTrace();
        c->Pacer().Flush();
        const auto transfers = Requests(r.rig->takeTrace(), "QEL_USB_REQ_CONTROL_TRANSFER");
        QVERIFY(!transfers.empty());
        const qel::FB_PARAMS* unit = r.DeviceAt(PanelRig::kU410)->usb()->featureUnit(1);
        QVERIFY(unit);
        // The adapter negates: the device gets 127 on the left, -127 on the
        // right (cached in the 16-bit 1/256 encoding).
        QCOMPARE(unit->balance[1], std::int32_t(std::uint16_t(127 * 256)));
        QCOMPARE(unit->balance[2], std::int32_t(std::uint16_t(-127 * 256)));
    }

private:
    static constexpr int kSettleMs = 120;
};

QTEST_MAIN(ContainerRefreshTest)
#include "ContainerRefreshTest.moc"
