#include "mixer/app/KavroMixerPanelDlg.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimerEvent>

#include <algorithm>

#include "device/QelContext.h"
#include "mixer/app/AboutDlg.h"
#include "ui/PlatformNotice.h"
#include "mixer/app/DeviceConfig.h"
#include "mixer/app/DeviceList.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBoxService.h"
#include "ui/SkinLoader.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
constexpr const char* kInitialTitle = "Kavro USB & 1394  MixerPanel";
constexpr const char* kConfigName = "default";
// The tab row: below the window's top edge, up to where a mixer starts.
constexpr int kTabTop = DuToPxY(7);
constexpr int kTabHeight = CKavroMixerPanelDlg::kTabOffset - kTabTop;
// Versions the About box shows.
constexpr int kDriverVersion[3] = {5, 21, 0};
constexpr int kPanelVersion[3] = {3, 2, 2};

QString ProgramName(const QString& programFile)
{
    return QFileInfo(programFile).completeBaseName();
}

QString EffectiveProgramFile(const QString& programFile)
{
    if (!programFile.isEmpty())
        return programFile;
    const QString running = QCoreApplication::applicationFilePath();
    return running.isEmpty() ? QCoreApplication::applicationName() : running;
}
}  // namespace

CKavroMixerPanelDlg::CKavroMixerPanelDlg(qel::QelContext& context, QString programFile, QWidget* parent)
    : QDialog(parent),
      m_context(context),
      m_programFile(EffectiveProgramFile(programFile)),
      m_programName(ProgramName(m_programFile)),
      m_configFile(ConfigFileName(m_programFile)),
      m_hIcon(CSkin::Icon(IDR_MAINFRAME)),
      m_messageBox(this, m_programName)
{
    // The program's one window runs modally; it may be shown before its
    // loop starts (by the first mixer), so it is modal from the start.
    setModal(true);
    setWindowTitle(WithPlatformNotice(QString::fromLatin1(kInitialTitle), m_context.platform()));
    setWindowIcon(m_hIcon);
    resize(DuToPxX(432), DuToPxY(330));

    for (int id : kTabImageIds)
        m_tabImages.append(CSkin::Icon(id));
    m_tabCtrl = new QTabBar(this);
    SetControlId(m_tabCtrl, IDC_TAB);
    m_tabCtrl->setDrawBase(false);
    m_tabCtrl->setExpanding(false);
    m_tabCtrl->setIconSize(QSize(16, 16));
    m_tabCtrl->setGeometry(0, kTabTop, width(), kTabHeight);
    connect(m_tabCtrl, &QTabBar::currentChanged, this, &CKavroMixerPanelDlg::OnTabSelChange);

    // The device layer's boxes (from its threads) come to this window.
    m_context.setMessageBox(&m_messageBox);
}

CKavroMixerPanelDlg::~CKavroMixerPanelDlg()
{
    m_arrivalTimer.stop();
    // The mixers let go of their devices before the list closes them.
    qDeleteAll(m_containers);
    m_containers.clear();
    m_pDeviceList.reset();
    m_context.setMessageBox(nullptr);
}

QString CKavroMixerPanelDlg::ConfigFileName(const QString& programFile)
{
    return QStringLiteral("%1Config.xml").arg(ProgramName(programFile));
}

bool CKavroMixerPanelDlg::OnInitDialog()
{
    // Without the file the window stays open and empty.
    if (!m_document.load(QFile::encodeName(m_configFile).toStdString())) {
        ShowBox(QStringLiteral("Mixer Panel Configuration File not found!"), m_programName);
        return true;
    }
    m_pDeviceList = std::make_unique<qel::mixer::CDeviceList>(m_context, m_document);

    m_root = m_document.lastChild();
    m_strAppName = QString::fromStdString(m_root.selectSingleNode("Application").selectSingleNode("@Name").text());

    if (m_pDeviceList->empty()) {
        ShowBox(QStringLiteral("No device connected!"), m_programName);
        done(0);
        return false;
    }

    m_nMixerCount = 0;
    m_nShownIndex = 0;
    for (std::size_t i = 0; i < m_pDeviceList->size(); ++i) {
        qel::DEVICE_PROPS props;
        if (!m_pDeviceList->getDeviceProps(i, props))
            continue;
        qel::mixer::XmlNode device;
        if (!qel::mixer::FindDeviceConfig(m_document, props, device, &m_messageBox))
            continue;
        const QString type = QString::fromStdString(device.selectSingleNode("@Type").text());
        const QString title = QString::fromStdString(device.selectSingleNode("@Title").text());
        const qel::mixer::XmlNode channelConfig = DefaultChannelConfig(device);
        if (!channelConfig) {
            ShowBox(QStringLiteral("Configuration for Device not found:"), QString::fromLatin1(kConfigName));
            continue;
        }
        InsertTab(int(m_containers.size()), props);
        CreateMixer(i, props, title, type, channelConfig);
        ++m_nMixerCount;
    }
    // Every described device has its mixer; the others were reported. Only
    // a panel without any mixer ends.
    if (m_nMixerCount == 0) {
        done(0);
        return false;
    }

    AddAboutItem();
    AddSceneItems();
    m_arrivalTimer.start(kArrivalPollMs, this);
    ShowMixer(m_nShownIndex);
    return true;
}

int CKavroMixerPanelDlg::DoModal()
{
    if (!OnInitDialog())
        return result();
    return exec();
}

qel::mixer::XmlNode CKavroMixerPanelDlg::DefaultChannelConfig(const qel::mixer::XmlNode& device)
{
    return device.selectSingleNode("ChannelConfig[@Name='" + std::string(kConfigName) + "']");
}

CMixerCtrlContainer* CKavroMixerPanelDlg::CreateMixer(std::size_t entry, const qel::DEVICE_PROPS& props,
                                                      const QString& title, const QString& type,
                                                      const qel::mixer::XmlNode& channelConfig)
{
    auto* container = new CMixerCtrlContainer(this, &m_messageBox);
    container->SetDevice(m_pDeviceList->device(entry));
    if (!title.isNull())
        container->SetTitle(title);
    container->hide();
    container->SetBusKind(props.busKind == 1 ? 1 : 0);
    container->SetConnectionKind(qel::mixer::ConnectionKind(type.toStdString()));
    container->BuildMixer(QString::fromStdString(props.displayName), channelConfig);
    container->UpdateData(false);
    m_containers.append(container);
    container->setUpdatesEnabled(!isMinimized());
    return container;
}

void CKavroMixerPanelDlg::InsertTab(int index, const qel::DEVICE_PROPS& props)
{
    const int image = props.busKind == 1 ? kFireWireImage : kUsbImage;
    // A name is the device's bytes: a line feed or another control byte in
    // it would break the tab's label, so those show as the replacement
    // character, as bytes the code page leaves undefined do.
    QString label = QString::fromStdString(props.displayName);
    for (QChar& c : label)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar::ReplacementCharacter;
    // Inserting is no selection by the user.
    const QSignalBlocker blocker(m_tabCtrl);
    const int at = m_tabCtrl->insertTab(index, m_tabImages.value(image), label);
    m_tabCtrl->setTabData(at, image);
}

int CKavroMixerPanelDlg::TabImage(int i) const
{
    if (i < 0 || i >= m_tabCtrl->count())
        return -1;
    return m_tabCtrl->tabData(i).toInt();
}

void CKavroMixerPanelDlg::ShowMixer(int index)
{
    const int count = int(m_containers.size());
    if (index < 0 || index >= count || m_nShownIndex < 0 || m_nShownIndex >= count)
        return;
    m_containers[m_nShownIndex]->hide();

    CMixerCtrlContainer* mixer = m_containers[index];
    const int width = mixer->MixerWidth();
    const int height = mixer->MixerHeight();
    const int offset = m_tabCtrl->count() >= 2 ? kTabOffset : 0;
    setWindowTitle(WithPlatformNotice(mixer->Title(), m_context.platform()));
    mixer->setGeometry(0, offset, width, height);
    mixer->raise();
    mixer->show();

    // The rule sizes the whole window: the frame the platform draws (known
    // once the window is shown) comes off it, but the mixer is never cut.
    show();
    const QSize outer(width + kExtraWidth, height + kExtraHeight + offset);
    const QSize frame = frameGeometry().size() - size();
    resize((outer - frame).expandedTo(QSize(width, offset + height)));
    m_nShownIndex = index;
}

void CKavroMixerPanelDlg::PollDeviceArrival()
{
    // A warning box's loop runs this timer too; one poll at a time.
    if (m_polling || !m_pDeviceList)
        return;
    const QScopedValueRollback<bool> polling(m_polling, true);

    const std::uint32_t id = m_pDeviceList->AddArrivedDevice();
    if (id == 0)
        return;
    // The new entry is the last one; look from there, so that a device of the
    // other bus with the same identifier is not taken for it.
    for (std::size_t n = m_pDeviceList->size(); n-- > 0;) {
        qel::DEVICE_PROPS props;
        if (!m_pDeviceList->getDeviceProps(n, props) || props.deviceId != id)
            continue;
        qel::mixer::XmlNode device;
        if (!qel::mixer::FindDeviceConfig(m_document, props, device, &m_messageBox))
            return;
        const QString type = QString::fromStdString(device.selectSingleNode("@Type").text());
        const qel::mixer::XmlNode channelConfig = DefaultChannelConfig(device);
        if (!channelConfig) {
            m_messageBox.ShowMessage("Configuration for Device " + props.displayName + " not found in file (XML)",
                                     "Warning", qel::mixer::IMixerMessageBox::Icon::Exclamation);
            return;
        }
        // Tab and mixer share their index: the tab goes where the mixer goes.
        const int index = int(m_containers.size());
        InsertTab(index, props);
        CreateMixer(n, props, QString(), type, channelConfig);
        {
            const QSignalBlocker blocker(m_tabCtrl);
            m_tabCtrl->setCurrentIndex(index);
        }
        ShowMixer(index);
        ++m_nMixerCount;
        return;
    }
}

void CKavroMixerPanelDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_arrivalTimer.timerId())
        PollDeviceArrival();
    QDialog::timerEvent(event);
}

void CKavroMixerPanelDlg::OnTabSelChange(int index)
{
    ShowMixer(index);
}

void CKavroMixerPanelDlg::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        // Enabling the updates again repaints each surface whole.
        const bool shown = !isMinimized();
        for (CMixerCtrlContainer* c : m_containers)
            c->setUpdatesEnabled(shown);
    }
    QDialog::changeEvent(event);
}

void CKavroMixerPanelDlg::keyPressEvent(QKeyEvent* event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool back = event->key() == Qt::Key_Backtab ||
                      (event->key() == Qt::Key_Tab && (event->modifiers() & Qt::ShiftModifier));
    if (!ctrl || (event->key() != Qt::Key_Tab && event->key() != Qt::Key_Backtab)) {
        QDialog::keyPressEvent(event);
        return;
    }
    // As a click on the tab: the tab row's change shows the mixer.
    const int count = m_tabCtrl->count();
    if (count > 1)
        m_tabCtrl->setCurrentIndex((m_tabCtrl->currentIndex() + (back ? count - 1 : 1)) % count);
    event->accept();
}

QString CKavroMixerPanelDlg::AboutItemText() const
{
    return m_aboutAction ? m_aboutAction->text() : QString();
}

void CKavroMixerPanelDlg::AddAboutItem()
{
    const QString text = QString::asprintf("About %s %s", m_strAppName.toUtf8().constData(), "...");
    if (text.isEmpty() || m_aboutAction)
        return;
    m_aboutAction = new QAction(text, this);
    connect(m_aboutAction, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
#ifdef Q_OS_WIN
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, reinterpret_cast<const wchar_t*>(text.utf16()));
    }
#endif
}

#ifdef Q_OS_WIN
bool CKavroMixerPanelDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    const MSG* msg = static_cast<const MSG*>(message);
    const int command = int(msg->wParam & 0xFFF0);
    if (msg->message == WM_SYSCOMMAND &&
        (command == IDM_ABOUTBOX || command == IDM_SAVESCENE || command == IDM_LOADSCENE)) {
        OnSysCommand(int(msg->wParam));
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

void CKavroMixerPanelDlg::OnSysCommand(int id)
{
    if ((id & 0xFFF0) == IDM_SAVESCENE && m_saveSceneAction) {
        m_saveSceneAction->trigger();
        return;
    }
    if ((id & 0xFFF0) == IDM_LOADSCENE && m_loadSceneAction) {
        m_loadSceneAction->trigger();
        return;
    }
    if ((id & 0xFFF0) != IDM_ABOUTBOX)
        return;
    CAboutDlg about(this);
    about.m_strDriverVersion = QString::asprintf("%i.%i.%i", kDriverVersion[0], kDriverVersion[1], kDriverVersion[2]);
    about.m_strPanelVersion = QString::asprintf("%i.%i.%i", kPanelVersion[0], kPanelVersion[1], kPanelVersion[2]);
    about.m_bSimulated = m_context.platform().simulated();
    about.exec();
}

void CKavroMixerPanelDlg::contextMenuEvent(QContextMenuEvent* event)
{
    // Where the window menu's About item is not at hand: on the window, the
    // tab row and the mixers (their unhandled menu requests come here). The
    // scene items act on the shown mixer.
    if (!m_aboutAction && !m_saveSceneAction) {
        event->ignore();
        return;
    }
    QMenu menu(this);
    if (m_saveSceneAction) {
        menu.addAction(m_saveSceneAction);
        menu.addAction(m_loadSceneAction);
    }
    if (m_aboutAction) {
        if (m_saveSceneAction)
            menu.addSeparator();
        menu.addAction(m_aboutAction);
    }
    menu.exec(event->globalPos());
}

void CKavroMixerPanelDlg::resizeEvent(QResizeEvent* event)
{
    m_tabCtrl->setGeometry(0, kTabTop, width(), kTabHeight);
    QDialog::resizeEvent(event);
}

void CKavroMixerPanelDlg::ShowBox(const QString& text, const QString& caption)
{
    QelMessageBox(this, text, caption);
}
