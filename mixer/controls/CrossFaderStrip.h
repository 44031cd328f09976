#pragma once
// The crossfader under the channel strips: "Monitor in" at the left end,
// "Line 1/2 PC" at the right. Moving it posts UM_CROSSFADE with the negated
// position, only when the value changes; device values are not shown while
// the user holds the slider.
#include "mixer/controls/MixerElement.h"

#include <climits>

class CBitmapSlider;
class CMatrixStatic;

class CCrossFaderStrip : public CMixerElement {
    Q_OBJECT

public:
    static constexpr int kBackgroundId = 137;
    static constexpr int kSliderId = 1065;
    static constexpr int kReadoutId = 1066;
    static constexpr int kTitleLabelId = 1070;
    static constexpr int kRightLabelId = 1078;
    static constexpr int kReadoutColumns = 5;
    // Narrowing: room kept right of the track, and the right label's row then.
    static constexpr int kNarrowMargin = 130;
    static constexpr int kNarrowLabelY = 27;

    explicit CCrossFaderStrip(QWidget* parent = nullptr);

    // Sets the slider up and, from the event loop, posts UM_CROSSFADE 0 to
    // centre the device's crossfader.
    void OnInitDialog() override;

    void SetMeterLevels(int left, int right) override;
    void DropMeters() override;
    // Shows the device's value unless the user holds the slider.
    void SetCrossfade(quint32 unused1, quint32 unused2, double value) override;
    QString GetConnectionName() const override;
    QString ControlName(const QWidget* control) const override;

    // Narrowing hooks: the slider's track width, and the width it is cut to
    // (0 = the full track). The right label moves with PlaceControl(kRightLabelId, ...).
    int SliderTrackWidth() const;
    void SetSliderTrackWidth(int width);

    bool IsDragging() const { return m_dragging; }
    int LastSentValue() const { return m_lastSent; }
    CBitmapSlider* Slider() const { return m_slider; }
    CMatrixStatic* Readout() const { return m_readout; }

protected:
    void customEvent(QEvent* event) override;

private:
    static constexpr int kNothingSent = INT_MIN;

    int m_lastSent = kNothingSent;
    bool m_dragging = false;
    CBitmapSlider* m_slider;
    CMatrixStatic* m_readout;
    QLabel* m_titleLabel;
};
