#pragma once
// A button drawn from a strip of three images (0 disabled, 1 off, 2 on) that
// acts as push button, check box, three-state box or radio button by its
// style. Without images it is a plain QPushButton. A click emits clicked(),
// the command notification to the element.
#include <QPixmap>
#include <QPushButton>
#include <QVector>

class CBitmapPushButton : public QPushButton {
    Q_OBJECT

public:
    // The button kinds by the low byte of the platform's window style.
    enum class Style {
        PushButton = 0,
        CheckBox = 2,
        AutoCheckBox = 3,
        RadioButton = 4,
        ThreeState = 5,
        AutoThreeState = 6,
        AutoRadioButton = 9,
    };
    // Bits of the state word.
    static constexpr unsigned StateChecked = 1u << 0;
    static constexpr unsigned StateIndeterminate = 1u << 1;
    static constexpr unsigned StatePushed = 1u << 2;
    static constexpr unsigned StateNoFocus = 1u << 3;

    explicit CBitmapPushButton(QWidget* parent = nullptr, int controlId = 0,
                               Style style = Style::PushButton);

    // Cuts bitmap into images of w x h and sizes the button to one image.
    // False (plain button) when the bitmap is missing or the size is empty.
    bool SetImages(bool shiftOnPress, const QPixmap& bitmap, int w, int h);
    bool SetImages(bool shiftOnPress, int bitmapId, int w, int h);

    void SetButtonStyle(Style style);
    Style ButtonStyle() const { return m_style; }

    // Checked and indeterminate bits.
    unsigned GetCheck() const;
    // Ends tracking; any nonzero value checks.
    void SetCheck(int check);
    // Ends tracking; the highlight is not kept.
    void SetState(bool highlight);
    unsigned GetState() const;
    void SetNoFocusOnClick(bool noFocus);

    // The click action of the style, then the notification.
    virtual void Click();

    bool ImagesLoaded() const { return m_imagesLoaded; }
    int ImageCount() const { return int(m_images.size()); }
    // Index drawn last: 0 disabled, 1 off, 2 on.
    int ImageShown() const { return m_imageShown; }
    bool IsTracking() const { return m_tracking; }
    QSize ImageSize() const { return QSize(m_imageWidth, m_imageHeight); }
    // The keyboard-focus mark is drawn (focus came by keyboard, images loaded).
    bool ShowsFocusMark() const { return m_imagesLoaded && hasFocus() && m_focusCue; }

protected:
    // Draws the face and the image for the current state into painter.
    virtual void DrawItem(QPainter& painter, const QRect& rect, unsigned state, bool enabled);
    void EndTracking();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_tracking = false;
    unsigned m_state = 0;
    QVector<QPixmap> m_images;
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    int m_imageShown = 0;
    bool m_mouseDown = false;
    bool m_imagesLoaded = false;
    bool m_shiftOnPress = true;
    bool m_focusCue = false; // the focus came by keyboard: draw the mark
    Style m_style;
};
