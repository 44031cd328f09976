#include "mixer/app/MixerCtrlContainer.h"

#include "device/Device.h"
#include "device/Qel1394DriverEventHandler.h"
#include "device/QelAvcEventHandler.h"
#include "device/QelDevice.h"
#include "mixer/app/MixerMessageBox.h"
#include "mixer/controls/ChannelStripHeadPhoneOut.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MeterLayer.h"
#include "mixer/controls/MixerPanelTop.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"
#include "ui/SkinLoader.h"
#include "ui/WindowPort.h"

#include <QCoreApplication>
#include <QPainter>

#include <algorithm>

namespace {

// Template 129: a borderless child page of 473 x 250 dialog units.
constexpr int kTemplateWidthDu = 473;
constexpr int kTemplateHeightDu = 250;
constexpr int kStatusMessageMs = 5000;
// Room the narrowed crossfader keeps right of its track.
constexpr int kCrossfaderMargin = CCrossFaderStrip::kNarrowMargin;

QString Text(const qel::mixer::XmlNode& node, const char* xpath)
{
    return QString::fromStdString(node.selectSingleNode(xpath).text());
}

std::int32_t Int(const qel::mixer::XmlNode& node, const char* xpath)
{
    return node.selectSingleNode(xpath).intValue();
}

// Windows whose device notification still names a destroyed container's
// port: the device layer keeps that registration until the device closes,
// so the (detached, silent) port must outlive the container.
std::vector<std::unique_ptr<CWindowPort>>& ParkedPorts()
{
    static std::vector<std::unique_ptr<CWindowPort>> ports;
    return ports;
}

} // namespace

CMixerCtrlContainer::CMixerCtrlContainer(QWidget* parent, qel::mixer::IMixerMessageBox* box)
    : QWidget(parent),
      m_box(box),
      m_background(CSkin::Bitmap(kBackgroundId)),
      m_port(std::make_unique<CWindowPort>(this))
{
    resize(DuToPxX(kTemplateWidthDu), DuToPxY(kTemplateHeightDu));
}

CMixerCtrlContainer::~CMixerCtrlContainer()
{
    // Nothing from the device layer's threads reaches this window any more.
    m_port->Detach();
    StopDeviceEvents();
    m_meterTimer.stop();
    m_reconnectTimer.stop();
    m_usbStateTimer.stop();
    m_usbMessageTimer.stop();
    m_holdTimer.stop();
    m_pacer.Clear();
    if (m_portInDeviceNotification)
        ParkedPorts().push_back(std::move(m_port));
}

void CMixerCtrlContainer::StopDeviceEvents()
{
    qel::CQelDevice* fw = m_device ? m_device->fireWire() : nullptr;
    if (!fw)
        return;
    if (qel::QelAvcEventHandler* avc = fw->avcEventHandler())
        for (const auto& r : avc->registrations())
            if (r.window == m_port.get())
                fw->unregisterAVCEvents(r.command);
    if (qel::Qel1394DriverEventHandler* events = fw->getDriverEventHandler())
        for (const auto& r : events->registrations())
            if (r.window == m_port.get())
                fw->unregisterDriverEvents(r.key);
}

void CMixerCtrlContainer::paintEvent(QPaintEvent*)
{
    if (!m_paintBackground || m_background.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

void CMixerCtrlContainer::ShowBoxMessage(const std::string& text)
{
    if (!m_box)
        return;
    QString caption = QCoreApplication::applicationName();
    if (caption.isEmpty())
        caption = QStringLiteral("KavroMixerPanel");
    m_box->ShowMessage(text, caption.toStdString(), qel::mixer::IMixerMessageBox::Icon::None);
}

void CMixerCtrlContainer::RaiseHighestBlockId(std::int32_t id)
{
    m_highestBlockId = std::max(m_highestBlockId, int(id & 0xFF));
}

void CMixerCtrlContainer::RecordBlock(std::uint32_t id)
{
    // USB feature units get their cache entry with the first request.
    if (m_device && m_busKind == 1)
        if (qel::CQelDevice* fw = m_device->fireWire())
            fw->addFeatureBlock(std::uint8_t(id & 0xFF));
    RaiseHighestBlockId(std::int32_t(id & 0xFF));
}

void CMixerCtrlContainer::RegisterBlock(std::uint8_t id, const char* failureText)
{
    bool ok = false;
    if (m_device) {
        ok = m_device->RegisterBlockNotify(id, m_port.get());
    }
    if (!ok && m_topPanel)
        m_topPanel->ShowMessage(QString::fromLatin1(failureText), kStatusMessageMs);
    // The window goes in at the block's index (the array grows as needed).
    const int index = id;
    if (index >= m_notificationWindows.size())
        m_notificationWindows.resize(index);
    m_notificationWindows.insert(index, this);
}

void CMixerCtrlContainer::StartDeviceEvents()
{
    qel::CQelDevice* fw = m_device ? m_device->fireWire() : nullptr;
    if (!fw)
        return;
    qel::Qel1394DriverEventHandler* events = fw->getDriverEventHandler();
    const bool notificationFree = !events || !events->hasDeviceNotification();
    fw->registerForDriverEvents(0, m_port.get(), kDriverEventMessage);
    events = fw->getDriverEventHandler();
    if (notificationFree && events && events->hasDeviceNotification())
        m_portInDeviceNotification = true;
    qel::AvcCommands& avc = fw->context().avc();
    fw->registerForAVCEvents(&avc.coaxialInput, m_port.get(), kDigitalInputMessage);
    fw->registerForAVCEvents(&avc.opticalInput, m_port.get(), kDigitalInputMessage);
    fw->registerForAVCEvents(&avc.deviceMessage, m_port.get(), kDeviceMessageMessage);
}

void CMixerCtrlContainer::BuildMixer(const QString& displayName, const qel::mixer::XmlNode& channelConfig)
{
    const bool usb = m_busKind == 0;
    const bool fireWire = m_busKind == 1;
    int x = 4;
    int y = 4;

    // Top panel over the whole width, with the device's name sliding in its display.
    m_topPanel = new CMixerPanelTop();
    m_topPanel->Create(this);
    m_topPanel->setGeometry(x, y, m_topPanel->ElementWidth(), m_topPanel->ElementHeight());
    m_topPanel->show();
    m_topPanel->SetTitle(displayName);
    m_topPanel->Display()->SetLeftAligned(true);
    m_topPanel->Display()->SetText(displayName);
    m_topPanel->Display()->StartScroll();
    m_elements.append(m_topPanel);
    y += m_topPanel->ElementHeight() + 2;

    const qel::mixer::XmlNodeList strips = channelConfig.selectNodes("ChannelStrip");
    m_stripCount = int(std::min<std::size_t>(strips.size(), 0x3FFFFFFF));
    if (m_stripCount == 0)
        ShowBoxMessage("No Mixerchannels defined in for device config!");
    m_audioChannelCount = 2 * m_stripCount;

    int tallest = 0;
    int rightEdge = 0;
    for (int i = 0; i < m_stripCount; ++i) {
        const qel::mixer::XmlNode& strip = strips[std::size_t(i)];
        const QString dir = Text(strip, "Dir");
        const QString caption = Text(strip, "Caption");
        const QString type = Text(strip, "Type");
        const std::int32_t avcId = Int(strip, "@AVC_FFB_ID");
        const std::int32_t usbId = Int(strip, "@USB_FU_ID");
        const bool deviceControlled = Text(strip, "@DeviceControlled") == QLatin1String("true");
        const std::int32_t id = usb ? usbId : fireWire ? avcId : 0;
        if (m_inputStrips.size() <= i)
            m_inputStrips.resize(i + 1);
        if (m_inputCaptions.size() <= i)
            m_inputCaptions.resize(i + 1);
        m_inputCaptions[i] = caption.simplified();

        if (dir == QLatin1String("Input")) {
            auto* in = new CChannelStripStereoIn();
            m_inputStrips[i] = in;
            in->Create(this);
            in->setGeometry(x, y, in->ElementWidth(), in->ElementHeight());
            in->show();
            in->SetCaption(caption);
            in->SetKindText(dir);
            in->SetMeterIndices(m_leftChannelCounter, m_rightChannelCounter);
            in->SetConnection(type);
            in->SetTypeName(dir);
            in->SetVisibleFlag(true);
            in->SetBlockId(quint32(id));
            m_elements.append(in);
            if (type == QLatin1String("OPT_SPDIF"))
                m_hasOpticalInput = true;
            if (type == QLatin1String("COAX_SPDIF"))
                m_hasCoaxialInput = true;
            RecordBlock(std::uint32_t(id));
            // One record per side, at the side's channel index.
            const int sides[2] = {m_leftChannelCounter, m_rightChannelCounter};
            int* muteWords[2] = {&in->MuteLeftWord(), &in->MuteRightWord()};
            int* soloWords[2] = {&in->SoloLeftWord(), &in->SoloRightWord()};
            for (int side = 0; side < 2; ++side) {
                ChannelState state;
                state.muteWord = muteWords[side];
                state.soloWord = soloWords[side];
                state.blockId = id;
                const std::size_t at = std::size_t(sides[side]);
                if (at > m_channelStates.size())
                    m_channelStates.resize(at);
                m_channelStates.insert(m_channelStates.begin() + std::ptrdiff_t(at), state);
            }
            m_leftChannelCounter += 2;
            m_rightChannelCounter += 2;
            x += in->ElementWidth() + 2;
            tallest = std::max(tallest, in->ElementHeight());
            in->UpdateData(false);
        } else if (dir == QLatin1String("Master")) {
            auto* out = new CChannelStripMainOut();
            m_mainOut = out;
            out->Create(this);
            out->setGeometry(x, y, out->ElementWidth(), out->ElementHeight());
            out->show();
            out->SetCaption(caption);
            out->SetKindText(dir);
            out->SetMeterIndices(m_leftChannelCounter, m_rightChannelCounter);
            out->SetVisibleFlag(true);
            out->SetTypeName(dir);
            out->SetBlockId(quint32(id));
            m_elements.append(out);
            RecordBlock(std::uint32_t(id));
            if (deviceControlled)
                RegisterBlock(std::uint8_t(id & 0xFF), "Main out:Unable to register notification event");
            x += out->ElementWidth() + 2;
            tallest = std::max(tallest, out->ElementHeight());
            rightEdge = x - 2;
            out->UpdateData(false);
        } else if (dir == QLatin1String("Headphone")) {
            auto* phones = new CChannelStripHeadPhoneOut();
            m_headPhone = phones;
            phones->Create(this);
            phones->setGeometry(x, y, phones->ElementWidth(), phones->ElementHeight());
            phones->show();
            phones->SetKindText(dir);
            phones->SetTypeName(dir);
            phones->SetBlockId(quint32(id));
            phones->SetOwnBlockId(quint32(id));
            m_elements.append(phones);
            RecordBlock(std::uint32_t(id));
            x += phones->ElementWidth() + 2;
            tallest = std::max(tallest, phones->ElementHeight());
            rightEdge = x - 2;
            phones->UpdateData(false);
        }
        // Any other direction creates nothing.
    }
    y += tallest;

    // Control section right of the strips, level with them.
    m_controlSection = new CControlSection();
    m_controlSection->Create(this);
    m_controlSection->setGeometry(x, m_topPanel->ElementHeight() + 6, m_controlSection->ElementWidth(),
                                  m_controlSection->ElementHeight());
    m_controlSection->show();
    m_controlSection->ShowHostConnection(m_connectionKind);
    m_elements.append(m_controlSection);
    for (const qel::mixer::XmlNode& option : channelConfig.selectNodes("ControlSection/Option[@Show='False']")) {
        // 0 (missing or not a number) names no control; it would match any
        // control that carries no id.
        const int id = option.selectSingleNode("./@ID").intValue();
        if (id != 0)
            m_controlSection->ShowControl(id, false);
    }
    x += m_controlSection->ElementWidth();

    // Crossfader under the strips, as wide as the strips and outputs.
    const qel::mixer::XmlNode fader = channelConfig.selectSingleNode("CrossFader");
    if (fader) {
        m_crossFader = new CCrossFaderStrip();
        m_crossFader->Create(this);
        m_crossFader->setGeometry(4, y + 2, m_crossFader->ElementWidth(), m_crossFader->ElementHeight());
        m_crossFader->show();
        m_elements.append(m_crossFader);
        const std::uint8_t id = std::uint8_t(
            (usb ? Int(fader, "./@USB_FU_ID") : fireWire ? Int(fader, "./@AVC_FFB_ID") : 0) & 0xFF);
        m_crossFader->SetBlockId(id);
        RecordBlock(id);
        if (Text(fader, "./@DeviceControlled") == QLatin1String("true"))
            RegisterBlock(id, "Crossfader: Unable to register notification event");
        m_crossFader->resize(std::max(rightEdge - 4, 0), m_crossFader->height());
        // A short surface: the track ends 130 pixels before the right edge
        // and the right-end label moves along with the track's end.
        const int track = m_crossFader->SliderTrackWidth();
        const int narrowed = rightEdge - kCrossfaderMargin;
        if (track + kCrossfaderMargin > rightEdge && narrowed > 0) {
            m_crossFader->SetSliderTrackWidth(narrowed);
            // On the lower row the label need not follow the track past the
            // strip's right end: it stays whole inside the strip.
            if (QWidget* label = FindControl(m_crossFader, CCrossFaderStrip::kRightLabelId)) {
                const int inside = m_crossFader->width() - label->width() - 4;
                const int labelX = std::max(std::min(label->x() - (track - narrowed), inside), 0);
                m_crossFader->PlaceControl(CCrossFaderStrip::kRightLabelId, labelX, CCrossFaderStrip::kNarrowLabelY);
            }
        }
        y += m_crossFader->height();
    }

    y += 8;
    x += 4;
    m_width = x;
    m_height = y;
    setGeometry(0, 0, m_width, m_height);
    hide();

    m_topPanel->resize(m_width - 8, m_topPanel->height());
    if (CMatrixStatic* display = m_topPanel->Display())
        m_topPanel->PlaceControl(CMixerPanelTop::kDisplayId, m_width - display->width() - 12, 5);
    if (!m_meterLayer)
        m_meterLayer = new CMeterLayer(this);
    m_meterLayer->Adopt(findChildren<CLevelMeter*>());

    qel::CQelDevice* fw = (m_device && fireWire) ? m_device->fireWire() : nullptr;
    if (fw)
        fw->initHsci();
    m_meterTimer.start(kMeterPeriodMs, this);
    m_controlSection->SetHostLamp(m_busKind);
    m_controlSection->SelectInGroup(CControlSection::Group::Digital, 0);
    if (fw)
        StartDeviceEvents();
    if (usb) {
        m_usbStateTimer.start(kUsbStatePeriodMs, this);
        m_usbMessageTimer.start(kUsbMessagePeriodMs, this);
    }
    if (fw) {
        std::uint32_t detected = 0;
        std::uint32_t code = kNoRate;
        m_device->ReadDigitalInput(1, detected, code);
        m_coaxialInput = {detected != 0, code};
        m_device->ReadDigitalInput(2, detected, code);
        m_opticalInput = {detected != 0, code};
    }

    RefreshSampleRate();
    RefreshDigitalIo();
    RefreshDigitalInputs(false);
    NumberMeters();
    RefreshOutputValues();
}

void CMixerCtrlContainer::NumberMeters()
{
    int k = 0;
    for (CMixerElement* element : std::as_const(m_elements)) {
        if (!element->VisibleFlag())
            continue;
        element->SetMeterIndices(2 * k, 2 * k + 1);
        ++k;
    }
    // Input strip j keeps its two records at 2j and 2j + 1 whatever its meter
    // indexes became; only shown strips can be clicked.
    m_sideOfMeter.assign(std::size_t(2 * k), -1);
    qintptr record = 0;
    for (CChannelStripStereoIn* strip : std::as_const(m_inputStrips)) {
        if (!strip)
            continue;
        const int left = strip->LeftMeterIndex();
        const int right = strip->RightMeterIndex();
        if (strip->VisibleFlag() && left >= 0 && right >= 0 && right < 2 * k) {
            m_sideOfMeter[std::size_t(left)] = record;
            m_sideOfMeter[std::size_t(right)] = record + 1;
        }
        record += 2;
    }
}

qintptr CMixerCtrlContainer::SideOfMeter(qintptr meterIndex) const
{
    if (meterIndex < 0 || std::size_t(meterIndex) >= m_sideOfMeter.size())
        return -1;
    return m_sideOfMeter[std::size_t(meterIndex)];
}

void CMixerCtrlContainer::UpdateData(bool fromControls)
{
    for (CMixerElement* element : std::as_const(m_elements))
        element->UpdateData(fromControls);
}
