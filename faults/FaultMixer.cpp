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
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

namespace qel::faults {
namespace {

const QString kProgram = QStringLiteral("KavroMixerPanel");

// The scene of every mixer of a window, by tab text.
std::map<std::string, std::string> Scenes(const CKavroMixerPanelDlg& dlg)
{
    std::map<std::string, std::string> out;
    for (int i = 0; i < dlg.Containers().size() && i < dlg.TabCtrl()->count(); ++i) {
        const std::string name = dlg.TabCtrl()->tabText(i).toStdString();
        out[name] = mixer::WriteScene(dlg.Containers()[i]->CaptureScene(name));
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
    QCoreApplication::sendPostedEvents();
    for (CMixerCtrlContainer* c : dlg.Containers())
        c->Pacer().Flush();
    QCoreApplication::sendPostedEvents();
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
