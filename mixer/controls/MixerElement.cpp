#include "mixer/controls/MixerElement.h"

#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ClipLamp.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerMessages.h"
#include "mixer/controls/MixerPanelTop.h"
#include "mixer/controls/SurfaceAccessible.h"
#include "mixer/controls/ValueEditor.h"
#include "mixer/controls/ValueScaling.h"

#include "ui/ControlId.h"
#include "ui/DialogUnits.h"
#include "ui/SkinLoader.h"
#include "ui/WindowMessage.h"

#include <QAbstractButton>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

// Legends on the dark skin.
const QColor kLabelText(0xC9, 0xCE, 0xD6);

} // namespace

CMixerElement::CMixerElement(int backgroundId, QWidget* parent)
    : QWidget(parent), m_backgroundId(backgroundId), m_background(CSkin::Bitmap(backgroundId))
{
    surface::InstallAccessibility();
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, kLabelText);
    setPalette(pal);
    // The 8-point dialog font that the dialog-unit layout assumes.
    QFont dialogFont(QStringLiteral("MS Shell Dlg 2"));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPixelSize(10);
    setFont(dialogFont);
    // The empty base page until initialisation sizes the element to its background.
    resize(DuToPxX(131), DuToPxY(214));
}

void CMixerElement::Create(QWidget* parent)
{
    setParent(parent);
    OnInitDialog();
    OrderTabStops();
}

void CMixerElement::OrderTabStops()
{
    QList<QWidget*> stops;
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->focusPolicy() & Qt::TabFocus)
            stops.append(w);
    std::stable_sort(stops.begin(), stops.end(), [](const QWidget* a, const QWidget* b) {
        return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
    });
    for (int i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops.at(i - 1), stops.at(i));
}

void CMixerElement::OnInitDialog()
{
    const QSize size = m_background.isNull() ? QSize(0, 0) : m_background.deviceIndependentSize().toSize();
    m_width = size.width();
    m_height = size.height();
    if (!size.isEmpty())
        resize(size);
    m_labelFont = QFont(QStringLiteral("Arial"));
    m_labelFont.setStyleHint(QFont::SansSerif);
    m_labelFont.setPixelSize(12);
    m_labelFont.setWeight(QFont::Normal);
}

void CMixerElement::UpdateData(bool fromControls)
{
    DoDataExchange(fromControls);
}

void CMixerElement::DoDataExchange(bool) {}

void CMixerElement::ExchangeRadio(bool fromControls, CBitmapPushButton* button, int& word)
{
    if (!button)
        return;
    if (fromControls)
        word = (button->GetCheck() & CBitmapPushButton::StateChecked) ? 0 : -1;
    else
        button->SetCheck(word == 0);
}

void CMixerElement::ExchangeCheck(bool fromControls, CBitmapPushButton* button, int& word)
{
    if (!button)
        return;
    if (fromControls)
        word = int(button->GetCheck() & (CBitmapPushButton::StateChecked | CBitmapPushButton::StateIndeterminate));
    else
        button->SetCheck(word >= 0 && word <= 2 ? word : 0);
}

void CMixerElement::ExchangeText(bool fromControls, QLabel* label, QString& text)
{
    if (!label)
        return;
    if (fromControls)
        text = label->text();
    else
        label->setText(text);
}

void CMixerElement::SkinFader(CBitmapSlider* fader)
{
    fader->SetTrack(141, 0, true, 0xFFFFFF);
    fader->SetThumb(139);
    fader->SetVertical(true);
    fader->SetRange(0, scaling::kFaderMax);
}

void CMixerElement::SkinPan(CBitmapSlider* slider, int trackId)
{
    slider->SetTrack(trackId, 0, true, 0xFFFFFF);
    slider->SetThumb(150);
    slider->SetVertical(false);
    slider->SetRange(scaling::kPanMin, scaling::kPanMax);
}

void CMixerElement::SkinMeter(CLevelMeter* meter)
{
    meter->SetTrack(143, 142, false);
    meter->SetVertical(true);
    meter->SetRange(0, scaling::kMeterMax);
}

void CMixerElement::PlaceClipLamp(CClipLamp* lamp, const CLevelMeter* left, const CLevelMeter* right)
{
    constexpr int kHeight = 4;
    constexpr int kGap = 2;
    const QRect pair = left->geometry().united(right->geometry());
    lamp->setGeometry(pair.x(), pair.y() - kGap - kHeight, pair.width(), kHeight);
}

void CMixerElement::ShowLevelDb(CMatrixStatic* readout, int faderPosition)
{
    const int level = scaling::LevelFromFaderPos(faderPosition);
    readout->SetText(QString::fromStdString(scaling::FormatLevelDb(scaling::ReadoutFromLevel(level))));
}

void CMixerElement::OfferTypedValue(CMatrixStatic* readout, typed::Readout kind, CBitmapSlider* fader,
                                    CBitmapSlider* slider)
{
    if (!readout || FindTyped(readout))
        return;
    m_typedReadouts.append({readout, kind, fader, slider});
    connect(readout, &CMatrixStatic::doubleClicked, this, [this, readout] { OpenValueEditor(readout); });
    for (CBitmapSlider* control : {fader, slider})
        if (control)
            control->installEventFilter(this);
}

bool CMixerElement::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool opens = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
                           (key->key() == Qt::Key_F2 || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
        if (opens)
            for (const TypedReadout& t : m_typedReadouts)
                if (t.fader == watched || t.slider == watched) {
                    OpenValueEditor(t.readout);
                    return true;
                }
    }
    return QWidget::eventFilter(watched, event);
}

const CMixerElement::TypedReadout* CMixerElement::FindTyped(const CMatrixStatic* readout) const
{
    for (const TypedReadout& t : m_typedReadouts)
        if (t.readout == readout)
            return &t;
    return nullptr;
}

void CMixerElement::OpenValueEditor(CMatrixStatic* readout)
{
    if (!FindTyped(readout) || !readout->isVisible())
        return;
    if (!m_valueEditor) {
        m_valueEditor = new CValueEditor(this);
        connect(m_valueEditor, &CValueEditor::entered, this, [this](const QString& text) {
            if (m_editedReadout)
                ApplyTypedValue(m_editedReadout, text);
        });
    }
    m_editedReadout = readout;
    m_valueEditor->Open(readout->geometry(), readout->Text().trimmed());
}

bool CMixerElement::ApplyTypedValue(CMatrixStatic* readout, const QString& text)
{
    const TypedReadout* t = FindTyped(readout);
    if (!t)
        return false;
    const std::string typedText = text.toStdString();
    const typed::Entry entry = typed::Read(typedText, t->kind);
    if (!entry.ok()) {
        ShowNote(QString::fromStdString(typed::Note(entry, typedText, t->kind)));
        return false;
    }
    const bool level = entry.target == typed::Target::Volume;
    CBitmapSlider* slider = level ? t->fader : t->slider;
    if (!slider || !slider->isEnabled() || !slider->isVisibleTo(this))
        return false;
    slider->PlaceByUser(level ? scaling::FaderPosFromLevel(entry.value) : entry.value);
    return true;
}

void CMixerElement::ShowNote(const QString& note) const
{
    QWidget* surface = parentWidget();
    if (!surface || note.isEmpty())
        return;
    if (auto* top = surface->findChild<CMixerPanelTop*>(QString(), Qt::FindDirectChildrenOnly))
        top->ShowMessage(note, kNoteMs);
}

void CMixerElement::ShowMuteState(CBitmapPushButton* button, int state)
{
    UpdateData(false);
    button->SetCheck(state & 0xFF);
    UpdateData(true);
}

void CMixerElement::OnToggleMute(int& muteWord, quint8 blockId)
{
    const int before = muteWord;
    UpdateData(true);
    if (before == 0)
        muteWord = -1;
    UpdateData(false);
    PostToParent(this, UM_MUTE, blockId, 0, before);
}

void CMixerElement::SetVolume(double, int) {}

void CMixerElement::SetBalance(double, int) {}

void CMixerElement::SetMute(int, int) {}

bool CMixerElement::PostToParent(const QWidget* window, unsigned code, quint16 high, quint16 low,
                                 qintptr second)
{
    return CWindowMessage::PostToParent(window, code, CWindowMessage::MakeWParam(high, low), second);
}

bool CMixerElement::PlaceControl(int id, int x, int y)
{
    QWidget* control = FindControl(this, id);
    if (!control)
        return false;
    control->move(x, y);
    return true;
}

bool CMixerElement::ShowControl(int id, bool show)
{
    QWidget* control = FindControl(this, id);
    if (!control)
        return false;
    control->setVisible(show);
    return true;
}

bool CMixerElement::EnableControl(int id, bool enable)
{
    QWidget* control = FindControl(this, id);
    if (!control)
        return false;
    control->setEnabled(enable);
    return true;
}

bool CMixerElement::SetControlText(int id, const QString& text)
{
    QWidget* control = FindControl(this, id);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
        return true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
        return true;
    }
    return false;
}

QLabel* CMixerElement::AddLabel(int id, const QString& text, const QRect& geometry,
                                Qt::Alignment alignment)
{
    auto* label = new QLabel(text, this);
    SetControlId(label, id);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

void CMixerElement::SetMeterIndices(int left, int right)
{
    m_leftMeterIndex = left;
    m_rightMeterIndex = right;
}

void CMixerElement::SetFrameWanted(bool wanted)
{
    m_frameWanted = wanted;
    update();
}

void CMixerElement::paintEvent(QPaintEvent*)
{
    // The screen may have changed since construction: use the matching scale.
    if (!m_background.isNull() &&
        m_background.devicePixelRatio() != CSkin::ScaleFor(devicePixelRatioF())) {
        const QPixmap matching = CSkin::Bitmap(m_backgroundId, devicePixelRatioF());
        if (!matching.isNull())
            m_background = matching;
    }
    QPainter painter(this);
    if (m_background.isNull()) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
    } else {
        if (m_paintWidth == 0 && m_paintHeight == 0) {
            const QSize size = m_background.deviceIndependentSize().toSize();
            m_paintWidth = size.width();
            m_paintHeight = size.height();
        }
        painter.drawPixmap(QPoint(0, 0), m_background);
    }
    if (m_frameWanted) {
        const QRect r = rect();
        painter.setPen(m_frameLight);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(m_frameDark);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    }
}

QString CMixerElement::ControlName(const QWidget* control) const
{
    // The label to the right of the control whose row holds the control's middle.
    const QRect at = control->geometry();
    const QLabel* best = nullptr;
    for (const QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const QRect r = label->geometry();
        if (label->isVisibleTo(this) && r.left() >= at.right() && r.top() <= at.center().y() &&
            r.bottom() >= at.center().y() && (!best || r.left() < best->x()))
            best = label;
    }
    return best ? best->text().simplified() : QString();
}

bool CMixerElement::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        QWidget* control = childAt(help->pos());
        while (control && control->parentWidget() != this)
            control = control->parentWidget();
        const QString tip = control ? surface::ControlToolTip(control) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, control);
        return true;
    }
    return QWidget::event(event);
}
