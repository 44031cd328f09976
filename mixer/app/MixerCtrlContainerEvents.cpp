// The container's message and timer handling: element messages become device
// requests, driver events and AV/C notifications update the controls, and the
// timers read the meters, poll a USB device and bring back a lost device.
#include "mixer/app/MixerCtrlContainer.h"

#include <QEvent>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "device/Device.h"
#include "device/EventMessages.h"
#include "device/QelAvcEventHandler.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/MixerElement.h"
#include "mixer/controls/MixerMessages.h"
#include "mixer/controls/MixerPanelTop.h"
#include "mixer/controls/ValueScaling.h"
#include "ui/WindowMessage.h"
#include "ui/WindowPort.h"

namespace {

constexpr int kDriverEventShowMs = 4000;
constexpr int kSyncStatusShowMs = 4000;
constexpr int kDigitalInputUnknownShowMs = 3000;
constexpr int kDeviceMessageUnknownShowMs = 5000;
constexpr int kFeatureBlockUnknownShowMs = 5000;

// Event codes of the device-interface broadcasts (CWindowPort::kDeviceChangeMessage).
constexpr quintptr kDeviceArrival = 0x8000;
constexpr quintptr kDeviceRemoveComplete = 0x8004;

// Button words of the input strips: 0 = lit, -1 = dark.
constexpr int kLit = 0;
constexpr int kDark = -1;

bool Lit(const int* word) { return word != nullptr && *word == kLit; }

// The data of a watched command as its event thread last wrote them.
std::vector<std::uint8_t> CommandData(qel::CQelDevice* fw, const qel::AVC_NotifyCMD& cmd)
{
    if (fw != nullptr) {
        if (qel::QelAvcEventHandler* handler = fw->avcEventHandler())
            return handler->dataOf(cmd);
    }
    // No event thread is running: nobody writes the data.
    const auto data = cmd.data();
    return {data.begin(), data.end()};
}

}  // namespace

double CMixerCtrlContainer::BalanceValue(int position, int busKind)
{
    return scaling::OutputBalanceRequest(position, busKind == kBusFireWire);
}

// ---------------------------------------------------------------- messages

void CMixerCtrlContainer::customEvent(QEvent* event)
{
    if (const CWindowMessage* message = CWindowMessage::From(event)) {
        OnMessage(*message);
        return;
    }
    QWidget::customEvent(event);
}

void CMixerCtrlContainer::OnMessage(const CWindowMessage& message)
{
    switch (message.Code()) {
    case UM_VOLUME: OnVolume(message); break;
    case UM_MUTE: OnMute(message); break;
    case UM_SOLO: OnSolo(message); break;
    case UM_SYNC_SOURCE: OnSyncSource(message); break;
    case UM_DIGITAL_MODE: OnDigitalMode(message); break;
    case UM_SAMPLE_RATE: OnSampleRate(message); break;
    case UM_CROSSFADE: OnCrossfade(message); break;
    case UM_PAN: OnPan(message); break;
    case UM_BALANCE: OnBalance(message); break;
    case kDriverEventMessage: OnDriverEvent(message); break;
    case kDigitalInputMessage: OnDigitalInputEvent(message); break;
    case kDeviceMessageMessage: OnDeviceMessageEvent(message); break;
    case kFeatureBlockMessage: OnFeatureBlockEvent(message); break;
    case CWindowPort::kDeviceChangeMessage: OnDeviceChange(message); break;
    default: break;
    }
}

std::uint32_t CMixerCtrlContainer::Written(std::uint32_t status)
{
    if (status != qel::QEL_OK && m_device) {
        m_rereadTries = 0;
        if (!m_rereadTimer.isActive())
            m_rereadTimer.start(kWriteFailedRereadMs, this);
    }
    return status;
}

std::uint32_t CMixerCtrlContainer::SetMuteOnDevice(std::uint8_t block, std::uint8_t channel, bool muted)
{
    if (!m_device)
        return qel::QEL_E_FAILED;
    const std::uint8_t state = muted ? 1 : 0;
    if (qel::CQelUsbDevice* usb = m_device->usb())
        return Written(usb->setMute(block, channel, state));
    if (qel::CQelDevice* fw = m_device->fireWire())
        return Written(fw->setMute(block, channel, state));
    return qel::QEL_E_FAILED;
}

void CMixerCtrlContainer::QueueMute(std::uint8_t block, std::uint8_t channel, bool muted, int pauseMs)
{
    // Behind requests still waiting their turn, so the device sees them in order.
    if (pauseMs == 0 && m_pacer.Idle()) {
        SetMuteOnDevice(block, channel, muted);
        return;
    }
    QueueMuteWrite(block, channel, pauseMs, [this, block, channel, muted] { SetMuteOnDevice(block, channel, muted); });
}

void CMixerCtrlContainer::QueueMuteWrite(std::uint8_t block, std::uint8_t channel, int pauseMs,
                                         std::function<void()> write)
{
    const unsigned key = unsigned(block) << 8 | channel;
    ++m_queuedMuteWrites[key];
    m_pacer.Enqueue(pauseMs, [this, key, write = std::move(write)] {
        const auto it = m_queuedMuteWrites.find(key);
        if (it != m_queuedMuteWrites.end() && --it->second <= 0)
            m_queuedMuteWrites.erase(it);
        write();
    });
}

bool CMixerCtrlContainer::MuteWriteQueued(std::uint8_t block, std::uint8_t channel) const
{
    return m_queuedMuteWrites.count(unsigned(block) << 8 | channel) != 0;
}

void CMixerCtrlContainer::UpdateInputStrips(bool fromControls)
{
    for (CChannelStripStereoIn* strip : m_inputStrips)
        if (strip)
            strip->UpdateData(fromControls);
}

bool CMixerCtrlContainer::OthersSoloed(std::size_t side) const
{
    for (std::size_t i = 0; i < m_channelStates.size(); ++i)
        if (i != side && Lit(m_channelStates[i].soloWord))
            return true;
    return false;
}

CMixerCtrlContainer::ChannelState* CMixerCtrlContainer::SideOf(qintptr index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_channelStates.size())
        return nullptr;
    ChannelState& state = m_channelStates[static_cast<std::size_t>(index)];
    if (!state.muteWord || !state.soloWord)
        return nullptr;
    return &state;
}

void CMixerCtrlContainer::OnVolume(const CWindowMessage& message)
{
    if (!m_device)
        return;
    const auto block = static_cast<std::uint8_t>(message.HighWord());
    const auto channel = static_cast<std::uint8_t>(message.LowWord());
    const double db = static_cast<double>(std::clamp<qintptr>(message.LParam(), -128, 127));
    if (qel::CQelUsbDevice* usb = m_device->usb())
        Written(usb->setVolume(block, channel, db));
    else if (qel::CQelDevice* fw = m_device->fireWire())
        Written(fw->setVolume(block, channel, db));
}

void CMixerCtrlContainer::OnMute(const CWindowMessage& message)
{
    if (message.WParam() != 0) {
        // An output strip: the second parameter is the button word before the click.
        SetMuteOnDevice(static_cast<std::uint8_t>(message.HighWord()), 0, message.LParam() == kDark);
        return;
    }
    const qintptr record = SideOfMeter(message.LParam());
    ChannelState* side = SideOf(record);
    if (!side)
        return;
    const auto s = static_cast<std::size_t>(record);
    const int oldMute = *side->muteWord;
    UpdateInputStrips(true);
    const int newMute = *side->muteWord;
    if (!OthersSoloed(s) && !side->solo) {
        // A click on a lit button takes the mute off.
        if (oldMute == kLit && newMute == kLit)
            *side->muteWord = kDark;
        *side->soloWord = kDark;
    } else if (oldMute == kDark && newMute == kLit) {
        *side->soloWord = kDark;
    } else {
        *side->soloWord = kLit;
        *side->muteWord = kDark;
    }
    side->mute = Lit(side->muteWord);
    UpdateInputStrips(false);
    const auto block = static_cast<std::uint8_t>(side->blockId);
    const std::uint8_t channel = s % 2 == 0 ? 1 : 2;
    const bool muted = side->mute;
    // After the solo requests still waiting, so the device ends in the state shown.
    const auto send = [this, s, block, channel, muted] {
        if (SetMuteOnDevice(block, channel, muted) == qel::QEL_OK)
            return;
        // Refused: the side shows unmuted.
        if (ChannelState* refused = SideOf(static_cast<qintptr>(s))) {
            *refused->muteWord = kDark;
            refused->mute = false;
        }
        UpdateInputStrips(false);
    };
    if (m_pacer.Idle())
        send();
    else
        QueueMuteWrite(block, channel, 0, send);
}

void CMixerCtrlContainer::OnSolo(const CWindowMessage& message)
{
    const qintptr record = SideOfMeter(message.LParam());
    ChannelState* side = SideOf(record);
    if (!side)
        return;
    const auto s = static_cast<std::size_t>(record);
    const int oldSolo = *side->soloWord;
    UpdateInputStrips(true);
    const int newSolo = *side->soloWord;
    const bool othersSoloed = OthersSoloed(s);
    const bool switchedOn = oldSolo == kDark && newSolo == kLit;
    const std::uint8_t ownChannel = s % 2 == 0 ? 1 : 2;
    if (switchedOn) {
        *side->muteWord = kDark;
        QueueMute(static_cast<std::uint8_t>(side->blockId), ownChannel, false, 0);
    } else {
        *side->soloWord = kDark;
        *side->muteWord = othersSoloed ? kLit : kDark;
        QueueMute(static_cast<std::uint8_t>(side->blockId), ownChannel, othersSoloed, 0);
    }
    side->solo = Lit(side->soloWord);
    if (!othersSoloed) {
        // Every other side that is neither muted nor soloed follows: muted
        // while this side is soloed, back on when it is not. The requests
        // reach the device one every 10 ms, without holding the window.
        for (std::size_t i = 0; i < m_channelStates.size(); ++i) {
            ChannelState& other = m_channelStates[i];
            if (i == s || other.mute || !other.muteWord || !other.soloWord || Lit(other.soloWord))
                continue;
            *other.muteWord = *side->soloWord;
            QueueMute(static_cast<std::uint8_t>(other.blockId), i % 2 == 0 ? 1 : 2, switchedOn, kSoloPauseMs);
        }
    }
    UpdateInputStrips(false);
}

void CMixerCtrlContainer::OnSyncSource(const CWindowMessage& message)
{
    if (m_device && message.LParam() >= 0)
        m_device->SetSyncSource(static_cast<std::uint32_t>(message.LParam()));
}

void CMixerCtrlContainer::OnDigitalMode(const CWindowMessage& message)
{
    if (m_device && message.LParam() >= 0)
        m_device->setDeviceMode(static_cast<std::uint32_t>(message.LParam()));
    m_coaxialSyncError = false;
    m_opticalSyncError = false;
    RefreshDigitalIo();
    RefreshSampleRate();
    RefreshDigitalInputs(false);
}

void CMixerCtrlContainer::OnSampleRate(const CWindowMessage& message)
{
    if (m_device && message.LParam() > 0)
        m_device->SetSampleRate(static_cast<std::uint32_t>(message.LParam()));
    RefreshSampleRate();
    RefreshDigitalInputs(true);
}

void CMixerCtrlContainer::OnCrossfade(const CWindowMessage& message)
{
    if (m_device)
        Written(m_device->setVolume(static_cast<std::uint8_t>(message.HighWord()),
                                    static_cast<std::int32_t>(std::clamp<qintptr>(message.LParam(), -127, 127))));
}

void CMixerCtrlContainer::OnPan(const CWindowMessage& message)
{
    if (m_device)
        Written(m_device->setChannelBalance(static_cast<std::uint8_t>(message.LowWord()),
                                            static_cast<std::uint8_t>(message.HighWord()),
                                            static_cast<double>(std::clamp<qintptr>(message.LParam(), -127, 127))));
}

void CMixerCtrlContainer::OnBalance(const CWindowMessage& message)
{
    if (!m_device)
        return;
    const int v = static_cast<int>(std::clamp<qintptr>(message.LParam(), -127, 127));
    Written(m_device->setPan(BalanceValue(v, m_busKind), static_cast<std::uint8_t>(message.HighWord())));
}

void CMixerCtrlContainer::OnDriverEvent(const CWindowMessage& message)
{
    const quintptr code = message.WParam();
    switch (code) {
    case qel::QEL_EVENT_BUS_RESET:
        ShowStatus(QStringLiteral("BusReset equitable"), kDriverEventShowMs);
        break;
    case qel::QEL_EVENT_STREAMING_RESTARTED:
        RefreshDigitalIo();
        RefreshSampleRate();
        ShowStatus(QStringLiteral("Domain Streaming Restarted"), kDriverEventShowMs);
        break;
    case qel::QEL_EVENT_CONFIGURATION_CHANGED:
        RefreshDigitalIo();
        RefreshSampleRate();
        ShowStatus(QStringLiteral("Domain Configuration Changed"), kDriverEventShowMs);
        break;
    case qel::QEL_EVENT_UNREGISTERED:
        break;
    default:
        ShowStatus(QString::asprintf("Unknown driver event received ( %d )", static_cast<int>(code)),
                   kDriverEventShowMs);
        break;
    }
}

void CMixerCtrlContainer::OnDeviceChange(const CWindowMessage& message)
{
    // The driver's interface broadcasts do not name the device, and every
    // container of the driver's devices gets them: each asks its own.
    switch (message.WParam()) {
    case kDeviceArrival:
        // A lost device may be back: reopen it now, not at the next retry.
        if (m_reconnectTimer.isActive())
            OnReconnectTimer();
        break;
    case kDeviceRemoveComplete:
        // A device interface went away: when this device no longer answers,
        // it is gone (no bus hiccup to wait out).
        if (m_meterTimer.isActive() && !ReadLevels())
            DropDevice();
        break;
    default:
        break;
    }
}

const qel::AVC_NotifyCMD* CMixerCtrlContainer::KnownCommand(const CWindowMessage& message,
                                                             std::initializer_list<const qel::AVC_NotifyCMD*> known)
{
    // The command travels as a pointer value (the device layer posts it as
    // the first parameter; the second is looked at as well). Only the objects
    // this container registered are taken for one: a stale or foreign value is
    // never dereferenced.
    for (const quintptr raw : {message.WParam(), static_cast<quintptr>(message.LParam())}) {
        if (raw == 0)
            continue;
        for (const qel::AVC_NotifyCMD* cmd : known)
            if (cmd && reinterpret_cast<quintptr>(cmd) == raw)
                return cmd;
    }
    return nullptr;
}

void CMixerCtrlContainer::OnDigitalInputEvent(const CWindowMessage& message)
{
    qel::CQelDevice* fw = m_device ? m_device->fireWire() : nullptr;
    const qel::AVC_NotifyCMD* cmd = nullptr;
    if (fw) {
        qel::AvcCommands& avc = fw->context().avc();
        cmd = KnownCommand(message, {&avc.coaxialInput, &avc.opticalInput});
    }
    const std::vector<std::uint8_t> data = cmd ? CommandData(fw, *cmd) : std::vector<std::uint8_t>{};
    if (!cmd || data.size() < 2) {
        ShowStatus(QStringLiteral("OnAvcEvent: Unknown driver event received "), kDigitalInputUnknownShowMs);
        return;
    }
    const InputState state{data[0] != 0, data[1]};
    if (cmd->code() == 1) {
        m_coaxialInput = state;
        m_coaxialSyncError = false;
        m_coaxialInvalidRate = false;
    } else {
        m_opticalInput = state;
        m_opticalSyncError = false;
        m_opticalInvalidRate = false;
    }
    RefreshForDigitalInput();
}

void CMixerCtrlContainer::RefreshForDigitalInput()
{
    if (m_digitalInputTimer.isActive()) {
        m_digitalInputPending = true;
        return;
    }
    RefreshDigitalIo();
    RefreshDigitalInputs(true);
    m_digitalInputTimer.start(kDigitalInputRefreshMs, this);
}

void CMixerCtrlContainer::OnDeviceMessageEvent(const CWindowMessage& message)
{
    qel::CQelDevice* fw = m_device ? m_device->fireWire() : nullptr;
    const qel::AVC_NotifyCMD* cmd = fw ? KnownCommand(message, {&fw->context().avc().deviceMessage}) : nullptr;
    const std::vector<std::uint8_t> data = cmd ? CommandData(fw, *cmd) : std::vector<std::uint8_t>{};
    if (data.empty()) {
        ShowStatus(QStringLiteral("OnAvcDeviceMessage: Unknown driver event received"), kDeviceMessageUnknownShowMs);
        return;
    }
    HandleDeviceMessage(data[0]);
}

void CMixerCtrlContainer::OnFeatureBlockEvent(const CWindowMessage& message)
{
    qel::CQelDevice* fw = m_device ? m_device->fireWire() : nullptr;
    const qel::AVCSUFeatureBlockNotifyCMD* cmd = nullptr;
    if (fw) {
        for (const auto& watched : m_device->watchedBlocks()) {
            if (KnownCommand(message, {watched.get()})) {
                cmd = watched.get();
                break;
            }
        }
    }
    const std::vector<std::uint8_t> data = cmd ? CommandData(fw, *cmd) : std::vector<std::uint8_t>{};
    if (data.size() < 2) {
        ShowStatus(QStringLiteral("OnAvcFBEvent: Unknown driver event received "), kFeatureBlockUnknownShowMs);
        return;
    }
    const auto raw = static_cast<std::int16_t>(static_cast<std::uint16_t>((data[0] << 8) | data[1]));
    const double value = raw / 256.0;
    const std::uint8_t block = cmd->functionBlock();
    const std::uint8_t selector = cmd->controlSelector();
    const std::uint8_t channel = cmd->audioChannel();
    fw->noteDeviceValue(block, channel, selector, raw);
    for (CMixerElement* element : m_elements) {
        if (!element || element->BlockId() != block)
            continue;
        element->SetCrossfade(selector, channel, value);
        // A watched output volume turned on the device shows on its fader too.
        if (selector == qel::AVC_SELECTOR_VOLUME && element != m_crossFader &&
            (element->TypeName() == QLatin1String("Master") || element->TypeName() == QLatin1String("Headphone")))
            element->SetVolume(value, channel);
    }
}

void CMixerCtrlContainer::ShowStatus(const QString& text, int durationMs)
{
    if (m_topPanel)
        m_topPanel->ShowMessage(text, durationMs);
}

void CMixerCtrlContainer::ShowSyncStatus(std::uint8_t message)
{
    if (!m_controlSection)
        return;
    QString text;
    if (message == 6)
        text = QStringLiteral("Sync Status: System In log ");
    else if (message == 7)
        text = QStringLiteral("Sync Status: System Out of log ");
    else
        text = QStringLiteral("Sync Status: Undefined ");
    ShowStatus(text, kSyncStatusShowMs);
}

bool CMixerCtrlContainer::SyncErrorAllowed(bool coaxial) const
{
    if (!m_device)
        return false;
    // The FireWire device keeps the two flags with its sync source; on USB
    // nothing sets them, so the inputs the surface shows decide.
    if (m_device->fireWire())
        return coaxial ? m_device->firstFlag() : m_device->secondFlag();
    return coaxial ? m_hasCoaxialInput : m_hasOpticalInput;
}

void CMixerCtrlContainer::HandleDeviceMessage(std::uint8_t message)
{
    // Every caller runs on the window thread: the lock is only ever busy
    // when a nested event loop (a message box) re-entered the handling. The
    // message then waits for the loop to come back instead of deadlocking.
    std::unique_lock lock(m_messageLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        QTimer::singleShot(kMeterPeriodMs, this, [this, message] { HandleDeviceMessage(message); });
        return;
    }
    switch (message) {
    case 1:
        m_coaxialSyncError = false;
        RefreshDigitalInputs(true);
        break;
    case 2:
        m_opticalSyncError = false;
        RefreshDigitalInputs(false);
        break;
    case 3:
    case 4:
        if (SyncErrorAllowed(true))
            m_coaxialSyncError = true;
        RefreshDigitalInputs(false);
        break;
    case 5:
        if (SyncErrorAllowed(false))
            m_opticalSyncError = true;
        RefreshDigitalInputs(false);
        break;
    case 6:
    case 7:
        ShowSyncStatus(message);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- timers

void CMixerCtrlContainer::timerEvent(QTimerEvent* event)
{
    const int id = event->timerId();
    if (id == m_meterTimer.timerId())
        OnMeterTimer();
    else if (id == m_reconnectTimer.timerId())
        OnReconnectTimer();
    else if (id == m_usbStateTimer.timerId())
        OnUsbStateTimer();
    else if (id == m_usbMessageTimer.timerId())
        OnUsbMessageTimer();
    else if (id == m_digitalInputTimer.timerId()) {
        m_digitalInputTimer.stop();
        if (m_digitalInputPending) {
            m_digitalInputPending = false;
            RefreshForDigitalInput();
        }
    } else if (id == m_rereadTimer.timerId()) {
        m_rereadTimer.stop();
        if (m_connected)
            RefreshOutputValues(/*usbPans=*/false);
    } else if (id == m_holdTimer.timerId()) {
        m_holdWord = 0;
        m_holdTimer.stop();
    }
    QWidget::timerEvent(event);
}

bool CMixerCtrlContainer::ReadLevels()
{
    if (!m_device)
        return false;
    if (m_device->usb()) {
        const auto channels = static_cast<std::uint32_t>(std::max(0, m_audioChannelCount));
        // A surface without strips has no levels; the device would refuse
        // a read of none.
        if (channels == 0) {
            m_levels.clear();
            return true;
        }
        return m_device->readLevels(std::min(channels, qel::QEL_USB_MAX_LEVEL_CHANNELS), m_levels) == qel::QEL_OK;
    }
    if (qel::CQelDevice* fw = m_device->fireWire())
        return fw->readHsciMeters(m_levels);
    return false;
}

void CMixerCtrlContainer::OnMeterTimer()
{
    if (!ReadLevels()) {
        // One failed read is taken for a bus hiccup (a reset interrupts the
        // read in flight); the second in a row means the device is gone.
        if (++m_failedLevelReads >= kLevelReadFailuresToDrop)
            DropDevice();
        return;
    }
    m_failedLevelReads = 0;
    m_connected = true;
    if (m_levels.size() < static_cast<std::size_t>(m_inputStrips.size()))
        return;
    const auto meterPosition = [this](int index) {
        const double level = m_levels[static_cast<std::size_t>(index)];
        if (std::isnan(level))
            return 100;
        return static_cast<int>(std::clamp(100.0 - level, 0.0, 100.0));
    };
    const auto count = static_cast<int>(std::min<std::size_t>(m_levels.size(), INT32_MAX));
    for (CMixerElement* element : m_elements) {
        if (!element || !element->VisibleFlag())
            continue;
        const int left = element->LeftMeterIndex();
        const int right = element->RightMeterIndex();
        if (left < 0 || right < 0 || left >= count || right >= count)
            continue;
        element->SetMeterLevels(meterPosition(left), meterPosition(right));
    }
}

void CMixerCtrlContainer::DropDevice()
{
    m_meterTimer.stop();
    m_usbStateTimer.stop();
    m_usbMessageTimer.stop();
    m_connected = false;
    m_failedLevelReads = 0;
    m_reconnectTimer.start(kReconnectPeriodMs, this);
    for (CMixerElement* element : m_elements)
        if (element && element->VisibleFlag())
            element->DropMeters();
}

void CMixerCtrlContainer::OnReconnectTimer()
{
    if (m_controlSection)
        m_controlSection->SetHostLamp(-1);
    if (!m_device || m_device->openMixerDevice() != qel::QEL_OK)
        return;
    m_connected = true;
    m_failedLevelReads = 0;
    m_meterTimer.start(kMeterPeriodMs, this);
    if (m_device->usb()) {
        m_usbStateTimer.start(kUsbStatePeriodMs, this);
        m_usbMessageTimer.start(kUsbMessagePeriodMs, this);
    } else if (qel::CQelDevice* fw = m_device->fireWire()) {
        StartDeviceEvents();
        // Closing the stale handle ended the watched blocks' notifications
        // too: arm the same commands again.
        if (m_port)
            for (const auto& watched : m_device->watchedBlocks())
                fw->registerForAVCEvents(watched.get(), m_port.get(), kFeatureBlockMessage);
    }
    m_reconnectTimer.stop();
    if (m_controlSection)
        m_controlSection->SetHostLamp(m_busKind);
    RefreshSampleRate();
    RefreshDigitalIo();
    RefreshOutputValues();
}

void CMixerCtrlContainer::OnUsbStateTimer()
{
    qel::CQelUsbDevice* usb = m_device ? m_device->usb() : nullptr;
    if (!usb)
        return;
    bool locked = false;
    std::uint8_t rate = kNoRate;
    if (m_hasOpticalInput && usb->readInputState(2, locked, rate) == qel::QEL_OK)
        m_opticalInput = InputState{locked, rate};
    locked = false;
    rate = kNoRate;
    if (m_hasCoaxialInput && usb->readInputState(1, locked, rate) == qel::QEL_OK)
        m_coaxialInput = InputState{locked, rate};
    RefreshDigitalInputs(false);
}

void CMixerCtrlContainer::OnUsbMessageTimer()
{
    if (!m_device || !m_device->usb())
        return;
    if (const std::uint8_t message = m_device->readDeviceMessage())
        HandleDeviceMessage(message);
}
