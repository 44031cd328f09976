// Scenes in the real main window on the simulated rig: the context menu's
// items, a save and load round trip on FireWire (Kavro 1814) and USB (Kavro
// U410) checked on the rig's device values, a scene of another model, and
// broken files that change nothing.
#include "mixer/app/tests/panel/MainWindowRig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "device/Device.h"
#include "device/QelContext.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/app/SceneFile.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "os/sim/SimOs.h"
#include "sim/FwFirmware.h"
#include "sim/Rig.h"
#include "sim/UsbDevice.h"
#include "ui/MessageBoxRecorder.h"

namespace {

constexpr std::uint32_t k610 = 1;
constexpr std::uint32_t k1814 = 2;
constexpr std::uint32_t kU410 = 16;
using qel::mixer::test::kProgram;

std::string ReadFile(const QString& path)
{
    std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const QString& path, const std::string& text)
{
    std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
    out << text;
}

// `text` with the value of the line of `key` set to `value`.
std::string WithValue(std::string text, const std::string& key, const std::string& value)
{
    const std::string head = key + " = ";
    const std::size_t at = text.find("\n" + head);
    if (at == std::string::npos)
        return text + "# no " + key + "\n";
    const std::size_t from = at + 1 + head.size();
    text.replace(from, text.find('\n', from) - from, value);
    return text;
}

qel::sim::FwFirmware::Channel FwChannel(qel::sim::Rig& rig, std::uint32_t id, std::uint8_t block, std::uint8_t ch)
{
    qel::sim::FwFirmware::Channel out;
    rig.withFwDevice(id, [&](qel::sim::FwDeviceModel& m) {
        if (const auto* c = qel::sim::FwFirmware::of(m)->channel(block, ch))
            out = *c;
    });
    return out;
}

qel::sim::UsbFeatureUnit UsbUnit(qel::sim::Rig& rig, std::uint8_t unit)
{
    qel::sim::UsbFeatureUnit out;
    rig.withUsbDevice(kU410, [&](qel::sim::UsbDeviceModel& m) { out = m.units[unit]; });
    return out;
}

struct Panel {
    Panel() : rig(qel::sim::Rig::makeDefault()), os(*rig), context(os), dlg(context, kProgram) {}
    std::unique_ptr<qel::sim::Rig> rig;
    qel::os::SimOs os;
    qel::QelContext context;
    CMessageBoxRecorder boxes;
    CKavroMixerPanelDlg dlg;
    QString chosen;

    bool Start()
    {
        if (!dlg.OnInitDialog())
            return false;
        dlg.SetSceneFileChooser([this](bool) { return chosen; });
        return true;
    }
    // Shows the mixer of the device with model `model`.
    CMixerCtrlContainer* Show(const std::string& model)
    {
        for (int i = 0; i < dlg.Containers().size(); ++i)
            if (dlg.Containers()[i]->GetDevice()->props().modelName == model) {
                dlg.ShowMixer(i);
                return dlg.Containers()[i];
            }
        return nullptr;
    }
    void Save(const QString& file)
    {
        chosen = file;
        dlg.SaveSceneAction()->trigger();
    }
    // Loads `file` and lets every paced request reach the device.
    void Load(const QString& file, CMixerCtrlContainer* c)
    {
        chosen = file;
        dlg.LoadSceneAction()->trigger();
        QCoreApplication::sendPostedEvents();
        c->Pacer().Flush();
        QCoreApplication::sendPostedEvents();
    }
    QString LastBox() const { return boxes.Entries().isEmpty() ? QString() : boxes.Entries().last().text; }
};

}  // namespace

class SceneTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<qel::mixer::test::ConfigFolder> m_folder;

    QString File(const char* name) const { return m_folder->FilePath(QString::fromLatin1(name)); }

private slots:
    void init()
    {
        m_folder = qel::mixer::test::ConfigFolder::WithShippedConfig();
        QVERIFY(m_folder->Valid());
    }

    void cleanup() { m_folder.reset(); }

    void contextMenuHasTheSceneItems()
    {
        Panel p;
        QVERIFY(p.Start());
        QVERIFY(p.dlg.SaveSceneAction());
        QCOMPARE(p.dlg.SaveSceneAction()->text(), QStringLiteral("Save scene..."));
        QCOMPARE(p.dlg.LoadSceneAction()->text(), QStringLiteral("Load scene..."));
        // A cancelled file choice writes nothing.
        p.chosen.clear();
        p.dlg.SaveSceneAction()->trigger();
        QVERIFY(QDir(m_folder->Path()).entryList(QDir::Files).size() == 1);
    }

    void fireWireSceneRoundTripEndsOnTheDevice()
    {
        Panel p;
        QVERIFY(p.Start());
        CMixerCtrlContainer* c = p.Show("Kavro 1814");
        QVERIFY(c);
        c->Pacer().Flush();
        p.Save(File("start.scene"));
        const std::string start = ReadFile(File("start.scene"));
        QVERIFY2(start.find("model = Kavro 1814\n") != std::string::npos, start.c_str());
        QVERIFY(start.find("input \"Optical S/PDIF\" link = off\n") != std::string::npos);
        QVERIFY(start.find("crossfader = ") != std::string::npos);

        std::string scene = start;
        scene = WithValue(scene, "input \"Input 1/2\" left volume", "-12 dB");
        scene = WithValue(scene, "input \"Input 1/2\" right volume", "-30 dB");
        scene = WithValue(scene, "input \"Input 3/4\" left pan", "-40");
        scene = WithValue(scene, "input \"Input 3/4\" right pan", "25");
        scene = WithValue(scene, "input \"Input 3/4\" link", "on");
        scene = WithValue(scene, "input \"Input 5/6\" right mute", "on");
        scene = WithValue(scene, "input \"Coax S/PDIF\" left solo", "on");
        scene = WithValue(scene, "master volume", "-6 dB");
        scene = WithValue(scene, "master balance", "30");
        scene = WithValue(scene, "master mute", "on");
        scene = WithValue(scene, "headphone volume", "-20 dB");
        scene = WithValue(scene, "crossfader", "40");
        scene = WithValue(scene, "sample rate", "96000");
        QVERIFY(scene != start);
        WriteFile(File("mix.scene"), scene);
        p.Load(File("mix.scene"), c);
        QVERIFY2(p.boxes.Entries().isEmpty(), qPrintable(p.LastBox()));

        // The device holds what the surface sent.
        qel::sim::Rig& rig = *p.rig;
        QCOMPARE(FwChannel(rig, k1814, 1, 1).volume, std::int16_t(-12 * 256));
        QCOMPARE(FwChannel(rig, k1814, 1, 2).volume, std::int16_t(-30 * 256));
        QCOMPARE(FwChannel(rig, k1814, 2, 1).balance, std::int16_t(40 * 256));
        QCOMPARE(FwChannel(rig, k1814, 2, 2).balance, std::int16_t(-25 * 256));
        QVERIFY(FwChannel(rig, k1814, 3, 2).mute);
        QCOMPARE(FwChannel(rig, k1814, 6, 0).volume, std::int16_t(-6 * 256));
        QVERIFY(FwChannel(rig, k1814, 6, 0).mute);
        QCOMPARE(FwChannel(rig, k1814, 7, 0).volume, std::int16_t(-20 * 256));
        QCOMPARE(FwChannel(rig, k1814, 8, 0).volume, std::int16_t(-40 * 256));
        QCOMPARE(rig.sampleRates().current, 96000u);
        // The solo of Coax S/PDIF left mutes every other side that is not muted itself.
        QVERIFY(!FwChannel(rig, k1814, 4, 1).mute);
        for (std::uint8_t block = 1; block <= 5; ++block)
            for (std::uint8_t ch = 1; ch <= 2; ++ch)
                if (block != 4 || ch != 1)
                    QVERIFY2(FwChannel(rig, k1814, block, ch).mute, qPrintable(QStringLiteral("%1/%2").arg(block).arg(ch)));
        QVERIFY(c->InputStrips()[1]->IsLinked());

        // The surface shows the scene: saved again, it is the same file.
        p.Save(File("again.scene"));
        QCOMPARE(ReadFile(File("again.scene")), scene);

        // Back to the start: every value returns, the solo-muted sides too.
        p.Load(File("start.scene"), c);
        QVERIFY2(p.boxes.Entries().isEmpty(), qPrintable(p.LastBox()));
        p.Save(File("back.scene"));
        QCOMPARE(ReadFile(File("back.scene")), start);
        for (std::uint8_t block = 1; block <= 5; ++block)
            for (std::uint8_t ch = 1; ch <= 2; ++ch)
                QVERIFY(!FwChannel(rig, k1814, block, ch).mute);
        QCOMPARE(rig.sampleRates().current, 48000u);
    }

    void usbSceneRoundTripEndsOnTheDevice()
    {
        Panel p;
        QVERIFY(p.Start());
        CMixerCtrlContainer* c = p.Show("Kavro U410");
        QVERIFY(c);
        c->Pacer().Flush();
        p.Save(File("start.scene"));
        const std::string start = ReadFile(File("start.scene"));
        QVERIFY2(start.find("model = Kavro U410\n") != std::string::npos, start.c_str());
        std::string scene = start;
        scene = WithValue(scene, "input \"Input 3/4\" left volume", "-9 dB");
        scene = WithValue(scene, "input \"Input 1/2\" right mute", "on");
        scene = WithValue(scene, "headphone mute", "on");
        scene = WithValue(scene, "crossfader", "-100");
        WriteFile(File("mix.scene"), scene);
        p.Load(File("mix.scene"), c);
        QVERIFY2(p.boxes.Entries().isEmpty(), qPrintable(p.LastBox()));

        QCOMPARE(UsbUnit(*p.rig, 2).volume[1], std::int16_t(-9 * 256));
        QCOMPARE(UsbUnit(*p.rig, 1).mute[2], std::uint8_t(1));
        QCOMPARE(UsbUnit(*p.rig, 4).mute[0], std::uint8_t(1));
        QCOMPARE(UsbUnit(*p.rig, 5).volume[0], std::int16_t(100 * 256));
        p.Save(File("again.scene"));
        QCOMPARE(ReadFile(File("again.scene")), scene);
    }

    void sceneOfAnotherModelAppliesWhatMatches()
    {
        Panel p;
        QVERIFY(p.Start());
        CMixerCtrlContainer* big = p.Show("Kavro 1814");
        big->Pacer().Flush();
        p.Save(File("1814.scene"));
        std::string scene = WithValue(ReadFile(File("1814.scene")), "input \"Input 1/2\" left volume", "-17 dB");
        scene = WithValue(scene, "input \"Input 5/6\" left volume", "-5 dB");
        scene = WithValue(scene, "digital mode", "ADAT");
        WriteFile(File("1814.scene"), scene);

        CMixerCtrlContainer* small = p.Show("Kavro 610");
        small->Pacer().Flush();
        p.Load(File("1814.scene"), small);
        QCOMPARE(FwChannel(*p.rig, k610, 1, 1).volume, std::int16_t(-17 * 256));
        // The 610's third block is its main out: the 1814's Input 5/6 did not reach it.
        QCOMPARE(FwChannel(*p.rig, k610, 3, 1).volume, std::int16_t(0));
        QCOMPARE(p.boxes.Entries().size(), 1);
        const QString text = p.LastBox();
        QVERIFY2(text.startsWith(QStringLiteral("Scene of the Kavro 1814 loaded on the Kavro 610: ")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("\ninput \"Input 5/6\" left volume = -5 dB: no such strip on this surface")),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("\ninput \"Optical S/PDIF\" link = off: no such strip on this surface")));
        QVERIFY(text.contains(QStringLiteral("\ncrossfader = 0: no crossfader on this surface")));
        QVERIFY(text.contains(QStringLiteral("\ndigital mode = ADAT: not on this surface")));
        QVERIFY(!text.contains(QStringLiteral("\"Input 1/2\" left volume")));
    }

    void brokenFilesChangeNothing()
    {
        Panel p;
        QVERIFY(p.Start());
        CMixerCtrlContainer* c = p.Show("Kavro 1814");
        c->Pacer().Flush();
        p.Save(File("start.scene"));
        const std::string start = ReadFile(File("start.scene"));
        const auto volume = FwChannel(*p.rig, k1814, 1, 1).volume;

        struct Case {
            const char* name;
            std::string text;
            QString error;
        } cases[] = {
            {"unknown.scene", WithValue(start, "input \"Input 1/2\" left volume", "-12 dB") + "input \"Input 1/2\" left gain = 3\n",
             QStringLiteral("unknown key \"input \"Input 1/2\" left gain\"")},
            {"range.scene", WithValue(WithValue(start, "input \"Input 1/2\" left volume", "-12 dB"), "crossfader", "200"),
             QStringLiteral("200 is out of range for \"crossfader\" (-127..127)")},
            {"nomodel.scene", "input \"Input 1/2\" left volume = -12 dB\n",
             QStringLiteral("line 1: the scene names no model")},
            {"binary.scene", std::string("model = Kavro 1814\ninput \"Input 1/2\" left volume = -12 dB\n\x01\x02\x03", 62),
             QStringLiteral("line 3: not text (byte 0x01 at column 1)")},
        };
        for (const Case& k : cases) {
            WriteFile(File(k.name), k.text);
            const int before = int(p.boxes.Entries().size());
            p.Load(File(k.name), c);
            QCOMPARE(int(p.boxes.Entries().size()), before + 1);
            const QString text = p.LastBox();
            QVERIFY2(text.startsWith(QStringLiteral("Scene not loaded: ") + File(k.name) + QStringLiteral(": line ")),
                     qPrintable(text));
            QVERIFY2(text.contains(k.error), qPrintable(text));
            QCOMPARE(FwChannel(*p.rig, k1814, 1, 1).volume, volume);
            p.Save(File("now.scene"));
            QCOMPARE(ReadFile(File("now.scene")), start);
        }
        p.Load(File("missing.scene"), c);
        QCOMPARE(p.LastBox(), QStringLiteral("Scene not loaded: cannot open ") + File("missing.scene"));
    }
};

QTEST_MAIN(SceneTest)
#include "SceneTest.moc"
