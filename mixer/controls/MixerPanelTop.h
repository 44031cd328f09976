#pragma once
// The top bar of a mixer surface: the title and transient status texts on a
// 60-column LED display.
#include "mixer/controls/MixerElement.h"

#include <QBasicTimer>

class CMatrixStatic;

class CMixerPanelTop : public CMixerElement {
    Q_OBJECT

public:
    static constexpr int kDisplayId = 1064;
    static constexpr int kColumns = 60;

    explicit CMixerPanelTop(QWidget* parent = nullptr);

    void OnInitDialog() override;

    void SetMeterLevels(int left, int right) override;
    void DropMeters() override;
    void SetCrossfade(quint32 unused1, quint32 unused2, double value) override;
    QString GetConnectionName() const override;
    QString ControlName(const QWidget* control) const override;

    void SetTitle(const QString& title) { m_title = title; }
    QString Title() const { return m_title; }
    // Shows text right-aligned for duration ms, then the title again. Empty text changes nothing.
    void ShowMessage(const QString& text, int durationMs);
    bool MessageShowing() const { return m_messageTimer.isActive(); }
    CMatrixStatic* Display() const { return m_display; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    CMatrixStatic* m_display;
    QString m_title;
    QBasicTimer m_messageTimer;
};
