// The mixer panel under a fault: its main window on the rig, and afterwards
// every surface compared with one built afresh on the rig as it is then (a
// new device-layer context that reads the device's values).
#include <QCoreApplication>
#include <QTabBar>

#include <map>
#include <sstream>

#include "device/QelContext.h"
#include "faults/ProgramUnderTest.h"
#include "mixer/app/KavroMixerPanelDlg.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/app/SceneFile.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/LevelMeter.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

namespace qel::faults {
namespace {

const QString kProgram = QStringLiteral("KavroMixerPanel");

// The scene of every mixer of a window, by tab text: the values the device
// holds and reports. Left out: the output balances, whose position goes to
// the device along an exponential curve and comes back as the plain value
// (a balance of 110 reads back as 54), and on USB the pans, which the
// device does not report (a surface built afresh shows their defaults).
std::map<std::string, std::string> Scenes(const CKavroMixerPanelDlg& dlg)
{
    std::map<std::string, std::string> out;
    for (int i = 0; i < dlg.Containers().size() && i < dlg.TabCtrl()->count(); ++i) {
        const CMixerCtrlContainer* c = dlg.Containers()[i];
        const std::string name = dlg.TabCtrl()->tabText(i).toStdString();
        mixer::Scene scene = c->CaptureScene(name);
        const bool usb = c->BusKind() == 0;
        std::erase_if(scene.values, [usb](const mixer::SceneValue& v) {
            return v.control == mixer::SceneControl::Balance ||
                   (usb && (v.control == mixer::SceneControl::LeftPan || v.control == mixer::SceneControl::RightPan));
        });
        out[name] = mixer::WriteScene(scene);
    }
    return out;
}

// The surfaces a fresh main window builds on the rig as it is now.
std::map<std::string, std::string> FreshScenes(sim::Rig& rig)
{
    os::SimOs os(rig);
    QelContext context(os);
    CKavroMixerPanelDlg dlg(context, kProgram);
    if (!dlg.OnInitDialog())
        return {};
    // Only the reads: the messages the build posted (its crossfader centres
    // the device) are dropped with the window, so that looking changes
    // nothing on the device.
    for (CMixerCtrlContainer* c : dlg.Containers())
        c->Pacer().Flush();
    return Scenes(dlg);
}

// The lines where the shown scene and the device's differ.
std::string Difference(const std::string& shown, const std::string& device)
{
    std::istringstream a(shown), b(device);
    std::string out, x, y;
    while (true) {
        const bool moreA = static_cast<bool>(std::getline(a, x)), moreB = static_cast<bool>(std::getline(b, y));
        if (!moreA && !moreB)
            break;
        if (!moreA) x = "(none)";
        if (!moreB) y = "(none)";
        if (x != y)
            out += "\n      shown:  " + x + "\n      device: " + y;
    }
    return out;
}

class MixerUnderTest final : public ProgramUnderTest {
public:
    explicit MixerUnderTest(sim::Rig& rig) : m_rig(rig) {}

    bool Start() override
    {
        m_os = std::make_unique<os::SimOs>(m_rig);
        m_context = std::make_unique<QelContext>(*m_os);
        m_dlg = std::make_unique<CKavroMixerPanelDlg>(*m_context, kProgram);
        if (!m_dlg->OnInitDialog())
            return false;
        m_dlg->show();
        return true;
    }

    void Tick(int n) override
    {
        if (const int tabs = m_dlg->TabCtrl()->count(); tabs > 1)
            m_dlg->TabCtrl()->setCurrentIndex(n % tabs);
    }

    void UserAction(std::mt19937& random) override
    {
        const int tabs = m_dlg->TabCtrl()->count();
        if (tabs > 1 && std::uniform_int_distribution<int>(0, 4)(random) == 0) {
            m_dlg->TabCtrl()->setCurrentIndex(std::uniform_int_distribution<int>(0, tabs - 1)(random));
            return;
        }
        const int shown = m_dlg->TabCtrl()->currentIndex();
        if (shown < 0 || shown >= m_dlg->Containers().size())
            return;
        // Faders, pans, balances and the crossfader; not the meters.
        std::vector<CBitmapSlider*> sliders;
        for (CBitmapSlider* s : m_dlg->Containers()[shown]->findChildren<CBitmapSlider*>())
            if (!qobject_cast<CLevelMeter*>(s) && s->isVisible() && s->isEnabled())
                sliders.push_back(s);
        if (sliders.empty())
            return;
        CBitmapSlider* s = sliders[std::uniform_int_distribution<std::size_t>(0, sliders.size() - 1)(random)];
        s->PlaceByUser(std::uniform_int_distribution<int>(s->Minimum(), s->Maximum())(random));
    }

    std::vector<std::string> Check(const Expectations& expect) override
    {
        std::vector<std::string> faults;
        const auto shown = Scenes(*m_dlg);
        const auto fresh = FreshScenes(m_rig);
        for (const auto& [name, scene] : shown) {
            const auto it = fresh.find(name);
            if (it == fresh.end())
                continue;  // not on the bus now
            if (it->second != scene)
                faults.push_back("the surface of " + name + " differs from the device:" + Difference(scene, it->second));
        }
        if (expect.tabs && m_dlg->TabCtrl()->count() != *expect.tabs)
            faults.push_back("tabs: " + std::to_string(m_dlg->TabCtrl()->count()) + ", expected " +
                             std::to_string(*expect.tabs));
        for (const auto& [name, connected] : expect.connected) {
            CMixerCtrlContainer* found = nullptr;
            for (int i = 0; i < m_dlg->TabCtrl()->count() && i < m_dlg->Containers().size(); ++i)
                if (m_dlg->TabCtrl()->tabText(i).toStdString() == name)
                    found = m_dlg->Containers()[i];
            if (found == nullptr)
                faults.push_back("no tab " + name);
            else if (found->Connected() != connected)
                faults.push_back(name + (connected ? " is not connected" : " is still connected"));
        }
        return faults;
    }

    void Stop() override
    {
        m_dlg.reset();
        m_context.reset();
        m_os.reset();
    }

private:
    sim::Rig& m_rig;
    std::unique_ptr<os::SimOs> m_os;
    std::unique_ptr<QelContext> m_context;
    std::unique_ptr<CKavroMixerPanelDlg> m_dlg;
};

}  // namespace

const char* ProgramName() { return "mixer"; }
std::unique_ptr<ProgramUnderTest> MakeProgram(sim::Rig& rig) { return std::make_unique<MixerUnderTest>(rig); }

}  // namespace qel::faults
