// The mixer panel under a fault: its main window on the rig, and afterwards
// every surface compared with one built afresh on the rig as it is then (a
// new device-layer context that reads the device's values).
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTabBar>

#include <algorithm>
#include <map>
#include <sstream>

#include "device/QelContext.h"
#include "faults/ProgramUnderTest.h"
#include "mixer/app/KavroMixerPanelDlg.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/app/SceneFile.h"
#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripHeadPhoneOut.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/LevelMeter.h"
#include "os/Os.h"

namespace qel::faults {
namespace {

const QString kProgram = QStringLiteral("KavroMixerPanel");

// The scene of every mixer of a window, by tab text: the values the device
// holds and reports. Left out: the output balances, whose position goes to
// the device along an exponential curve and comes back as the plain value
// (a balance of 110 reads back as 54), the link buttons, which couple two
// faders in the program alone, and on USB the pans, which the device does
// not report (a surface built afresh shows their defaults).
std::map<std::string, std::string> Scenes(const CKavroMixerPanelDlg& dlg)
{
    std::map<std::string, std::string> out;
    for (int i = 0; i < dlg.Containers().size() && i < dlg.TabCtrl()->count(); ++i) {
        const CMixerCtrlContainer* c = dlg.Containers()[i];
        const std::string name = dlg.TabCtrl()->tabText(i).toStdString();
        mixer::Scene scene = c->CaptureScene(name);
        const bool usb = c->BusKind() == 0;
        std::erase_if(scene.values, [usb](const mixer::SceneValue& v) {
            return v.control == mixer::SceneControl::Balance || v.control == mixer::SceneControl::Link ||
                   (usb && (v.control == mixer::SceneControl::LeftPan || v.control == mixer::SceneControl::RightPan));
        });
        out[name] = mixer::WriteScene(scene);
    }
    return out;
}

// The surfaces a fresh main window builds on the rig as it is now.
std::map<std::string, std::string> FreshScenes(Platform& platform)
{
    const std::unique_ptr<os::IOs> os = platform.Open();
    QelContext context(*os);
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

// A mouse event on a fader at a position's pixel, as the pointer gives it.
void Mouse(CBitmapSlider* fader, QEvent::Type type, int position)
{
    const int along = fader->PosToPixel(position);
    const QPointF at = fader->IsVertical() ? QPointF(fader->width() / 2.0, along) : QPointF(along, fader->height() / 2.0);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, fader->mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(fader, &event);
}

// The fader a "hold" step names: main, phones, inN-left, inN-right.
CBitmapSlider* Fader(CMixerCtrlContainer* c, const std::string& name)
{
    if (name == "main") return c->MainOut() ? c->MainOut()->Volume() : nullptr;
    if (name == "phones") return c->HeadPhone() ? c->HeadPhone()->Volume() : nullptr;
    const std::size_t dash = name.find('-');
    const int strip = std::atoi(name.substr(2, dash - 2).c_str()) - 1;
    if (strip < 0 || strip >= c->InputStrips().size()) return nullptr;
    CChannelStripStereoIn* s = c->InputStrips()[strip];
    return name.substr(dash + 1) == "left" ? s->VolumeLeft() : s->VolumeRight();
}

class MixerUnderTest final : public ProgramUnderTest {
public:
    explicit MixerUnderTest(Platform& platform) : m_platform(platform) {}

    bool Start() override
    {
        m_os = m_platform.Open();
        m_context = std::make_unique<QelContext>(*m_os);
        m_dlg = std::make_unique<CKavroMixerPanelDlg>(*m_context, kProgram);
        if (!m_dlg->OnInitDialog())
            return false;
        m_dlg->show();
        return true;
    }

    void Tick(int n) override
    {
        // A user holding a fader shows no other tab; the fader stays under the hand.
        if (m_held) {
            if (m_held->GetPos() != m_heldAt && m_moved.empty())
                m_moved = "the held fader moved from " + std::to_string(m_heldAt) + " to " +
                          std::to_string(m_held->GetPos());
            return;
        }
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
        // A mute or link button of a strip clicked, one time in four. Not the
        // solo buttons: a solo lives in the program alone (the device holds
        // the mutes it makes), so a surface built afresh cannot show it. Not
        // the control section's: its Apply changes the driver's rate and sync.
        if (std::uniform_int_distribution<int>(0, 3)(random) == 0) {
            CMixerCtrlContainer* c = m_dlg->Containers()[shown];
            std::vector<CBitmapPushButton*> solos;
            for (const CChannelStripStereoIn* strip : c->InputStrips())
                if (strip) solos.insert(solos.end(), {strip->SoloLeft(), strip->SoloRight()});
            std::vector<CBitmapPushButton*> buttons;
            for (CBitmapPushButton* b : c->findChildren<CBitmapPushButton*>())
                if (b->isVisible() && b->isEnabled() && std::find(solos.begin(), solos.end(), b) == solos.end() &&
                    !qobject_cast<CControlSection*>(b->parentWidget()))
                    buttons.push_back(b);
            if (!buttons.empty()) {
                // The button's own click, as the pointer, the space bar and a
                // screen reader give it (QAbstractButton::click() would pass
                // by its state).
                buttons[std::uniform_int_distribution<std::size_t>(0, buttons.size() - 1)(random)]->Click();
                return;
            }
        }
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

    std::string Perform(const std::vector<std::string>& words) override
    {
        if (words[0] == "release") {
            if (!m_held) return "release: no fader is held (or it went with its device)";
            Mouse(m_held, QEvent::MouseButtonRelease, m_heldAt);
            m_held = nullptr;
            return {};
        }
        if (words[0] != "hold") return "the mixer cannot do '" + words[0] + "'";
        const int tab = std::atoi(words[1].c_str());
        if (tab >= m_dlg->TabCtrl()->count() || tab >= m_dlg->Containers().size())
            return "hold: no tab " + words[1];
        m_dlg->TabCtrl()->setCurrentIndex(tab);
        CBitmapSlider* fader = Fader(m_dlg->Containers()[tab], words[2]);
        if (fader == nullptr || !fader->isEnabled()) return "hold: no fader " + words[2] + " on tab " + words[1];
        Mouse(fader, QEvent::MouseButtonPress, fader->GetPos());
        Mouse(fader, QEvent::MouseMove, std::atoi(words[3].c_str()));
        m_held = fader;
        m_heldAt = fader->GetPos();  // pixels round to a position
        return {};
    }

    std::vector<std::string> Check(const Expectations& expect) override
    {
        std::vector<std::string> faults;
        if (!m_moved.empty()) faults.push_back(m_moved);
        if (m_held) faults.push_back("a fader is still held at the end (the scenario lacks a release)");
        const auto shown = Scenes(*m_dlg);
        const auto fresh = FreshScenes(m_platform);
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
    Platform& m_platform;
    std::unique_ptr<os::IOs> m_os;
    std::unique_ptr<QelContext> m_context;
    std::unique_ptr<CKavroMixerPanelDlg> m_dlg;
    QPointer<CBitmapSlider> m_held;
    int m_heldAt = 0;
    std::string m_moved;
};

}  // namespace

const char* ProgramName() { return "mixer"; }
std::unique_ptr<ProgramUnderTest> MakeProgram(Platform& platform) { return std::make_unique<MixerUnderTest>(platform); }

}  // namespace qel::faults
