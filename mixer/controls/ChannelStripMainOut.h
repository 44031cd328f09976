#pragma once
// The main stereo output: volume fader, balance with a dead zone of -2..2,
// two level meters, a level read-out and a mute button that toggles. Reports
// UM_VOLUME, UM_BALANCE and UM_MUTE with the element's block id.
#include "mixer/controls/MeterClock.h"
#include "mixer/controls/MixerElement.h"

class CBitmapPushButton;
class CBitmapSlider;
class CClipLamp;
class CLevelMeter;
class CMatrixStatic;

class CChannelStripMainOut : public CMixerElement {
    Q_OBJECT

public:
    static constexpr int kBackgroundId = 133;
    static constexpr int kKindLabelId = 1008;
    static constexpr int kMeterLeftId = 1014;
    static constexpr int kMeterRightId = 1015;
    static constexpr int kVolumeId = 1019;
    static constexpr int kBalanceId = 1020;
    static constexpr int kReadoutId = 1021;
    static constexpr int kCaptionLabelId = 1022;
    static constexpr int kMuteId = 1074;
    static constexpr int kReadoutColumns = 10;

    explicit CChannelStripMainOut(QWidget* parent = nullptr);

    void OnInitDialog() override;

    // Any channel.
    void SetVolume(double levelDb, int channel) override;
    void SetBalance(double value, int channel) override;
    void SetMute(int state, int channel) override;
    void SetMeterLevels(int left, int right) override;
    void DropMeters() override;
    void SetCrossfade(quint32 unused1, quint32 unused2, double value) override;
    QString GetConnectionName() const override;
    QString ControlName(const QWidget* control) const override;

    // Bound to the labels; shown at the next UpdateData(false).
    void SetKindText(const QString& text) { m_kindText = text; }
    QString KindText() const { return m_kindText; }
    void SetCaption(const QString& text) { m_caption = text; }
    QString Caption() const { return m_caption; }
    // 0 = lit (muted), -1 = dark.
    int MuteWord() const { return m_muteWord; }

    CBitmapSlider* Volume() const { return m_volume; }
    CBitmapSlider* Balance() const { return m_balance; }
    CLevelMeter* MeterLeft() const { return m_meterLeft; }
    CLevelMeter* MeterRight() const { return m_meterRight; }
    CClipLamp* ClipLamp() const { return m_clipLamp; }
    // The clock of the peak marks and the clip lamp.
    void SetMeterClock(const MeterClock& clock);
    CBitmapPushButton* Mute() const { return m_mute; }
    CMatrixStatic* Readout() const { return m_readout; }

protected:
    void DoDataExchange(bool fromControls) override;
    void customEvent(QEvent* event) override;

private:

    int m_muteWord = -1;
    QString m_kindText = QStringLiteral("CH ID");
    QString m_caption = QStringLiteral("Master 1/2");
    CBitmapSlider* m_volume;
    CLevelMeter* m_meterLeft;
    CLevelMeter* m_meterRight;
    CClipLamp* m_clipLamp;
    CBitmapSlider* m_balance;
    CBitmapPushButton* m_mute;
    CMatrixStatic* m_readout;
    QLabel* m_kindLabel;
    QLabel* m_captionLabel;
};
