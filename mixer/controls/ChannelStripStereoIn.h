#pragma once
// The strip of one stereo input pair: two faders, two pans, two meters, level
// read-outs, mute and solo per side, a link that couples the faders, and a
// connection read-out for a digital input's state. Reports UM_VOLUME, UM_PAN,
// UM_MUTE and UM_SOLO; the container owns the mute and solo logic and changes
// the four state words itself.
#include "mixer/controls/MeterClock.h"
#include "mixer/controls/MixerElement.h"

#include <QBasicTimer>

class CBitmapPushButton;
class CBitmapSlider;
class CClipLamp;
class CLevelMeter;
class CMatrixStatic;

class CChannelStripStereoIn : public CMixerElement {
    Q_OBJECT

public:
    static constexpr int kBackgroundId = 133;
    static constexpr int kKindLabelId = 1008;
    static constexpr int kCaptionLabelId = 1009;
    static constexpr int kPanLeftId = 1010;
    static constexpr int kPanRightId = 1011;
    static constexpr int kVolumeLeftId = 1012;
    static constexpr int kVolumeRightId = 1013;
    static constexpr int kMeterLeftId = 1014;
    static constexpr int kMeterRightId = 1015;
    static constexpr int kReadoutLeftId = 1016;
    static constexpr int kReadoutRightId = 1017;
    static constexpr int kConnectionId = 1018;
    static constexpr int kMuteLeftId = 1023;
    static constexpr int kMuteRightId = 1024;
    static constexpr int kSoloLeftId = 1025;
    static constexpr int kSoloRightId = 1026;
    static constexpr int kLinkId = 1029;
    static constexpr int kBlinkTimerMs = 800;
    static constexpr int kAlertCountdown = 3;

    explicit CChannelStripStereoIn(QWidget* parent = nullptr);

    void OnInitDialog() override;

    // Channel 1 = left, 2 = right; other channels are ignored.
    void SetVolume(double levelDb, int channel) override;
    void SetBalance(double value, int channel) override;
    void SetMute(int state, int channel) override;
    void SetMeterLevels(int left, int right) override;
    void DropMeters() override;
    void SetCrossfade(quint32 unused1, quint32 unused2, double value) override;
    QString GetConnectionName() const override;
    QString ControlName(const QWidget* control) const override;

    // Level clamped to -63..0; posts UM_VOLUME and shows the level on the channel's side.
    virtual void SendVolume(quint8 blockId, int channel, int level);
    // Value clamped to -127..127; posts UM_PAN.
    virtual void SendPan(quint8 blockId, int channel, int value);

    // Stores the connection; its read-out shows only for the digital inputs.
    void SetConnection(const QString& name);
    // Shows or hides the channel controls; hidden, the caption becomes text
    // and showing again restores the caption shown before the first hiding.
    void ShowChannels(bool show, const QString& text);
    // The connection read-out's normal text; shown now unless an alert blinks.
    void SetStatusText(const QString& text);
    // Alternates text with the status text every blink tick until StopAlert.
    void StartAlert(const QString& text);
    void StopAlert(const QString& text);

    // Bound to the labels; shown at the next UpdateData(false).
    void SetKindText(const QString& text) { m_kindText = text; }
    QString KindText() const { return m_kindText; }
    void SetCaption(const QString& text) { m_caption = text; }
    QString Caption() const { return m_caption; }

    // State words of the buttons: 0 = lit, -1 = dark. The container keeps
    // references to them (left and right mute, then left and right solo).
    int& MuteLeftWord() { return m_muteLeftWord; }
    int& MuteRightWord() { return m_muteRightWord; }
    int& SoloLeftWord() { return m_soloLeftWord; }
    int& SoloRightWord() { return m_soloRightWord; }
    int LinkCheckWord() const { return m_linkCheck; }
    bool IsLinked() const { return m_linked; }
    bool AlertBlinking() const { return m_alert; }
    QString StatusText() const { return m_statusText; }

    CBitmapSlider* PanLeft() const { return m_panLeft; }
    CBitmapSlider* PanRight() const { return m_panRight; }
    CBitmapSlider* VolumeLeft() const { return m_volumeLeft; }
    CBitmapSlider* VolumeRight() const { return m_volumeRight; }
    CLevelMeter* MeterLeft() const { return m_meterLeft; }
    CLevelMeter* MeterRight() const { return m_meterRight; }
    CClipLamp* ClipLamp() const { return m_clipLamp; }
    // The clock of the peak marks and the clip lamp.
    void SetMeterClock(const MeterClock& clock);
    CMatrixStatic* ReadoutLeft() const { return m_readoutLeft; }
    CMatrixStatic* ReadoutRight() const { return m_readoutRight; }
    CMatrixStatic* ConnectionReadout() const { return m_connection; }
    CBitmapPushButton* MuteLeft() const { return m_muteLeft; }
    CBitmapPushButton* MuteRight() const { return m_muteRight; }
    CBitmapPushButton* SoloLeft() const { return m_soloLeft; }
    CBitmapPushButton* SoloRight() const { return m_soloRight; }
    CBitmapPushButton* Link() const { return m_link; }

protected:
    void DoDataExchange(bool fromControls) override;
    void customEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnSliderMoved(int id, int position);
    void OnSliderReleased(int id);
    void OnLinkClicked();
    void BlinkTick();
    void ShowLevel(CMatrixStatic* readout, int faderPosition);

    QString m_kindText = QStringLiteral("CH ID");
    QString m_caption = QStringLiteral("Line n   Line n");
    QString m_savedCaption;
    bool m_captionSaved = false;
    CBitmapPushButton* m_muteLeft;
    CBitmapPushButton* m_muteRight;
    CBitmapPushButton* m_soloLeft;
    CBitmapPushButton* m_soloRight;
    CBitmapPushButton* m_link;
    CBitmapSlider* m_panLeft;
    CBitmapSlider* m_panRight;
    CBitmapSlider* m_volumeLeft;
    CBitmapSlider* m_volumeRight;
    CLevelMeter* m_meterLeft;
    CLevelMeter* m_meterRight;
    CClipLamp* m_clipLamp;
    CMatrixStatic* m_readoutLeft;
    CMatrixStatic* m_readoutRight;
    CMatrixStatic* m_connection;
    QLabel* m_kindLabel;
    QLabel* m_captionLabel;
    QString m_alertText;
    bool m_alert = false;
    bool m_blinkPhase = true;
    int m_blinkCountdown = 0;
    QString m_statusText;
    int m_muteLeftWord = -1;
    int m_muteRightWord = -1;
    int m_soloLeftWord = -1;
    int m_soloRightWord = -1;
    int m_linkCheck = -1;
    bool m_linked = false;
    QBasicTimer m_blinkTimer;
};
