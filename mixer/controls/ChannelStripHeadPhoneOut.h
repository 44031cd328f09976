#pragma once
// The headphone output: volume fader, balance, a level read-out and a mute
// button that toggles, on the narrow skin. Reports UM_VOLUME, UM_BALANCE and
// UM_MUTE with its own block id.
#include "mixer/controls/MixerElement.h"

class CBitmapPushButton;
class CBitmapSlider;
class CMatrixStatic;

class CChannelStripHeadPhoneOut : public CMixerElement {
    Q_OBJECT

public:
    static constexpr int kBackgroundId = 181;
    static constexpr int kKindLabelId = 1008;
    static constexpr int kReadoutId = 1067;
    static constexpr int kVolumeId = 1068;
    static constexpr int kBalanceId = 1069;
    static constexpr int kMuteId = 1075;
    static constexpr int kReadoutColumns = 8;

    explicit CChannelStripHeadPhoneOut(QWidget* parent = nullptr);

    void OnInitDialog() override;

    // Channel 0 only.
    void SetVolume(double levelDb, int channel) override;
    // Any channel, as on the main out: the container sends these on channel 1.
    void SetBalance(double value, int channel) override;
    void SetMute(int state, int channel) override;
    void SetMeterLevels(int left, int right) override;
    void DropMeters() override;
    void SetCrossfade(quint32 unused1, quint32 unused2, double value) override;
    QString GetConnectionName() const override;
    QString ControlName(const QWidget* control) const override;

    // The id this strip's messages carry (the container also sets the element's).
    void SetOwnBlockId(quint32 id) { m_ownBlockId = id; }
    quint8 OwnBlockId() const { return quint8(m_ownBlockId & 0xFF); }
    // Bound to label 1008; shown at the next UpdateData(false).
    void SetKindText(const QString& text) { m_kindText = text; }
    QString KindText() const { return m_kindText; }
    void SetSecondText(const QString& text) { m_secondText = text; }
    QString SecondText() const { return m_secondText; }
    // 0 = lit (muted), -1 = dark.
    int MuteWord() const { return m_muteWord; }

    CBitmapSlider* Volume() const { return m_volume; }
    CBitmapSlider* Balance() const { return m_balance; }
    CBitmapPushButton* Mute() const { return m_mute; }
    CMatrixStatic* Readout() const { return m_readout; }

protected:
    void DoDataExchange(bool fromControls) override;
    void customEvent(QEvent* event) override;

private:
    static constexpr int kMinKindPixelSize = 7;
    void FitKindLabel();

    quint32 m_ownBlockId = 0;
    QString m_kindText = QStringLiteral("CH ID");
    QString m_secondText;
    CBitmapSlider* m_volume;
    CBitmapSlider* m_balance;
    CMatrixStatic* m_readout;
    QLabel* m_kindLabel;
    CBitmapPushButton* m_mute;
    int m_muteWord = -1;
};
