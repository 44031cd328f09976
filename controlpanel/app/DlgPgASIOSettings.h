#pragma once
// The "Settings" page: the depths of the isochronous stream buffer, the ASIO
// buffer and the WDM sound buffer, each on a slider in the driver's steps with
// its own Apply, and the drop-out counter polled once a second while shown.
#include <QBasicTimer>
#include <QString>

#include "controlpanel/app/DialogPage.h"
#include "controlpanel/driver/ControlPanelRecords.h"

class QLabel;
class QPushButton;
class QSlider;

class CDlgPgASIOSettings : public CDialogPage {
    Q_OBJECT
public:
    // Upper limits of the sliders in microseconds.
    static constexpr std::uint32_t kStreamLimit = 10000, kAudioLimit = 40000;

    CDlgPgASIOSettings();

    void Refresh() override;
    // Tick frequency of an audio-buffer slider from its record.
    static int AudioTickFrequency(std::uint32_t minimum, std::uint32_t step);
    bool StatisticsTimerActive() const { return m_statisticsTimer.isActive(); }

protected:
    bool OnInitDialog() override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void SetUpStreamSlider();
    void SetUpAudioSlider(QSlider* slider, const qel::QEL_AUDIO_BUFFER& record);
    void UpdateTexts();
    void UpdateAudioText(QSlider* slider, qel::QEL_AUDIO_BUFFER& record, QPushButton* apply, QString& text);
    void WriteTexts();
    void OnApplyStream();
    void OnApplyAsio();
    void OnApplyWdm();

    qel::QEL_STREAM_BUFFER m_stream;
    qel::QEL_AUDIO_BUFFER m_asio;
    qel::QEL_AUDIO_BUFFER m_wdm;
    QSlider* m_streamSlider = nullptr;
    QSlider* m_asioSlider = nullptr;
    QSlider* m_wdmSlider = nullptr;
    QLabel* m_streamLabel = nullptr;
    QLabel* m_asioLabel = nullptr;
    QLabel* m_wdmLabel = nullptr;
    QLabel* m_dropoutsLabel = nullptr;
    QPushButton* m_streamApply = nullptr;
    QPushButton* m_asioApply = nullptr;
    QPushButton* m_wdmApply = nullptr;
    QString m_streamText = QStringLiteral("0 ms");
    QString m_asioText = QStringLiteral("0 ms\n0 samples");
    QString m_wdmText = QStringLiteral("0 ms\n0 samples");
    QString m_dropoutsText;
    QBasicTimer m_statisticsTimer;
};
