#pragma once
// The control section: host-connection lamps, the sync-source and digital-mode
// groups and the sample-rate selector. User choices go to the container as
// UM_SYNC_SOURCE, UM_DIGITAL_MODE and UM_SAMPLE_RATE; the container answers
// by setting the section's controls from the device.
#include "mixer/controls/MixerElement.h"

#include <QBasicTimer>
#include <QList>

class CBitmapPushButton;
class CBitmapStatusDisplay;
class CMatrixStatic;

class CControlSection : public CMixerElement {
    Q_OBJECT

public:
    static constexpr int kBackgroundId = 135;
    static constexpr int kHostHeadingId = 1063;
    static constexpr int kUsbLampId = 1031;
    static constexpr int kFireWireLampId = 1032;
    static constexpr int kUsbLabelId = 1033;
    static constexpr int kFireWireLabelId = 1034;
    static constexpr int kSyncHeadingId = 1035;
    static constexpr int kSyncFirstId = 1036; // 1036..1040: Device, Coax, Optical, Word Clock, PC
    static constexpr int kSyncLabelFirstId = 1041;
    static constexpr int kOpticalButtonId = 1038;
    static constexpr int kPcButtonId = 1040;
    static constexpr int kOpticalLabelId = 1043;
    static constexpr int kPcLabelId = 1045;
    static constexpr int kDigitalHeadingId = 1046;
    static constexpr int kSpdifId = 1047;
    static constexpr int kHsSpdifId = 1048;
    static constexpr int kAdatHeadingId = 1051;
    static constexpr int kAdatId = 1052;
    static constexpr int kSmuxId = 1053;
    static constexpr int kRateHeadingId = 1056;
    static constexpr int kRateReadoutId = 1059;
    static constexpr int kRateDownId = 1060;
    static constexpr int kRateUpId = 1061;
    static constexpr int kApplyId = 1062;
    static constexpr int kSectionTimerMs = 600;
    static constexpr int kBlinkLimit = 20;
    static constexpr int kRateColumns = 12;

    enum class Group { Lamp, Sync, Digital };
    // Host connection kinds of ShowHostConnection.
    static constexpr int kHostUsb = 1;
    static constexpr int kHostFireWire = 2;

    explicit CControlSection(QWidget* parent = nullptr);

    void OnInitDialog() override;

    void SetMeterLevels(int left, int right) override;
    void DropMeters() override;
    void SetCrossfade(quint32 unused1, quint32 unused2, double value) override;
    QString GetConnectionName() const override;
    QString ControlName(const QWidget* control) const override;

    // 1 = USB, 2 = FireWire: only that lamp and label, moved to the lower row.
    void ShowHostConnection(int type);
    // Every lamp dark, or (invert) every lamp the opposite of the USB lamp.
    void SetAllLamps(bool invert);
    // 0 = USB lamp lit, 1 = 1394a lamp lit, 2 = none lit, others: SetAllLamps(true).
    void SetHostLamp(int mode);
    int LampMode() const { return m_lampMode; }
    // Unchecks every button of the group, then checks the one at index (none when out of range).
    void SelectInGroup(Group group, int index);

    // The rates the device accepts, in the device's order.
    void SetSupportedRates(const QList<quint32>& rates) { m_rates = rates; }
    void ClearRates() { m_rates.clear(); }
    void AddRate(quint32 rate) { m_rates.append(rate); }
    const QList<quint32>& SupportedRates() const { return m_rates; }
    // The device's rate: shown; true and taken as current when supported,
    // otherwise the selection falls back to the current rate.
    bool SetCurrentRate(quint32 rate);
    // Shows rate; an unsupported one blinks with "notSupported". False when
    // unsupported or when no rates are known (then nothing changes).
    bool ShowRate(quint32 rate);
    // -1 down, +1 up through the supported rates.
    void StepRate(int direction);
    // One step of the rate blink (each section timer tick while blinking).
    void BlinkRate();
    // Apply: shows the selected rate and posts UM_SAMPLE_RATE with it.
    void ApplyRate();

    quint32 CurrentRate() const { return m_currentRate; }
    quint32 SelectedRate() const { return m_selectedRate; }
    bool RateBlinking() const { return m_rateBlinking; }
    int BlinkCount() const { return m_blinkCount; }
    QString RateMessage() const { return m_rateMessage; }
    static QString FormatRate(quint32 rate);

    CBitmapStatusDisplay* UsbLamp() const { return m_usbLamp; }
    CBitmapStatusDisplay* FireWireLamp() const { return m_fireWireLamp; }
    CBitmapPushButton* SyncButton(int index) const;
    CBitmapPushButton* DigitalButton(int index) const;
    CMatrixStatic* RateReadout() const { return m_rateReadout; }
    CBitmapPushButton* RateDown() const { return m_rateDown; }
    CBitmapPushButton* RateUp() const { return m_rateUp; }
    CBitmapPushButton* Apply() const { return m_apply; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QList<CBitmapPushButton*> GroupButtons(Group group) const;
    void StartBlinking();
    int IndexOfRate(quint32 rate) const;

    QList<quint32> m_rates;
    QString m_rateMessage;
    int m_lampMode = -1;
    quint32 m_currentRate = 0;
    quint32 m_selectedRate = 0;
    bool m_rateBlinking = false;
    bool m_blinkPhase = true;
    int m_blinkCount = 0;
    CBitmapStatusDisplay* m_usbLamp;
    CBitmapStatusDisplay* m_fireWireLamp;
    QList<CBitmapPushButton*> m_syncGroup;
    QList<CBitmapPushButton*> m_digitalGroup;
    CMatrixStatic* m_rateReadout;
    CBitmapPushButton* m_rateDown;
    CBitmapPushButton* m_rateUp;
    CBitmapPushButton* m_apply;
    QBasicTimer m_sectionTimer;
};
