// Scenes on the surface: the shown values as a scene, and a scene applied by
// working the surface's controls as a user would, so that every value takes
// the user's path (element message, container, paced device requests).
#include "mixer/app/MixerCtrlContainer.h"

#include <QCoreApplication>

#include <algorithm>

#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripHeadPhoneOut.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/MixerMessages.h"
#include "mixer/controls/ValueScaling.h"
#include "ui/ControlId.h"
#include "ui/WindowMessage.h"

using qel::mixer::Scene;
using qel::mixer::SceneControl;
using qel::mixer::SceneStrip;
using qel::mixer::SceneValue;

namespace {

constexpr int kLit = 0;

bool Checked(const CBitmapPushButton* button)
{
    return button && (button->GetCheck() & CBitmapPushButton::StateChecked);
}

SceneValue Make(SceneStrip strip, const QString& caption, SceneControl control, int value)
{
    return SceneValue::Of(strip, caption.toStdString(), control, value);
}

int FaderLevel(const CBitmapSlider* fader)
{
    return scaling::LevelFromFaderPos(fader->GetPos());
}

} // namespace

qel::mixer::Scene CMixerCtrlContainer::CaptureScene(const std::string& model) const
{
    Scene scene;
    scene.model = model;
    bool anySolo = false;
    for (const ChannelState& side : m_channelStates)
        anySolo = anySolo || (side.soloWord && *side.soloWord == kLit);
    // A side that a solo elsewhere silences shows its mute lit; its own mute is the one kept.
    const auto muted = [anySolo](const ChannelState& side) {
        return anySolo ? side.mute : side.muteWord && *side.muteWord == kLit;
    };
    std::size_t record = 0;
    for (int i = 0; i < m_inputStrips.size(); ++i) {
        CChannelStripStereoIn* in = m_inputStrips[i];
        if (!in)
            continue;
        const QString caption = m_inputCaptions.value(i);
        const auto add = [&](SceneControl control, int value) {
            scene.values.push_back(Make(SceneStrip::Input, caption, control, value));
        };
        add(SceneControl::LeftVolume, FaderLevel(in->VolumeLeft()));
        add(SceneControl::RightVolume, FaderLevel(in->VolumeRight()));
        add(SceneControl::LeftPan, in->PanLeft()->GetPos());
        add(SceneControl::RightPan, in->PanRight()->GetPos());
        if (record + 1 < m_channelStates.size()) {
            const ChannelState& left = m_channelStates[record];
            const ChannelState& right = m_channelStates[record + 1];
            add(SceneControl::LeftMute, muted(left));
            add(SceneControl::RightMute, muted(right));
            add(SceneControl::LeftSolo, left.soloWord && *left.soloWord == kLit);
            add(SceneControl::RightSolo, right.soloWord && *right.soloWord == kLit);
        }
        add(SceneControl::Link, in->IsLinked());
        record += 2;
    }
    if (m_mainOut) {
        scene.values.push_back(Make(SceneStrip::Master, {}, SceneControl::Volume, FaderLevel(m_mainOut->Volume())));
        scene.values.push_back(Make(SceneStrip::Master, {}, SceneControl::Balance, m_mainOut->Balance()->GetPos()));
        scene.values.push_back(Make(SceneStrip::Master, {}, SceneControl::Mute, m_mainOut->MuteWord() == kLit));
    }
    if (m_headPhone) {
        scene.values.push_back(Make(SceneStrip::Headphone, {}, SceneControl::Volume, FaderLevel(m_headPhone->Volume())));
        scene.values.push_back(Make(SceneStrip::Headphone, {}, SceneControl::Balance, m_headPhone->Balance()->GetPos()));
        scene.values.push_back(Make(SceneStrip::Headphone, {}, SceneControl::Mute, m_headPhone->MuteWord() == kLit));
    }
    if (m_crossFader)
        scene.values.push_back(Make(SceneStrip::None, {}, SceneControl::Crossfader, m_crossFader->Slider()->GetPos()));
    if (m_controlSection) {
        // Only choices the surface shows.
        const auto chosen = [](const CBitmapPushButton* b) { return Checked(b) && !b->isHidden(); };
        for (int i = 0; i < 5; ++i)
            if (chosen(m_controlSection->SyncButton(i)))
                scene.values.push_back(Make(SceneStrip::None, {}, SceneControl::ClockSource, i));
        for (int i = 0; i < 4; ++i)
            if (chosen(m_controlSection->DigitalButton(i)))
                scene.values.push_back(Make(SceneStrip::None, {}, SceneControl::DigitalMode, i));
        if (m_controlSection->CurrentRate() != 0)
            scene.values.push_back(
                Make(SceneStrip::None, {}, SceneControl::SampleRate, int(m_controlSection->CurrentRate())));
    }
    return scene;
}

CMixerCtrlContainer::SceneReport CMixerCtrlContainer::ApplyScene(const Scene& scene)
{
    SceneReport report;
    const auto applied = [&report](const SceneValue& v) { report.applied.push_back(v.Key() + " = " + v.ValueText()); };
    const auto skipped = [&report](const SceneValue& v, const std::string& why) {
        report.skipped.push_back(v.Key() + " = " + v.ValueText() + ": " + why);
    };
    // What a control posted reaches its element, and what the element posted
    // reaches this container, before the next control is worked.
    const auto deliver = [this](QObject* element) {
        QCoreApplication::sendPostedEvents(element, 0);
        QCoreApplication::sendPostedEvents(this, 0);
    };
    const auto move = [&deliver](CMixerElement* element, CBitmapSlider* slider, int position, bool release) {
        slider->MoveByUser(position);
        if (release)
            QCoreApplication::postEvent(element,
                                        new CWindowMessage(UM_SLIDER_RELEASED, quintptr(ControlId(slider)), 0));
        deliver(element);
    };
    const auto shown = [](const QWidget* control) { return control && !control->isHidden() && control->isEnabled(); };

    // ---- The control section: clock source, sample rate, digital mode.
    const auto first = [&scene](SceneControl control) -> const SceneValue* {
        for (const SceneValue& v : scene.values)
            if (v.strip == SceneStrip::None && v.control == control)
                return &v;
        return nullptr;
    };
    // A button of the section that selects v's value; the button's state
    // afterwards, as the device's answer left it, tells whether it took it.
    const auto select = [&](const SceneValue& v, CBitmapPushButton* button, bool refreshIo) {
        if (!shown(button)) {
            skipped(v, "not on this surface");
            return;
        }
        button->Click();
        deliver(m_controlSection);
        if (refreshIo)
            RefreshDigitalIo();
        if (Checked(button))
            applied(v);
        else
            skipped(v, "the device did not take it");
    };
    if (const SceneValue* v = first(SceneControl::ClockSource))
        select(*v, m_controlSection ? m_controlSection->SyncButton(v->value) : nullptr, /*refreshIo=*/true);
    if (const SceneValue* v = first(SceneControl::SampleRate)) {
        const quint32 target = quint32(v->value);
        const QList<quint32> rates = m_controlSection ? m_controlSection->SupportedRates() : QList<quint32>{};
        if (!rates.contains(target)) {
            skipped(*v, "the device does not offer it");
        } else if (m_controlSection->CurrentRate() != target) {
            // The rate buttons step to it, Apply sets it.
            for (qsizetype n = 0; n <= rates.size() && m_controlSection->SelectedRate() != target; ++n) {
                const quint32 from = m_controlSection->SelectedRate() ? m_controlSection->SelectedRate()
                                                                      : m_controlSection->CurrentRate();
                (rates.indexOf(from) < rates.indexOf(target) ? m_controlSection->RateUp()
                                                             : m_controlSection->RateDown())->Click();
            }
            if (m_controlSection->SelectedRate() == target && shown(m_controlSection->Apply())) {
                m_controlSection->Apply()->Click();
                deliver(m_controlSection);
            }
            if (m_controlSection->CurrentRate() == target)
                applied(*v);
            else
                skipped(*v, "the device did not take it");
        } else {
            applied(*v);
        }
    }
    if (const SceneValue* v = first(SceneControl::DigitalMode))
        select(*v, m_controlSection ? m_controlSection->DigitalButton(v->value) : nullptr, /*refreshIo=*/false);

    // ---- Input strips: faders and pans with the link off, then the link.
    // The strip of a caption, its first channel record and whether it shows.
    struct Strip {
        CChannelStripStereoIn* in = nullptr;
        std::size_t record = 0;
    };
    const auto stripOf = [this](const std::string& caption) {
        std::size_t record = 0;
        for (int i = 0; i < m_inputStrips.size(); ++i) {
            if (!m_inputStrips[i])
                continue;
            if (m_inputCaptions.value(i).compare(QString::fromStdString(caption), Qt::CaseInsensitive) == 0)
                return Strip{m_inputStrips[i], record};
            record += 2;
        }
        return Strip{};
    };
    // The sides' wanted mute and solo; unnamed sides keep theirs.
    bool anySolo = false;
    for (const ChannelState& side : m_channelStates)
        anySolo = anySolo || (side.soloWord && *side.soloWord == kLit);
    std::vector<int> wantMute(m_channelStates.size(), -1);
    std::vector<int> wantSolo(m_channelStates.size(), -1);
    std::vector<const SceneValue*> sideValues;
    for (CChannelStripStereoIn* in : std::as_const(m_inputStrips)) {
        if (!in)
            continue;
        std::vector<const SceneValue*> mine;
        Strip strip;
        for (const SceneValue& v : scene.values) {
            if (v.strip != SceneStrip::Input)
                continue;
            const Strip s = stripOf(v.caption);
            if (s.in == in) {
                mine.push_back(&v);
                strip = s;
            }
        }
        if (mine.empty())
            continue;
        if (in->isHidden() || in->VolumeLeft()->isHidden()) {
            for (const SceneValue* v : mine)
                skipped(*v, "hidden in this digital mode");
            continue;
        }
        const bool wasLinked = in->IsLinked();
        const SceneValue* link = nullptr;
        if (wasLinked)
            in->Link()->Click();
        for (const SceneValue* v : mine) {
            switch (v->control) {
            case SceneControl::LeftVolume:
            case SceneControl::RightVolume:
                move(in, v->control == SceneControl::LeftVolume ? in->VolumeLeft() : in->VolumeRight(),
                     scaling::FaderPosFromLevel(v->value), false);
                applied(*v);
                break;
            case SceneControl::LeftPan:
            case SceneControl::RightPan:
                move(in, v->control == SceneControl::LeftPan ? in->PanLeft() : in->PanRight(), v->value, true);
                applied(*v);
                break;
            case SceneControl::Link:
                link = v;
                break;
            default: {
                const bool left = v->control == SceneControl::LeftMute || v->control == SceneControl::LeftSolo;
                const std::size_t r = strip.record + (left ? 0 : 1);
                if (r >= m_channelStates.size()) {
                    skipped(*v, "not on this surface");
                    break;
                }
                const bool solo = v->control == SceneControl::LeftSolo || v->control == SceneControl::RightSolo;
                (solo ? wantSolo : wantMute)[r] = v->value;
                sideValues.push_back(v);
                break;
            }
            }
        }
        if (link ? link->value != 0 : wasLinked)
            in->Link()->Click();
        if (link)
            applied(*link);
    }
    for (const SceneValue& v : scene.values)
        if (v.strip == SceneStrip::Input && !stripOf(v.caption).in)
            skipped(v, "no such strip on this surface");

    // Mutes and solos: every solo off, the own mutes as wanted, the solos
    // on again; the container's mute and solo logic runs for each click.
    if (!sideValues.empty()) {
        const auto button = [this](std::size_t r, bool solo) -> CBitmapPushButton* {
            std::size_t record = 0;
            for (CChannelStripStereoIn* in : std::as_const(m_inputStrips)) {
                if (!in)
                    continue;
                if (r == record || r == record + 1) {
                    const bool left = r == record;
                    return solo ? (left ? in->SoloLeft() : in->SoloRight()) : (left ? in->MuteLeft() : in->MuteRight());
                }
                record += 2;
            }
            return nullptr;
        };
        const auto lit = [this](std::size_t r, bool solo) {
            const int* word = solo ? m_channelStates[r].soloWord : m_channelStates[r].muteWord;
            return word && *word == kLit;
        };
        for (std::size_t r = 0; r < m_channelStates.size(); ++r) {
            if (wantSolo[r] < 0)
                wantSolo[r] = lit(r, true);
            if (wantMute[r] < 0)
                wantMute[r] = anySolo ? m_channelStates[r].mute : lit(r, false);
        }
        const auto press = [&](std::size_t r, bool solo) {
            if (CBitmapPushButton* b = button(r, solo)) {
                b->Click();
                deliver(this);
            }
        };
        for (std::size_t r = 0; r < m_channelStates.size(); ++r)
            if (lit(r, true))
                press(r, true);
        for (std::size_t r = 0; r < m_channelStates.size(); ++r)
            if (lit(r, false) != (wantMute[r] != 0))
                press(r, false);
        for (std::size_t r = 0; r < m_channelStates.size(); ++r)
            if (wantSolo[r] != 0 && !lit(r, true))
                press(r, true);
        for (const SceneValue* v : sideValues)
            applied(*v);
    }

    // ---- Main out and headphones: volume, then balance (a volume move
    // sends the balance too), then mute.
    for (const SceneValue& v : scene.values) {
        if (v.strip != SceneStrip::Master && v.strip != SceneStrip::Headphone)
            continue;
        CMixerElement* element = v.strip == SceneStrip::Master ? static_cast<CMixerElement*>(m_mainOut)
                                                               : static_cast<CMixerElement*>(m_headPhone);
        if (!element) {
            skipped(v, "no such strip on this surface");
            continue;
        }
        if (element->isHidden()) {
            skipped(v, "hidden in this digital mode");
            continue;
        }
        CBitmapSlider* volume = m_mainOut == element ? m_mainOut->Volume() : m_headPhone->Volume();
        CBitmapPushButton* mute = m_mainOut == element ? m_mainOut->Mute() : m_headPhone->Mute();
        const int muteWord = m_mainOut == element ? m_mainOut->MuteWord() : m_headPhone->MuteWord();
        if (v.control == SceneControl::Volume) {
            move(element, volume, scaling::FaderPosFromLevel(v.value), false);
        } else if (v.control == SceneControl::Balance) {
            // Below, after every volume.
        } else if ((muteWord == kLit) != (v.value != 0)) {
            mute->Click();
            deliver(element);
        }
        applied(v);
    }
    // A volume move sends the balance without the dead zone: the balances go last.
    for (const SceneValue& v : scene.values)
        if ((v.strip == SceneStrip::Master || v.strip == SceneStrip::Headphone) && v.control == SceneControl::Balance) {
            CMixerElement* element = v.strip == SceneStrip::Master ? static_cast<CMixerElement*>(m_mainOut)
                                                                   : static_cast<CMixerElement*>(m_headPhone);
            if (element && !element->isHidden())
                move(element, v.strip == SceneStrip::Master ? m_mainOut->Balance() : m_headPhone->Balance(), v.value,
                     true);
        }

    if (const SceneValue* v = first(SceneControl::Crossfader)) {
        if (!m_crossFader) {
            skipped(*v, "no crossfader on this surface");
        } else {
            move(m_crossFader, m_crossFader->Slider(), v->value, true);
            applied(*v);
        }
    }
    return report;
}
