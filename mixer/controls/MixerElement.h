#pragma once
// Base of every part of the mixer surface: a borderless child panel painted
// with its own background bitmap (and a 3-D frame), holding skinned controls.
// The container drives it through the virtual operations below; the element
// reports user actions to the container with posted messages.
#include "mixer/controls/TypedValue.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>

class CBitmapPushButton;
class CBitmapSlider;
class CClipLamp;
class CLevelMeter;
class CMatrixStatic;
class CValueEditor;
class QLabel;

class CMixerElement : public QWidget {
    Q_OBJECT

public:
    explicit CMixerElement(int backgroundId, QWidget* parent = nullptr);

    // Dialog initialisation: size from the background bitmap, label font.
    // Subclasses call this first and then set up their controls.
    virtual void OnInitDialog();
    // Parents the element and initialises it; Tab then walks its controls in
    // the order they lie in, row by row from the top, each row left to right.
    void Create(QWidget* parent);
    void OrderTabStops();

    // Moves the bound values between the element's fields and its controls:
    // from the controls when fromControls is set, else to them.
    void UpdateData(bool fromControls);

    virtual void SetVolume(double levelDb, int channel);
    virtual void SetBalance(double value, int channel);
    virtual void SetMute(int state, int channel);
    virtual void SetMeterLevels(int left, int right) = 0;
    virtual void DropMeters() = 0;
    virtual void SetCrossfade(quint32 unused1, quint32 unused2, double value) = 0;
    virtual QString GetConnectionName() const = 0;
    // What screen readers and tooltips call one of the element's controls
    // ("Input 1/2 left volume"). The base names a control after the label
    // beside it on its row; empty when there is none.
    virtual QString ControlName(const QWidget* control) const;

    // Posts code to the parent of window with the first parameter high | low.
    static bool PostToParent(const QWidget* window, unsigned code, quint16 high, quint16 low,
                             qintptr second);
    // Moves control id to (x, y) keeping its size. False when there is no such control.
    bool PlaceControl(int id, int x, int y);
    // Dialog-item operations by control id; false when there is no such control.
    bool ShowControl(int id, bool show);
    bool EnableControl(int id, bool enable);
    // Label or button text.
    bool SetControlText(int id, const QString& text);
    // A static text on the skin: transparent background, the skin's text colour.
    QLabel* AddLabel(int id, const QString& text, const QRect& geometry,
                     Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

    void SetConnectionName(const QString& name) { m_connectionName = name; }
    void SetTypeName(const QString& name) { m_typeName = name; }
    QString TypeName() const { return m_typeName; }
    int ElementWidth() const { return m_width; }
    int ElementHeight() const { return m_height; }
    void SetMeterIndices(int left, int right);
    int LeftMeterIndex() const { return m_leftMeterIndex; }
    int RightMeterIndex() const { return m_rightMeterIndex; }
    void SetVisibleFlag(bool visible) { m_visible = visible; }
    bool VisibleFlag() const { return m_visible; }
    void SetBlockId(quint32 id) { m_blockId = id; }
    // The low byte, as the messages carry it.
    quint8 BlockId() const { return quint8(m_blockId & 0xFF); }
    void SetFrameWanted(bool wanted);
    bool FrameWanted() const { return m_frameWanted; }
    QColor FrameLight() const { return m_frameLight; }
    QColor FrameDark() const { return m_frameDark; }
    const QFont& LabelFont() const { return m_labelFont; }
    const QPixmap& Background() const { return m_background; }
    QSize PaintSize() const { return QSize(m_paintWidth, m_paintHeight); }

    // Typed values. A double click on an offered read-out opens the value
    // editor over it; Enter reads the text and moves the slider it names as
    // a drag that ends there would. Null until a read-out was double-clicked.
    static constexpr int kNoteMs = 4000;
    CValueEditor* ValueEditor() const { return m_valueEditor; }
    void OpenValueEditor(CMatrixStatic* readout);
    // Reads text for readout and applies it; text it cannot read changes
    // nothing and shows a note on the surface's top bar. False then.
    bool ApplyTypedValue(CMatrixStatic* readout, const QString& text);
    // A short note on the top bar of the surface the element lies on.
    void ShowNote(const QString& note) const;

protected:
    // The bound values of the element; the base has none.
    virtual void DoDataExchange(bool fromControls);
    // A radio value bound to a button that starts its own group: 0 = checked, -1 = not.
    static void ExchangeRadio(bool fromControls, CBitmapPushButton* button, int& word);
    // A check value: 0, 1 or 2; any other word shows unchecked.
    static void ExchangeCheck(bool fromControls, CBitmapPushButton* button, int& word);
    static void ExchangeText(bool fromControls, QLabel* label, QString& text);

    // Skins of the strips' sliders: a channel fader (0..63), a horizontal
    // pan, balance or crossfade slider (-127..127) on the given track, and a
    // level meter (0..100).
    static void SkinFader(CBitmapSlider* fader);
    static void SkinPan(CBitmapSlider* slider, int trackId);
    static void SkinMeter(CLevelMeter* meter);
    // The clip lamp of a meter pair, in the gap just above the skinned meters.
    static void PlaceClipLamp(CClipLamp* lamp, const CLevelMeter* left, const CLevelMeter* right);

    // The output strips' shared parts. A fader position's level on a read-out, with its unit.
    static void ShowLevelDb(CMatrixStatic* readout, int faderPosition);
    // Lets the user type a value into readout: a level for fader (null for
    // none), a pan, balance or crossfade position for the slider. A double
    // click on the read-out, or F2 or Enter on either control, opens the editor.
    void OfferTypedValue(CMatrixStatic* readout, typed::Readout kind, CBitmapSlider* fader,
                         CBitmapSlider* slider);
    // The device's mute state on the toggling button, and the bound word after it.
    void ShowMuteState(CBitmapPushButton* button, int state);
    // A click on the toggling mute button: a lit button goes dark; posts
    // UM_MUTE with the word from before the click.
    void OnToggleMute(int& muteWord, quint8 blockId);

    void paintEvent(QPaintEvent* event) override;
    // Tooltips of the controls that show none of their own: name and value.
    bool event(QEvent* event) override;
    // F2 or Enter on a fader or slider with a typed read-out opens its editor.
    bool eventFilter(QObject* watched, QEvent* event) override;

    QString m_connectionName;

private:
    struct TypedReadout {
        CMatrixStatic* readout;
        typed::Readout kind;
        CBitmapSlider* fader;
        CBitmapSlider* slider;
    };
    const TypedReadout* FindTyped(const CMatrixStatic* readout) const;

    QList<TypedReadout> m_typedReadouts;
    CValueEditor* m_valueEditor = nullptr;
    CMatrixStatic* m_editedReadout = nullptr;
    QString m_typeName;
    int m_width = 0;
    int m_height = 0;
    int m_leftMeterIndex = -1;
    int m_rightMeterIndex = -1;
    bool m_visible = false;
    int m_paintWidth = 0;
    int m_paintHeight = 0;
    bool m_frameWanted = true;
    QColor m_frameLight{0xF1, 0xEF, 0xE2};
    QColor m_frameDark{0x71, 0x6F, 0x64};
    quint32 m_blockId = 0;
    int m_backgroundId;
    QPixmap m_background;
    QFont m_labelFont;
};
