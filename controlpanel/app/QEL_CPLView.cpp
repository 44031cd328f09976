#include "controlpanel/app/QEL_CPLView.h"

#include <QTimerEvent>
#include <QFrame>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/DeviceNotification.h"
#include "controlpanel/app/DlgPgASIOSettings.h"
#include "controlpanel/app/DlgPgChannels.h"
#include "controlpanel/app/DlgPgDevices.h"
#include "controlpanel/app/DlgPgStreams.h"
#include "controlpanel/app/DlgPgSynchronisation.h"
#include "controlpanel/app/TreeCtrlEx.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"
#include "ui/SkinLoader.h"
#include "ui/WindowMessage.h"

namespace {

struct TreeEntry {
    const char* label;
    int image;
    quint32 data;
};
// In tree order.
constexpr TreeEntry kTree[6] = {
    {"Devices", 1, kPageDevices},
    {"Input Channels", 3, kPageInputChannels},
    {"Output Channels", 3, kPageOutputChannels},
    {"Synchronisation", 5, kPageSynchronisation},
    {"Settings", 2, kPageSettings},
    {"Streams", 4, kPageStreams},
};
constexpr int kTreeSettings = 4, kTreeDevices = 0;
const QPoint kPagePosition(140, 2);

} // namespace

CQEL_CPLView::CQEL_CPLView(qel::cpl::CDrv& drv, qel::os::IOs& os, bool startOnSettings, QWidget* parent)
    : QWidget(parent), m_drv(drv), m_os(os), m_startOnSettings(startOnSettings), m_port(this),
      m_notificator(os, qel::cpl::controlPanelDriverGuid())
{
    setFixedSize(DuToPxX(450), DuToPxY(239));

    m_tree = new CTreeCtrlEx(this);
    SetControlId(m_tree, IDC_TREE);
    m_tree->setGeometry(DuRect(7, 7, 80, 225));
    m_tree->setAccessibleName(QStringLiteral("Pages"));
    connect(m_tree, &CTreeCtrlEx::SelChanged, this, &CQEL_CPLView::OnSelChangedTree);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    divider->setFrameShadow(QFrame::Sunken);
    divider->setGeometry(DuToPxX(91), 0, 2, height());
    auto* top = new QFrame(this);
    top->setFrameShape(QFrame::HLine);
    top->setFrameShadow(QFrame::Sunken);
    top->setGeometry(0, 0, width(), 2);

    m_drv.openDriver();  // a failure leaves the handle closed; a device arrival retries
}

CQEL_CPLView::~CQEL_CPLView()
{
    m_deviceNotification.reset();
    m_notificator.stop();
    m_notificator.setTarget(nullptr, 0, 0, 0);
    m_drv.closeDriver();
}

QString CQEL_CPLView::Text(const std::string& text) const
{
    return QString::fromStdString(m_os.codePageToUtf8(text));
}

std::optional<std::string> CQEL_CPLView::CodePageText(const QString& text) const
{
    if (m_codePage.isEmpty()) {
        for (int b = 1; b < 256; ++b) {
            const std::string one(1, char(b));
            const std::u32string c = QString::fromStdString(m_os.codePageToUtf8(one)).toStdU32String();
            if (c.size() == 1 && c[0] != 0xFFFD && !m_codePage.contains(c[0]))
                m_codePage.insert(c[0], char(b));
        }
    }
    std::string out;
    for (const char32_t c : text.toStdU32String()) {
        const auto it = m_codePage.constFind(c);
        if (it == m_codePage.cend())
            return std::nullopt;
        out.push_back(*it);
    }
    return out;
}

void CQEL_CPLView::SetPaneText(int pane, const QString& text)
{
    if (m_statusSink)
        m_statusSink(pane, text);
}

QList<QIcon> CQEL_CPLView::ImageList()
{
    QList<QIcon> images;
    for (int id : kTreeIconIds)
        images.append(CSkin::Icon(id));
    return images;
}

void CQEL_CPLView::StartNotificator()
{
    m_notificator.setTarget(&m_port, UM_DRIVER_EVENT, 0, 0);
    m_notificator.start();
}

void CQEL_CPLView::OnInitialUpdate()
{
    m_deviceNotification = std::make_unique<CDeviceNotification>(
        m_os, qel::cpl::controlPanelDriverGuid(), this,
        [this](unsigned code, const QString& name) { OnDeviceChange(code, name); });
    StartNotificator();
    if (!m_firstUpdate)
        return;

    m_pgStreams = std::make_unique<CDlgPgStreams>();
    m_pgInput = std::make_unique<CDlgPgChannels>(0);
    m_pgOutput = std::make_unique<CDlgPgChannels>(1);
    m_pgDevices = std::make_unique<CDlgPgDevices>();
    m_pgSettings = std::make_unique<CDlgPgASIOSettings>();
    m_pgSynchronisation = std::make_unique<CDlgPgSynchronisation>();
    for (CDialogPage* page : {static_cast<CDialogPage*>(m_pgSettings.get()), static_cast<CDialogPage*>(m_pgDevices.get()),
                              static_cast<CDialogPage*>(m_pgInput.get()), static_cast<CDialogPage*>(m_pgOutput.get()),
                              static_cast<CDialogPage*>(m_pgStreams.get()),
                              static_cast<CDialogPage*>(m_pgSynchronisation.get())}) {
        page->Create(this);
        page->move(kPagePosition);
        page->show();
    }
    HideAllPages();

    m_images = ImageList();
    m_tree->SetImageList(m_images);
    for (int i = 0; i < 6; ++i)
        m_items[i] = m_tree->InsertItem(QString::fromLatin1(kTree[i].label), kTree[i].image, kTree[i].image,
                                        kTree[i].data);
    HideAllPages();
    m_tree->SelectItem(m_items[m_startOnSettings ? kTreeSettings : kTreeDevices]);
    m_firstUpdate = false;
}

QList<CDialogPage*> CQEL_CPLView::Pages() const
{
    return {m_pgStreams.get(), m_pgInput.get(), m_pgOutput.get(),
            m_pgDevices.get(), m_pgSettings.get(), m_pgSynchronisation.get()};
}

CDialogPage* CQEL_CPLView::VisiblePage() const
{
    for (CDialogPage* page : Pages())
        if (page && page->isVisibleTo(const_cast<CQEL_CPLView*>(this)))
            return page;
    return nullptr;
}

void CQEL_CPLView::HideAllPages()
{
    for (CDialogPage* page : Pages())
        if (page)
            page->hide();
}

void CQEL_CPLView::OnSelChangedTree()
{
    HideAllPages();
    QTreeWidgetItem* item = m_tree->GetSelectedItem();
    m_lastSelected = item;
    CDialogPage* page = nullptr;
    switch (m_tree->GetItemData(item) & 0xFF000000u) {
    case kPageDevices: page = m_pgDevices.get(); break;
    case kPageInputChannels: page = m_pgInput.get(); break;
    case kPageOutputChannels: page = m_pgOutput.get(); break;
    case kPageSynchronisation: page = m_pgSynchronisation.get(); break;
    case kPageSettings: page = m_pgSettings.get(); break;
    case kPageStreams: page = m_pgStreams.get(); break;
    default: break;
    }
    if (!page)
        return;
    page->show();
    SetPaneText(0, item->text(0));
}

void CQEL_CPLView::SelectSettingsPage()
{
    if (m_items[kTreeSettings])
        m_tree->SelectItem(m_items[kTreeSettings]);
}

void CQEL_CPLView::RefreshAllPages()
{
    if (m_firstUpdate)
        return;  // no pages yet
    m_pgDevices->Refresh();
    m_pgInput->Refresh();
    m_pgOutput->Refresh();
    m_pgStreams->Refresh();
    m_pgSettings->Refresh();
    m_pgSynchronisation->RefreshList();
    m_pgSynchronisation->RefreshRate();
}

void CQEL_CPLView::RefreshAfterDeviceChange()
{
    if (m_firstUpdate)
        return;
    m_pgInput->Refresh();
    m_pgOutput->Refresh();
    m_pgSynchronisation->RefreshList();
}

void CQEL_CPLView::OnDriverEvent()
{
    m_drv.drainEvents([this] { RefreshForEvents(); });
}

// The first event refreshes at once; more within the period are taken
// together into one refresh at its end.
void CQEL_CPLView::RefreshForEvents()
{
    if (m_eventRefreshTimer.isActive()) {
        m_eventRefreshPending = true;
        return;
    }
    RefreshAllPages();
    m_eventRefreshTimer.start(kEventRefreshMs, this);
    const bool failed = !m_firstUpdate && (m_pgDevices->RefreshFailed() || m_pgInput->RefreshFailed() ||
                                           m_pgOutput->RefreshFailed());
    if (!failed) {
        m_eventRefreshRetries = 0;
    } else if (m_eventRefreshRetries < kEventRefreshRetries) {
        ++m_eventRefreshRetries;
        m_eventRefreshPending = true;
    }
}

void CQEL_CPLView::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != m_eventRefreshTimer.timerId()) {
        QWidget::timerEvent(e);
        return;
    }
    m_eventRefreshTimer.stop();
    if (m_eventRefreshPending) {
        m_eventRefreshPending = false;
        RefreshForEvents();
    }
}

bool CQEL_CPLView::OnDeviceChange(unsigned eventCode, const QString& name)
{
    if (eventCode != qel::os::kDeviceArrival && eventCode != qel::os::kDeviceRemoveComplete)
        return true;
    if (name.size() <= 4)
        return true;
    // While the handle is open the driver's own events tell of devices.
    if (m_drv.isOpen())
        return true;
    if (m_drv.openDriver() == qel::QEL_OK && !m_notificator.hasWorker())
        StartNotificator();
    RefreshAllPages();
    return true;
}

bool CQEL_CPLView::event(QEvent* e)
{
    if (const CWindowMessage* message = CWindowMessage::From(e); message && message->Code() == UM_DRIVER_EVENT) {
        OnDriverEvent();
        return true;
    }
    return QWidget::event(e);
}
