#pragma once
// The inline editor of a read-out: one line in the LED display's colours,
// laid over the read-out. Enter hands the text on (entered); Escape or the
// focus going elsewhere ends it without (cancelled). Enter and Escape stay
// with the editor, so they neither close the window nor press a button.
#include <QLineEdit>
#include <QPointer>

class CValueEditor : public QLineEdit {
    Q_OBJECT

public:
    static constexpr int kMinWidth = 48;
    static constexpr int kMaxLength = 32;

    explicit CValueEditor(QWidget* parent);

    // Shows the editor over `over` (in the parent's coordinates, widened to
    // kMinWidth and kept inside the parent) with text selected, and focuses
    // it. Enter and Escape give the focus back to the control that had it.
    void Open(const QRect& over, const QString& text);
    bool IsOpen() const { return m_open; }

signals:
    void entered(const QString& text);
    void cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Finish(bool apply);

    bool m_open = false;
    QPointer<QWidget> m_returnFocus;
};
