#pragma once
// The main window's content: the tree of the six settings pages on the left,
// the selected page on the right. The view connects the control panel to the
// driver, listens for the driver's event and for device-interface arrival and
// removal, and on either refreshes every page.
#include <QHash>
#include <QIcon>
#include <QList>
#include <QBasicTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/WindowPort.h"
#include "controlpanel/driver/Drv.h"
#include "controlpanel/driver/Qel1394Notificator.h"

class CDeviceNotification;
class CDialogPage;
class CDlgPgASIOSettings;
class CDlgPgChannels;
class CDlgPgDevices;
class CDlgPgStreams;
class CDlgPgSynchronisation;
class CTreeCtrlEx;
class QTreeWidgetItem;

class CQEL_CPLView : public QWidget {
    Q_OBJECT
public:
    // Opens the driver's control handle (a failure leaves it closed).
    CQEL_CPLView(qel::cpl::CDrv& drv, qel::os::IOs& os, bool startOnSettings, QWidget* parent = nullptr);
    // Stops the notificator, then closes the control handle.
    ~CQEL_CPLView() override;

    // Registers for device changes, starts the notificator and, the first
    // time, creates the pages and fills the tree.
    void OnInitialUpdate();

    qel::cpl::CDrv& Drv() { return m_drv; }
    qel::cpl::CQel1394Notificator& Notificator() { return m_notificator; }
    // Driver text (8-bit code page) for the screen.
    QString Text(const std::string& text) const;
    // Screen text in the driver's 8-bit code page; nothing when a character
    // has no byte there.
    std::optional<std::string> CodePageText(const QString& text) const;
    // Status-bar panes: 0 page name, 1 device count, 2 sampling rate, 3 streams.
    void SetStatusSink(std::function<void(int pane, const QString& text)> sink) { m_statusSink = std::move(sink); }
    void SetPaneText(int pane, const QString& text);

    CTreeCtrlEx* Tree() const { return m_tree; }
    QTreeWidgetItem* TreeItem(int order) const { return m_items.at(order); }
    QTreeWidgetItem* LastSelectedItem() const { return m_lastSelected; }
    // The six pages in the view's order: streams, input channels, output
    // channels, devices, buffer settings, synchronisation. Null before the
    // first initial update.
    QList<CDialogPage*> Pages() const;
    CDlgPgStreams* StreamsPage() const { return m_pgStreams.get(); }
    CDlgPgChannels* InputChannelsPage() const { return m_pgInput.get(); }
    CDlgPgChannels* OutputChannelsPage() const { return m_pgOutput.get(); }
    CDlgPgDevices* DevicesPage() const { return m_pgDevices.get(); }
    CDlgPgASIOSettings* SettingsPage() const { return m_pgSettings.get(); }
    CDlgPgSynchronisation* SynchronisationPage() const { return m_pgSynchronisation.get(); }
    // The page shown, or null.
    CDialogPage* VisiblePage() const;

    // Makes "Settings" the caret item.
    void SelectSettingsPage();
    void RefreshAllPages();
    // After a device was renamed or the ranking applied: both channel pages and
    // the synchronisation list.
    void RefreshAfterDeviceChange();
    // A device-interface broadcast; always handled.
    bool OnDeviceChange(unsigned eventCode, const QString& name);

    static QList<QIcon> ImageList();

    // Driver events refresh every page at most once per this period: a storm
    // of events (a device plugged in and out, a host restarting its streams)
    // must not keep the window busy refreshing.
    static constexpr int kEventRefreshMs = 100;
    // A refresh for driver events whose reads failed (the driver busy, a
    // device leaving in between) is made again after the period, at most
    // this many times in a row.
    static constexpr int kEventRefreshRetries = 5;

protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void OnSelChangedTree();
    void OnDriverEvent();
    void RefreshForEvents();
    void HideAllPages();
    void StartNotificator();

    qel::cpl::CDrv& m_drv;
    qel::os::IOs& m_os;
    bool m_startOnSettings;
    QBasicTimer m_eventRefreshTimer;  // holds off the next refresh for driver events
    bool m_eventRefreshPending = false;
    int m_eventRefreshRetries = 0;

    CTreeCtrlEx* m_tree = nullptr;
    std::array<QTreeWidgetItem*, 6> m_items{};
    QTreeWidgetItem* m_lastSelected = nullptr;
    QList<QIcon> m_images;
    std::unique_ptr<CDlgPgStreams> m_pgStreams;
    std::unique_ptr<CDlgPgChannels> m_pgInput;
    std::unique_ptr<CDlgPgChannels> m_pgOutput;
    std::unique_ptr<CDlgPgDevices> m_pgDevices;
    std::unique_ptr<CDlgPgASIOSettings> m_pgSettings;
    std::unique_ptr<CDlgPgSynchronisation> m_pgSynchronisation;
    bool m_firstUpdate = true;
    CWindowPort m_port;
    qel::cpl::CQel1394Notificator m_notificator;
    std::unique_ptr<CDeviceNotification> m_deviceNotification;
    std::function<void(int, const QString&)> m_statusSink;
    mutable QHash<char32_t, char> m_codePage;  // screen character to code-page byte, built on first use
};
