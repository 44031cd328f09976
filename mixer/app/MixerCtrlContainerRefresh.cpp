// The container's display refreshes: digital I/O mode and sync source,
// sample rates, the two digital inputs, and the paced read of every
// element's output values.
#include "mixer/app/MixerCtrlContainer.h"

#include "device/Device.h"
#include "device/QelDevice.h"
#include "device/QelUsbDevice.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"

#include <QPointer>

namespace {

const QString kOptical = QStringLiteral("OPT_SPDIF");
const QString kCoaxial = QStringLiteral("COAX_SPDIF");

} // namespace

void CMixerCtrlContainer::RefreshDigitalIo()
{
    if (!m_controlSection)
        return;
    std::uint32_t mode = 0;
    std::uint32_t syncIndex = 0;
    if (m_device) {
        m_device->ReadSyncSource();
        mode = m_device->deviceMode();
        syncIndex = m_device->syncKind();
    }
    const bool fireWire = m_busKind == 1;
    m_controlSection->EnableControl(CControlSection::kOpticalLabelId, true);
    m_controlSection->EnableControl(CControlSection::kOpticalButtonId, true);
    m_controlSection->EnableControl(CControlSection::kPcButtonId, fireWire);
    m_controlSection->EnableControl(CControlSection::kPcLabelId, fireWire);

    const auto opticalStrips = [this](const QString& text, bool show) {
        for (CChannelStripStereoIn* strip : std::as_const(m_inputStrips))
            if (strip && strip->GetConnectionName() == kOptical)
                strip->ShowChannels(show, text);
    };
    opticalStrips(QString(), true);
    for (CMixerElement* element : std::as_const(m_elements)) {
        const QString type = element->TypeName();
        if (type == QLatin1String("Master") || type == QLatin1String("Input") || type == QLatin1String("Output")) {
            element->show();
            element->SetVisibleFlag(true);
        }
    }
    switch (mode) {
    case 1:
        m_controlSection->SetControlText(CControlSection::kOpticalLabelId, QStringLiteral("ADAT"));
        opticalStrips(QStringLiteral("ADAT"), false);
        break;
    case 2:
        m_controlSection->SetControlText(CControlSection::kOpticalLabelId, QStringLiteral("SMUX"));
        opticalStrips(QStringLiteral("SMUX"), false);
        break;
    case 3:
        // High-speed S/PDIF takes the optical port.
        m_controlSection->EnableControl(CControlSection::kOpticalLabelId, false);
        m_controlSection->EnableControl(CControlSection::kOpticalButtonId, false);
        for (CMixerElement* element : std::as_const(m_elements))
            if (element->GetConnectionName() == kOptical)
                element->hide();
        break;
    default:
        m_controlSection->SetControlText(CControlSection::kOpticalLabelId, QStringLiteral("Opt. SPDIF"));
        break;
    }
    m_controlSection->SelectInGroup(CControlSection::Group::Digital, int(mode));
    m_controlSection->SelectInGroup(CControlSection::Group::Sync, int(syncIndex));
    NumberMeters();
    m_controlSection->repaint();

    m_opticalSyncError = false;
    m_coaxialSyncError = false;
    RefreshDigitalInputs(false);
}

void CMixerCtrlContainer::RefreshSampleRate()
{
    if (!m_controlSection)
        return;
    m_controlSection->ClearRates();
    if (m_device && m_device->ReadSampleRateInfo() == qel::QEL_OK) {
        std::uint32_t current = m_device->currentRate();
        bool listed = false;
        for (std::uint32_t rate : m_device->possibleRates()) {
            m_controlSection->AddRate(rate);
            listed = listed || rate == current;
        }
        if (!listed) {
            // The device runs at a rate it does not offer: move it to the
            // first offered rate of the same family (or the family's base).
            const std::uint32_t base = current % 48000 == 0 ? 48000 : 44100;
            std::uint32_t chosen = base;
            for (std::uint32_t rate : m_device->possibleRates())
                if (rate % base == 0) {
                    chosen = rate;
                    break;
                }
            current = chosen;
            m_device->SetSampleRate(chosen);
        }
        m_controlSection->SetCurrentRate(current);
    }
    // A failed read leaves the list empty and the device's rate alone.
    RefreshDigitalInputs(true);
}

void CMixerCtrlContainer::RefreshDigitalInputs(bool forced)
{
    bool changed = false;
    std::uint32_t rate = 0;
    if (m_device && m_device->GetCurrentRate(rate) == qel::QEL_OK && rate != m_currentSampleRate) {
        m_currentSampleRate = rate;
        if (m_controlSection)
            m_controlSection->SetCurrentRate(rate);
        changed = true;
    }
    const std::uint32_t currentCode = qel::Device::rateCode(m_currentSampleRate);

    bool showCoaxial = true;
    if (m_coaxialInput.locked) {
        if (!(m_coaxialInput == m_coaxialShown)) {
            m_coaxialShown = m_coaxialInput;
            changed = true;
        }
        const bool invalid = currentCode != m_coaxialInput.rateCode;
        if (invalid != m_coaxialInvalidRate) {
            m_coaxialInvalidRate = invalid;
            changed = true;
        }
        if (m_coaxialSyncError != m_shownFlagA)
            m_shownFlagA = m_coaxialSyncError;
        else if (!changed && !forced)
            showCoaxial = false;
    } else {
        m_coaxialShown = m_coaxialInput;
    }
    if (showCoaxial)
        ShowDigitalInput(kCoaxial, m_coaxialInput, m_coaxialSyncError, m_coaxialInvalidRate);
    changed = false;

    if (m_opticalInput.locked) {
        if (!(m_opticalInput == m_opticalShown)) {
            m_opticalShown = m_opticalInput;
            changed = true;
        }
        // In ADAT mode the optical port carries no S/PDIF rate to compare.
        const bool adat = m_device && m_device->deviceMode() == 1;
        const bool invalid = !adat && currentCode != m_opticalInput.rateCode;
        if (invalid != m_opticalInvalidRate) {
            m_opticalInvalidRate = invalid;
            changed = true;
        }
        if (!changed && m_shownFlagB == m_opticalSyncError && !forced)
            return;
        m_shownFlagB = m_opticalSyncError;
    } else {
        m_opticalShown = m_opticalInput;
        m_opticalSyncError = false;
        m_opticalInvalidRate = false;
    }
    ShowDigitalInput(kOptical, m_opticalInput, m_opticalSyncError, m_opticalInvalidRate);
}

void CMixerCtrlContainer::ShowDigitalInput(const QString& signalType, const InputState& state, bool syncError,
                                           bool invalidRate)
{
    const QString rateName = QString::fromLatin1(qel::Device::RateName(state.rateCode));
    for (CChannelStripStereoIn* strip : std::as_const(m_inputStrips)) {
        if (!strip || strip->GetConnectionName() != signalType)
            continue;
        if (!state.locked) {
            strip->StopAlert(QStringLiteral("Disconnected"));
        } else if (syncError || invalidRate) {
            strip->SetStatusText(rateName);
            strip->StartAlert(syncError ? QStringLiteral("Sync Err") : QStringLiteral("Invalid SR"));
        } else {
            strip->StopAlert(rateName);
        }
    }
}

bool CMixerCtrlContainer::DeviceReachable()
{
    if (!m_device || m_reconnectTimer.isActive())
        return false;
    if (m_busKind == 1)
        return m_device->fireWire() && m_device->fireWire()->isOpen();
    if (m_busKind == 0)
        return m_device->usb() && m_device->usb()->isOpen();
    return false;
}

void CMixerCtrlContainer::RefreshOutputValues(bool usbPans)
{
    // The reads reach the device one element every 50 ms, in element order,
    // from the event loop; a newer refresh supersedes the steps of this one.
    const unsigned round = ++m_outputRefreshRound;
    m_refreshReadFailed = false;
    for (CMixerElement* element : std::as_const(m_elements)) {
        QPointer<CMixerElement> guarded(element);
        m_pacer.Enqueue(kOutputRefreshPauseMs, [this, guarded, round, usbPans] {
            if (round == m_outputRefreshRound && guarded)
                RefreshElementOutput(guarded.data(), usbPans);
        });
    }
    if (m_crossFader)
        m_pacer.Enqueue(kOutputRefreshPauseMs, [this, round] {
            if (round == m_outputRefreshRound)
                RefreshCrossfadeOutput();
        });
    // Values the device did not give this time are asked again, a few times.
    m_pacer.Enqueue(0, [this, round] {
        if (round != m_outputRefreshRound)
            return;
        if (!m_refreshReadFailed) {
            m_rereadTries = 0;
        } else if (m_rereadTries < kRereadTries && !m_rereadTimer.isActive()) {
            ++m_rereadTries;
            m_rereadTimer.start(kWriteFailedRereadMs, this);
        }
    });
}

void CMixerCtrlContainer::RefreshElementOutput(CMixerElement* element, bool usbPans)
{
    if (!DeviceReachable())
        return;
    const bool usb = m_busKind == 0;
    qel::CQelDevice* fw = m_device->fireWire();
    qel::CQelUsbDevice* usbDevice = m_device->usb();
    const std::uint8_t block = element->BlockId();
    const QString type = element->TypeName();

    // A read that fails is asked again (RefreshOutputValues).
    const auto read = [&](qel::Status status) {
        if (status != qel::QEL_OK)
            m_refreshReadFailed = true;
        return status == qel::QEL_OK;
    };
    const auto volume = [&](std::uint8_t channel, double& db) {
        return read(usb ? usbDevice->getVolume(block, channel, db) : fw->getVolume(block, channel, db));
    };
    const auto mute = [&](std::uint8_t channel, std::uint8_t& state) {
        // A mute the user set is still on its way to the device: the state
        // read is the one the click replaced, and the control keeps the click.
        return read(usb ? usbDevice->getMute(block, channel, state) : fw->getMute(block, channel, state)) &&
               !MuteWriteQueued(block, channel);
    };
    // Values the device refuses leave the control as it is.
    if (type == QLatin1String("Input") && element->VisibleFlag()) {
        for (std::uint8_t ch = 1; ch <= 2; ++ch) {
            double db = 0;
            if (volume(ch, db))
                element->SetVolume(db, ch);
        }
        for (std::uint8_t ch = 1; ch <= 2; ++ch) {
            std::uint8_t state = 0;
            if (mute(ch, state))
                element->SetMute(state, ch);
        }
        if (usb) {
            if (usbPans) {
                m_device->setChannelBalance(1, block, -127);
                m_device->setChannelBalance(2, block, 127);
            }
        } else {
            for (std::uint8_t ch = 1; ch <= 2; ++ch) {
                std::int32_t value = 0;
                if (read(fw->getBalance(block, ch, value)))
                    element->SetBalance(value, ch);
            }
        }
    } else if (type == QLatin1String("Master") && element->VisibleFlag()) {
        double db = 0;
        if (volume(0, db))
            element->SetVolume(db, 0);
        std::uint8_t state = 0;
        if (mute(0, state))
            element->SetMute(state, 0);
        if (usb) {
            if (usbPans)
                m_device->setChannelBalance(0, block, 0);
        } else {
            std::int32_t value = 0;
            if (read(fw->getBalance(block, 0, value)))
                element->SetBalance(value, 0);
        }
    } else if (type == QLatin1String("Headphone")) {
        double db = 0;
        if (volume(0, db))
            element->SetVolume(db, 0);
        std::uint8_t state = 0;
        if (mute(0, state))
            element->SetMute(state, 1);
        if (usb) {
            if (usbPans)
                m_device->setChannelBalance(0, block, 0);
        } else {
            std::int32_t value = 0;
            if (read(fw->getBalance(block, 0, value)))
                element->SetBalance(value, 1);
        }
    }
}

void CMixerCtrlContainer::RefreshCrossfadeOutput()
{
    if (!m_crossFader || !DeviceReachable())
        return;
    const std::uint8_t block = m_crossFader->BlockId();
    double value = 0;
    const qel::Status status = m_busKind == 0 ? m_device->usb()->getVolume(block, 0, value)
                                              : m_device->fireWire()->getVolume(block, 0, value);
    if (status == qel::QEL_OK)
        m_crossFader->SetCrossfade(2, 0, value);
    else
        m_refreshReadFailed = true;
}
