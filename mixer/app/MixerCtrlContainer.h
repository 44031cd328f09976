#pragma once
// One complete mixer surface for one device: the top panel over the whole
// width, the channel strips named by the configuration, the control section
// and, below the strips, an optional crossfader. The container builds them
// from a ChannelConfig element, binds each to its feature block (FireWire) or
// feature unit (USB), and is afterwards the only link between the device and
// the controls: element messages become device requests, driver events and
// AV/C notifications update the controls, and its timers poll the meters and
// (on USB) the device state and reconnect a device that stopped answering.
//
// Construction and the display refreshes: MixerCtrlContainer.cpp and
// MixerCtrlContainerRefresh.cpp; message and timer handling:
// MixerCtrlContainerEvents.cpp.
#include <QBasicTimer>
#include <QPixmap>
#include <QString>
#include <QVector>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mixer/app/PacedQueue.h"
#include "mixer/app/SceneFile.h"
#include "mixer/app/XmlDom.h"

class CChannelStripHeadPhoneOut;
class CChannelStripMainOut;
class CChannelStripStereoIn;
class CControlSection;
class CCrossFaderStrip;
class CMixerElement;
class CMeterLayer;
class CMixerPanelTop;
class CWindowMessage;
class CWindowPort;

namespace qel {
class AVC_NotifyCMD;
class Device;
}

namespace qel::mixer {
class IMixerMessageBox;
}

class CMixerCtrlContainer : public QWidget {
    Q_OBJECT

public:
    // Background bitmap of the surface.
    static constexpr int kBackgroundId = 151;
    // Periods of the container's timers, in ms.
    static constexpr int kMeterPeriodMs = 50;       // 1124
    static constexpr int kReconnectPeriodMs = 500;  // 1125
    static constexpr int kUsbStatePeriodMs = 1000;  // 1126
    static constexpr int kUsbMessagePeriodMs = 200; // 1127
    // Pauses between the device requests of the output refresh and of solo.
    static constexpr int kOutputRefreshPauseMs = 50;
    // A write the device did not take (a failed transaction or transfer, the
    // device going away) reads the values back after this pause, so that
    // the controls show what the device holds; failures within the pause
    // share one read-back.
    static constexpr int kWriteFailedRereadMs = 250;
    // Digital-input changes refresh the display at once, and more within
    // this period together at its end: an input whose lock flaps (a bad
    // cable, a hundred changes a second) must not keep the window busy.
    static constexpr int kDigitalInputRefreshMs = 100;
    static constexpr int kSoloPauseMs = 10;
    // Messages the device layer posts to the container (the registrations' numbers).
    static constexpr unsigned kDriverEventMessage = 0x8001;
    static constexpr unsigned kDigitalInputMessage = 0x8002;
    static constexpr unsigned kDeviceMessageMessage = 0x8004;
    static constexpr unsigned kFeatureBlockMessage = 0x8005;
    // Rate code of "no rate" in the digital inputs' states.
    static constexpr std::uint32_t kNoRate = 15;
    // Bus kinds.
    static constexpr int kBusUsb = 0;
    static constexpr int kBusFireWire = 1;
    // Failed level reads in a row that take the device for gone (a single
    // one happens when a bus reset interrupts the read).
    static constexpr int kLevelReadFailuresToDrop = 2;

    // One side of a stereo input strip, for the mute and solo logic.
    struct ChannelState {
        bool mute = false;
        bool solo = false;
        int* muteWord = nullptr;  // the strip's button words: 0 = lit, -1 = dark
        int* soloWord = nullptr;
        std::int32_t blockId = 0;
    };
    // Lock flag and rate code of a digital input.
    struct InputState {
        bool locked = false;
        std::uint32_t rateCode = kNoRate;
        bool operator==(const InputState&) const = default;
    };

    // `box` shows the build's message boxes (may be null: dropped).
    CMixerCtrlContainer(QWidget* parent, qel::mixer::IMixerMessageBox* box);
    ~CMixerCtrlContainer() override;

    // ---- Set by the main window before BuildMixer
    void SetDevice(qel::Device* device) { m_device = device; }
    void SetTitle(const QString& title) { m_title = title; }
    void SetBusKind(int kind) { m_busKind = kind; }
    void SetConnectionKind(int kind) { m_connectionKind = kind; }

    // Builds the surface from a ChannelConfig element; called once, before
    // the container is first shown. Leaves the container hidden at (0, 0).
    void BuildMixer(const QString& displayName, const qel::mixer::XmlNode& channelConfig);
    // Gives every element with the visible flag meter indexes 2k and 2k + 1.
    void NumberMeters();
    // Moves every element's bound values to its controls.
    void UpdateData(bool fromControls);

    // ---- Display refreshes (also run by the event handling)
    void RefreshDigitalIo();                 // digital I/O mode and sync source
    void RefreshSampleRate();                // rates, with the fallback rule
    void RefreshDigitalInputs(bool forced);  // coaxial and optical input display
    // Paced reads of every element's values; on USB the pans are put back to
    // their defaults on the device too, unless `usbPans` is false (the
    // read-back after a failure: the device does not report pans).
    void RefreshOutputValues(bool usbPans = true);

    // ---- Accessors
    qel::Device* GetDevice() const { return m_device; }
    QString Title() const { return m_title; }
    int BusKind() const { return m_busKind; }
    int ConnectionKind() const { return m_connectionKind; }
    int MixerWidth() const { return m_width; }
    int MixerHeight() const { return m_height; }
    int StripCount() const { return m_stripCount; }
    // Audio channels the level reads carry (2 per ChannelStrip) and the
    // highest feature-block (unit) id the surface uses, both set by BuildMixer.
    int AudioChannelCount() const { return m_audioChannelCount; }
    int HighestBlockId() const { return m_highestBlockId; }
    bool Connected() const { return m_connected; }
    bool HasOpticalInput() const { return m_hasOpticalInput; }
    bool HasCoaxialInput() const { return m_hasCoaxialInput; }
    std::uint32_t CurrentSampleRate() const { return m_currentSampleRate; }
    CMixerPanelTop* TopPanel() const { return m_topPanel; }
    CControlSection* ControlSection() const { return m_controlSection; }
    // Paints the surface's level meters, all in one paint event per tick.
    CMeterLayer* MeterLayer() const { return m_meterLayer; }
    CCrossFaderStrip* CrossFader() const { return m_crossFader; }
    CChannelStripMainOut* MainOut() const { return m_mainOut; }
    CChannelStripHeadPhoneOut* HeadPhone() const { return m_headPhone; }
    const QVector<CChannelStripStereoIn*>& InputStrips() const { return m_inputStrips; }
    const QVector<CMixerElement*>& Elements() const { return m_elements; }
    const std::vector<ChannelState>& ChannelStates() const { return m_channelStates; }
    const std::vector<double>& Levels() const { return m_levels; }
    const QVector<QWidget*>& NotificationWindows() const { return m_notificationWindows; }
    InputState CoaxialInput() const { return m_coaxialInput; }
    InputState OpticalInput() const { return m_opticalInput; }
    InputState CoaxialShown() const { return m_coaxialShown; }
    InputState OpticalShown() const { return m_opticalShown; }
    bool MeterTimerActive() const { return m_meterTimer.isActive(); }
    bool ReconnectTimerActive() const { return m_reconnectTimer.isActive(); }
    bool UsbStateTimerActive() const { return m_usbStateTimer.isActive(); }
    bool UsbMessageTimerActive() const { return m_usbMessageTimer.isActive(); }
    // The paced device requests (output refresh, solo); tests flush it.
    CPacedQueue& Pacer() { return m_pacer; }

    // ---- Timer actions (the timers call these; tests may call them directly)
    void OnMeterTimer();         // 1124
    void OnReconnectTimer();     // 1125
    void OnUsbStateTimer();      // 1126
    void OnUsbMessageTimer();    // 1127
    // One device message (1..7), under the message lock.
    void HandleDeviceMessage(std::uint8_t message);

    // The value UM_BALANCE sends for a balance position (-127..127) on a bus.
    static double BalanceValue(int position, int busKind);

    // ---- Scenes (MixerCtrlContainerScene.cpp)
    // What one scene load did: a line per value, "KEY = VALUE" for those
    // applied and "KEY = VALUE: REASON" for those skipped.
    struct SceneReport {
        std::vector<std::string> applied;
        std::vector<std::string> skipped;
    };
    // The surface as it shows now, as a scene of `model`.
    qel::mixer::Scene CaptureScene(const std::string& model) const;
    // Works the surface's own controls the way a user would, value by value
    // (clock source, sample rate and digital mode first, then the strips,
    // then the crossfader),
    // each followed to the device before the next; values this surface has
    // no control for, or that the device does not take, are skipped.
    SceneReport ApplyScene(const qel::mixer::Scene& scene);

protected:
    void paintEvent(QPaintEvent* event) override;
    void customEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // ---- Construction (MixerCtrlContainer.cpp)
    void RegisterBlock(std::uint8_t id, const char* failureText);
    void RecordBlock(std::uint32_t id);
    void StartDeviceEvents();  // driver-event and AV/C registrations (FireWire)
    void ShowBoxMessage(const std::string& text);
    void RaiseHighestBlockId(std::int32_t id);
    // Removes this window's driver-event and AV/C registrations (FireWire).
    void StopDeviceEvents();

    // ---- Messages (MixerCtrlContainerEvents.cpp)
    void OnMessage(const CWindowMessage& message);
    void OnVolume(const CWindowMessage& message);
    void OnMute(const CWindowMessage& message);
    void OnSolo(const CWindowMessage& message);
    void OnSyncSource(const CWindowMessage& message);
    void OnDigitalMode(const CWindowMessage& message);
    void OnSampleRate(const CWindowMessage& message);
    void OnCrossfade(const CWindowMessage& message);
    void OnPan(const CWindowMessage& message);
    void OnBalance(const CWindowMessage& message);
    void OnDriverEvent(const CWindowMessage& message);
    void OnDigitalInputEvent(const CWindowMessage& message);
    void OnDeviceMessageEvent(const CWindowMessage& message);
    void OnFeatureBlockEvent(const CWindowMessage& message);
    // Device-interface arrival or removal of the driver (any of its devices).
    void OnDeviceChange(const CWindowMessage& message);
    void ShowStatus(const QString& text, int durationMs);
    void ShowSyncStatus(std::uint8_t message);
    // The display refresh for a digital-input change (kDigitalInputRefreshMs).
    void RefreshForDigitalInput();
    // A write's status: a write that failed schedules the read-back.
    std::uint32_t Written(std::uint32_t status);
    // Mute helpers of the input strips' mute and solo logic.
    std::uint32_t SetMuteOnDevice(std::uint8_t block, std::uint8_t channel, bool muted);
    void QueueMute(std::uint8_t block, std::uint8_t channel, bool muted, int pauseMs);
    // Queues a user's mute write behind the paced steps; until it ran, the
    // output refresh leaves that control as the user set it.
    void QueueMuteWrite(std::uint8_t block, std::uint8_t channel, int pauseMs, std::function<void()> write);
    bool MuteWriteQueued(std::uint8_t block, std::uint8_t channel) const;
    void UpdateInputStrips(bool fromControls);
    bool OthersSoloed(std::size_t side) const;
    ChannelState* SideOf(qintptr index);
    // The channel-state index of the side that now shows meter index
    // `meterIndex` (-1 for none). Input strips post their meter index, which
    // equals the side's record only while no element before them has meters.
    qintptr SideOfMeter(qintptr meterIndex) const;
    // The command a notification names, when it is one of `known`.
    static const qel::AVC_NotifyCMD* KnownCommand(const CWindowMessage& message,
                                                  std::initializer_list<const qel::AVC_NotifyCMD*> known);
    bool SyncErrorAllowed(bool coaxial) const;
    // Timer helpers.
    bool ReadLevels();
    void DropDevice();

    // ---- Display of one digital input (MixerCtrlContainerRefresh.cpp)
    void ShowDigitalInput(const QString& signalType, const InputState& state, bool syncError, bool invalidRate);
    // One paced step of the output refresh: reads an element's values, or the crossfader's.
    void RefreshElementOutput(CMixerElement* element, bool usbPans = true);
    void RefreshCrossfadeOutput();
    // The device is there to be asked: set, open, and not being reconnected.
    bool DeviceReachable();

    qel::mixer::IMixerMessageBox* m_box;
    bool m_paintBackground = true;
    QPixmap m_background;
    std::uint32_t m_currentSampleRate = 0;
    int m_busKind = -1;
    int m_connectionKind = -1;
    int m_width = 0;
    int m_height = 0;
    QString m_title = QStringLiteral("Kavro MixerPanel");
    qel::Device* m_device = nullptr;
    CChannelStripMainOut* m_mainOut = nullptr;
    CChannelStripHeadPhoneOut* m_headPhone = nullptr;
    CMixerPanelTop* m_topPanel = nullptr;
    CMeterLayer* m_meterLayer = nullptr;
    CControlSection* m_controlSection = nullptr;
    CCrossFaderStrip* m_crossFader = nullptr;
    QVector<CChannelStripStereoIn*> m_inputStrips;
    QVector<QString> m_inputCaptions;  // the configuration's caption, by strip index
    QVector<CMixerElement*> m_elements;
    QBasicTimer m_meterTimer;      // 1124
    QBasicTimer m_reconnectTimer;  // 1125
    QBasicTimer m_usbStateTimer;   // 1126
    QBasicTimer m_usbMessageTimer; // 1127
    QBasicTimer m_holdTimer;       // 1128, never started by the mixer
    QBasicTimer m_rereadTimer;     // the read-back after a failed write
    QBasicTimer m_digitalInputTimer;  // holds off the next digital-input refresh
    bool m_digitalInputPending = false;
    int m_holdWord = 0;
    int m_stripCount = 0;
    int m_audioChannelCount = 0;
    int m_highestBlockId = 0;
    // Output refreshes queued so far; a step of an older one is skipped.
    unsigned m_outputRefreshRound = 0;
    // A read of the current refresh failed (a garbled or refused answer
    // while the device is on the bus): the refresh runs again after
    // kWriteFailedRereadMs, at most kRereadTries times in a row.
    static constexpr int kRereadTries = 3;
    bool m_refreshReadFailed = false;
    int m_rereadTries = 0;
    // The device's change notification was registered with m_port (it keeps
    // it until the device closes).
    bool m_portInDeviceNotification = false;
    bool m_connected = false;
    int m_failedLevelReads = 0;
    // Status flags.
    bool m_opticalSyncError = false;
    bool m_coaxialInvalidRate = false;
    bool m_opticalInvalidRate = false;
    bool m_coaxialSyncError = false;
    bool m_shownFlagA = true;
    bool m_shownFlagB = true;
    bool m_hasOpticalInput = false;
    bool m_hasCoaxialInput = false;
    int m_leftChannelCounter = 0;
    int m_rightChannelCounter = 1;
    InputState m_coaxialInput;
    InputState m_opticalInput;
    InputState m_coaxialShown;
    InputState m_opticalShown;
    std::vector<double> m_levels;
    std::vector<ChannelState> m_channelStates;
    std::vector<qintptr> m_sideOfMeter;  // meter index -> channel-state index, -1 none
    QVector<QWidget*> m_notificationWindows;
    std::mutex m_messageLock;
    // The device layer's handle on this window; detached before it goes.
    std::unique_ptr<CWindowPort> m_port;
    CPacedQueue m_pacer;
    // The user's mute writes still in m_pacer, by block << 8 | channel.
    std::map<unsigned, int> m_queuedMuteWrites;
};
