// skin-gallery: a mixer surface built from the real elements, beside a
// board with every control in every state. `--shots DIR [--suffix S]`
// renders it to DIR/skin-gallery<S>.png, each element to DIR/<element><S>.png,
// and exits.
#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/BitmapStatusDisplay.h"
#include "mixer/controls/ChannelStripHeadPhoneOut.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerElement.h"
#include "mixer/controls/MixerPanelTop.h"
#include "mixer/controls/ValueScaling.h"
#include "ui/SkinLoader.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdio>

namespace {

using Style = CBitmapPushButton::Style;

// A plain panel of the surface for showing controls on their background.
class CGalleryPanel : public CMixerElement {
public:
    CGalleryPanel(int backgroundId, QWidget* parent) : CMixerElement(backgroundId, parent)
    {
        Create(parent);
    }
    void SetMeterLevels(int, int) override {}
    void DropMeters() override {}
    void SetCrossfade(quint32, quint32, double) override {}
    QString GetConnectionName() const override { return m_connectionName; }
};

class CSurface : public QWidget {
public:
    CSurface() : m_background(CSkin::Bitmap(151, devicePixelRatioF())) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, m_background);
    }

private:
    QPixmap m_background;
};

CBitmapSlider* Fader(QWidget* parent, int id, int x, int y, int position)
{
    auto* s = new CBitmapSlider(parent, id);
    s->move(x, y);
    s->SetTrack(141, 0, true, 0xFFFFFF);
    s->SetThumb(139);
    s->SetVertical(true);
    s->SetRange(0, scaling::kFaderMax);
    s->SetPos(position);
    return s;
}

CBitmapSlider* Horizontal(QWidget* parent, int id, int trackId, int x, int y, int position)
{
    auto* s = new CBitmapSlider(parent, id);
    s->move(x, y);
    s->SetTrack(trackId, 0, true, 0xFFFFFF);
    s->SetThumb(150);
    s->SetRange(scaling::kPanMin, scaling::kPanMax);
    s->SetPos(position);
    return s;
}

CLevelMeter* Meter(QWidget* parent, int id, int x, int y, int position)
{
    auto* m = new CLevelMeter(parent, id);
    m->move(x, y);
    m->SetTrack(143, 142, false);
    m->SetVertical(true);
    m->SetRange(0, scaling::kMeterMax);
    for (int i = 0; i < 40 && m->GetPos() != position; ++i)
        m->SetPos(position);
    return m;
}

CBitmapPushButton* Button(QWidget* parent, int id, Style style, int bitmap, int w, int h, int x,
                          int y, bool shift = true)
{
    auto* b = new CBitmapPushButton(parent, id, style);
    b->SetImages(shift, bitmap, w, h);
    b->move(x, y);
    return b;
}

CMatrixStatic* Readout(QWidget* parent, int id, int columns, const QString& text, int x, int y)
{
    auto* d = new CMatrixStatic(parent, id);
    d->Setup(columns, text);
    d->move(x, y);
    return d;
}

void Press(QWidget* w)
{
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(w->width() / 2.0, w->height() / 2.0),
                      w->mapToGlobal(QPointF(w->width() / 2.0, w->height() / 2.0)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
}

// The real elements, set as the container would leave them; each is also
// rendered on its own.
QList<QPair<QString, QWidget*>> g_elements;
void InputStrip(QWidget* surface, int x, const char* caption, int left, int right, int meterL,
                int meterR, bool linked, const char* connection)
{
    auto* strip = new CChannelStripStereoIn;
    strip->Create(surface);
    strip->move(x, 34);
    g_elements.append({"stereo-in-" + QString::number(g_elements.size() + 1), strip});
    strip->SetKindText("Input");
    strip->SetCaption(caption);
    strip->SetConnection(connection);
    strip->UpdateData(false);
    strip->SetVolume(-left, 1);
    strip->SetVolume(-right, 2);
    if (left > 40)
        strip->SetMute(1, 1);
    if (right == 0) {
        strip->SoloRightWord() = 0;
        strip->UpdateData(false);
    }
    if (linked)
        strip->Link()->Click();
    // An earlier, louder reading leaves a peak mark over each bar.
    strip->SetMeterLevels(std::max(meterL - 24, 2), std::max(meterR - 16, 2));
    for (int i = 0; i < 40; ++i)
        strip->SetMeterLevels(meterL, meterR);
    if (QString(connection) == "COAX_SPDIF")
        strip->SetStatusText("48kHz");
    else if (QString(connection) == "OPT_SPDIF")
        strip->SetStatusText("Disconnected");
}

void OutputStrips(QWidget* surface)
{
    auto* master = new CChannelStripMainOut;
    master->Create(surface);
    master->move(268, 34);
    g_elements.append({"main-out", master});
    master->SetKindText("Master");
    master->SetCaption("Master 1/2");
    master->UpdateData(false);
    master->SetVolume(-12, 0);
    // A full-scale reading: the clip lamp lit, the marks at the top.
    master->SetMeterLevels(0, 4);
    for (int i = 0; i < 40; ++i)
        master->SetMeterLevels(18, 24);

    auto* phones = new CChannelStripHeadPhoneOut;
    phones->Create(surface);
    phones->move(356, 34);
    g_elements.append({"headphone", phones});
    phones->SetKindText("Phones");
    phones->UpdateData(false);
    phones->SetVolume(-30, 0);
    phones->SetBalance(40, 1);
    phones->SetMute(1, 1);
}

void ControlSection(QWidget* surface)
{
    auto* section = new CControlSection;
    section->Create(surface);
    section->move(414, 34);
    g_elements.append({"control-section", section});
    section->ShowHostConnection(CControlSection::kHostFireWire);
    section->SetHostLamp(1);
    section->SetSupportedRates({44100, 48000, 88200, 96000});
    section->SetCurrentRate(48000);
    section->SelectInGroup(CControlSection::Group::Sync, 0);
    section->SelectInGroup(CControlSection::Group::Digital, 0);
    section->EnableControl(CControlSection::kPcButtonId, false);
    section->EnableControl(CControlSection::kPcLabelId, false);
}

void Crossfader(QWidget* surface)
{
    auto* strip = new CCrossFaderStrip;
    strip->Create(surface);
    strip->move(4, 404);
    g_elements.append({"crossfader", strip});
    strip->SetCrossfade(2, 0, 40);
}

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int w = 120)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, 14);
    return l;
}

// Every image strip disabled, off, on, pushed; lamps; meters; slider states;
// plain fallbacks; the LED character set and bad input.
void StateBoard(QWidget* surface)
{
    auto* board = new CGalleryPanel(151, surface);
    board->setGeometry(600, 34, 420, 474);
    board->SetFrameWanted(false);
    struct Strip { int id; int w; int h; const char* name; };
    const Strip strips[] = {{149, 30, 16, "149 M"},     {156, 30, 16, "156 S"},
                            {144, 68, 12, "144 link"},  {182, 50, 14, "182 Mute"},
                            {134, 11, 11, "134 round"}, {154, 17, 14, "154 down"},
                            {148, 16, 14, "148 up"},    {155, 28, 14, "155 apply"}};
    int y = 0;
    Caption(board, "disabled", 90, y, 70);
    Caption(board, "off", 170, y, 70);
    Caption(board, "on", 250, y, 70);
    Caption(board, "pushed", 330, y, 70);
    y += 18;
    for (const Strip& s : strips) {
        Caption(board, s.name, 4, y + 1, 84);
        for (int state = 0; state < 4; ++state) {
            auto* b = Button(board, 0, Style::AutoCheckBox, s.id, s.w, s.h, 90 + state * 80, y);
            b->setEnabled(state != 0);
            b->SetCheck(state == 0 || state == 2);
            if (state == 3)
                Press(b);
        }
        y += s.h + 6;
    }
    Caption(board, "lamp", 4, y, 84);
    for (int state = 0; state < 3; ++state) {
        auto* lamp = new CBitmapStatusDisplay(board, 0);
        lamp->SetImages(false, 134, 11, 11);
        lamp->move(90 + state * 80, y + 1);
        lamp->setEnabled(state != 0);
        lamp->SetCheck(state == 2);
    }
    y += 20;

    Caption(board, "meters 0..100", 4, y, 84);
    for (int i = 0; i <= 4; ++i)
        Meter(board, 0, 92 + i * 16, y, i * 25);
    auto* disabledMeter = Meter(board, 0, 92 + 5 * 16, y, 30);
    disabledMeter->setEnabled(false);
    Caption(board, "faders", 200, y, 60);
    Fader(board, 0, 206, y + 16, 0);
    Fader(board, 0, 222, y + 16, 63);
    Fader(board, 0, 238, y + 16, 31)->setEnabled(false);
    Caption(board, "plain (no pictures)", 262, y, 150);
    auto* plainSlider = new CBitmapSlider(board, 0);
    plainSlider->setGeometry(268, y + 18, 14, 120);
    plainSlider->SetTrack(4711, 0, true, 0xFFFFFF);
    plainSlider->SetThumb(4712);
    plainSlider->SetVertical(true);
    plainSlider->SetRange(0, 63);
    plainSlider->SetPos(20);
    auto* plainMeter = new CLevelMeter(board, 0);
    plainMeter->setGeometry(290, y + 18, 8, 120);
    plainMeter->SetTrack(4711, 4712, false);
    plainMeter->SetVertical(true);
    plainMeter->SetPos(0);
    plainMeter->SetPos(40);
    auto* plainButton = new CBitmapPushButton(board, 0);
    plainButton->SetImages(true, 4711, 30, 16);
    plainButton->setText("M");
    plainButton->setGeometry(306, y + 18, 40, 22);
    auto* twoImages = new CBitmapPushButton(board, 0, Style::AutoCheckBox);
    twoImages->SetImages(true, CSkin::Bitmap(149, board->devicePixelRatioF()), 45, 16);
    twoImages->move(306, y + 48);
    Caption(board, "not 3 wide", 306, y + 66, 100);
    Horizontal(board, 0, 152, 306, y + 90, 0);
    Horizontal(board, 0, 153, 306, y + 108, 127)->setEnabled(false);
}

// Program icon and tab images (FireWire, USB; active and inactive).
void Icons(QWidget* surface)
{
    Caption(surface, "icons 179, 177 178 175 176", 800, 462, 200);
    auto* program = new QLabel(surface);
    program->setPixmap(CSkin::Icon(179).pixmap(32, 32));
    program->setGeometry(800, 476, 32, 32);
    int x = 846;
    for (int id : {177, 178, 175, 176}) {
        auto* tab = new QLabel(surface);
        tab->setPixmap(CSkin::Icon(id).pixmap(16, 16));
        tab->setGeometry(x, 484, 16, 16);
        x += 24;
    }
}

// The LED character set and characters outside it, under the crossfader.
void LedBoard(QWidget* surface)
{
    int y = 460;
    for (int row = 0; row < 3; ++row) {
        QString text;
        for (int c = 32 + row * 32; c < 64 + row * 32; ++c)
            text += QChar(c);
        Readout(surface, 0, 32, text, 4, y);
        y += 16;
    }
    Caption(surface, "outside 32..127 (tab, \u00e9, \u20ac) are blank:", 210, 460, 260);
    Readout(surface, 0, 16, QString("A\tB") + QChar(0xE9) + "C" + QChar(0x20AC) + "D", 210, 476);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QFont small = QApplication::font();
    small.setPixelSize(10);
    QApplication::setFont(small);
    QString shots;
    QString suffix;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--shots" && i + 1 < args.size())
            shots = args[++i];
        else if (args[i] == "--suffix" && i + 1 < args.size())
            suffix = args[++i];
    }

    CSurface surface;
    surface.setWindowTitle("skin-gallery");
    surface.setWindowIcon(CSkin::Icon(179));
    QPalette pal = surface.palette();
    pal.setColor(QPalette::WindowText, QColor(0xC9, 0xCE, 0xD6));
    surface.setPalette(pal);
    surface.resize(1024, 512);

    auto* top = new CMixerPanelTop(&surface);
    top->SetTitle("Kavro FW-1884 Studio");
    top->Create(&surface);
    top->move(4, 4);
    top->Display()->SetLeftAligned(true);
    top->Display()->SetText(top->Title());

    InputStrip(&surface, 4, "Line 1   Line 2", 0, 20, 10, 16, false, "ANALOG");
    InputStrip(&surface, 92, "Coax L   Coax R", 63, 0, 40, 46, true, "COAX_SPDIF");
    InputStrip(&surface, 180, "Opt L    Opt R", 34, 34, 100, 70, true, "OPT_SPDIF");
    OutputStrips(&surface);
    ControlSection(&surface);
    Crossfader(&surface);
    StateBoard(&surface);
    LedBoard(&surface);
    Icons(&surface);

    if (shots.isEmpty()) {
        surface.show();
        return app.exec();
    }
    surface.show();
    QCoreApplication::processEvents();
    QDir().mkpath(shots);
    const QString path = QDir(shots).filePath("skin-gallery" + suffix + ".png");
    if (!surface.grab().save(path)) {
        std::fprintf(stderr, "skin-gallery: cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    for (const auto& [name, element] : g_elements) {
        const QString elementPath = QDir(shots).filePath(name + suffix + ".png");
        if (!element->grab().save(elementPath)) {
            std::fprintf(stderr, "skin-gallery: cannot write %s\n", qPrintable(elementPath));
            return 1;
        }
        std::printf("%s\n", qPrintable(elementPath));
    }
    return 0;
}
