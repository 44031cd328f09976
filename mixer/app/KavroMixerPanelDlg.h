#pragma once
// The mixer panel's main window: loads the configuration file named after the
// program, takes in the connected devices, builds one mixer per described
// device with one tab each, shows the selected mixer and sizes the window to
// it, and adds a tab once a second for a device plugged in since.
#include <QAction>
#include <QBasicTimer>
#include <QDialog>
#include <QIcon>
#include <QList>
#include <QString>
#include <QVector>

#include <cstddef>
#include <functional>
#include <memory>

#include "device/DeviceProps.h"
#include "mixer/app/PanelMessageBox.h"
#include "mixer/app/XmlDom.h"

class CMixerCtrlContainer;
class QTabBar;

namespace qel {
class QelContext;
}
namespace qel::mixer {
class CDeviceList;
}

class CKavroMixerPanelDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 102;
    static constexpr int IDC_TAB = 1000;
    static constexpr int IDR_MAINFRAME = 179;
    // Tab images, in image order: FireWire, FireWire (other), USB, USB (other).
    static constexpr int kTabImageIds[4] = {177, 178, 175, 176};
    static constexpr int kFireWireImage = 0;
    static constexpr int kUsbImage = 2;
    // The About item's command (the window menu's commands 16 to 31).
    static constexpr int IDM_ABOUTBOX = 16;
    // The scene items' commands in the window menu (Windows).
    static constexpr int IDM_SAVESCENE = 48;
    static constexpr int IDM_LOADSCENE = 64;
    static constexpr int kArrivalPollMs = 1000;  // timer 1129
    // Where the mixer sits below the tabs when there are two or more.
    static constexpr int kTabOffset = 31;
    // What the window adds around the mixer.
    static constexpr int kExtraWidth = 4;
    static constexpr int kExtraHeight = 30;

    // `programFile`: the program's path, which names the configuration file
    // (the running program's when empty).
    explicit CKavroMixerPanelDlg(qel::QelContext& context, QString programFile = {}, QWidget* parent = nullptr);
    ~CKavroMixerPanelDlg() override;

    // "%sConfig.xml" with the program's file name without directory and extension.
    static QString ConfigFileName(const QString& programFile);

    // The start-up; false when the window has ended (result 0), the program
    // then ends. True also when the window stays open without mixers.
    bool OnInitDialog();
    // OnInitDialog, then the window's modal loop when it stays open.
    int DoModal();

    // Shows mixer `index` (tab and container share the index).
    void ShowMixer(int index);
    // Timer 1129: takes in a device plugged in since and gives it a tab.
    void PollDeviceArrival();
    // Window-menu commands; 16 to 31 open the About box.
    void OnSysCommand(int id);

    // ---- State
    qel::mixer::CDeviceList* DeviceList() const { return m_pDeviceList.get(); }
    QTabBar* TabCtrl() const { return m_tabCtrl; }
    // The image index of tab i (-1 when there is no such tab).
    int TabImage(int i) const;
    const QVector<CMixerCtrlContainer*>& Containers() const { return m_containers; }
    int MixerCount() const { return m_nMixerCount; }
    int ShownIndex() const { return m_nShownIndex; }
    QString ApplicationName() const { return m_strAppName; }
    // "About <name> ..."; empty when there is no About item.
    QString AboutItemText() const;
    QAction* AboutAction() const { return m_aboutAction; }
    bool ArrivalPollActive() const { return m_arrivalTimer.isActive(); }

    // ---- Scenes of the shown mixer (KavroMixerPanelDlgScene.cpp)
    // "Save scene..." and "Load scene...": ask for a file, then save or load.
    QAction* SaveSceneAction() const { return m_saveSceneAction; }
    QAction* LoadSceneAction() const { return m_loadSceneAction; }
    // Asks for the file to save to (save) or load from; empty for none.
    // A file dialog unless replaced (tests).
    using SceneFileChooser = std::function<QString(bool save)>;
    void SetSceneFileChooser(SceneFileChooser chooser) { m_sceneFileChooser = std::move(chooser); }
    // The shown mixer's surface to `file`, or `file` applied to it; a box
    // tells a failure and, after a load, what was skipped.
    bool SaveScene(const QString& file);
    bool LoadScene(const QString& file);
    QString ConfigFile() const { return m_configFile; }

protected:
    void timerEvent(QTimerEvent* event) override;
    // Ctrl+Tab and Ctrl+Shift+Tab: the next and the previous tab, round.
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Minimised, the surfaces paint nothing; their device reads go on, and
    // restored they show their current state at once.
    void changeEvent(QEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    // Default ChannelConfig of a Device element.
    static qel::mixer::XmlNode DefaultChannelConfig(const qel::mixer::XmlNode& device);
    // Creates and builds the mixer of list entry `entry`; the tab is the caller's.
    // Creates, builds and appends the mixer of list entry `entry`; a null
    // title keeps the container's own. The tab is the caller's.
    CMixerCtrlContainer* CreateMixer(std::size_t entry, const qel::DEVICE_PROPS& props, const QString& title,
                                     const QString& type, const qel::mixer::XmlNode& channelConfig);
    void InsertTab(int index, const qel::DEVICE_PROPS& props);
    void AddAboutItem();
    void AddSceneItems();
    CMixerCtrlContainer* ShownMixer() const;
    void OnTabSelChange(int index);
    void ShowBox(const QString& text, const QString& caption);

    qel::QelContext& m_context;
    QString m_programFile;
    QString m_programName;
    QString m_configFile;
    QIcon m_hIcon;
    CPanelMessageBox m_messageBox;
    qel::mixer::XmlDocument m_document;
    qel::mixer::XmlNode m_root;
    QList<QIcon> m_tabImages;
    int m_nMixerCount = 0;
    int m_nShownIndex = 0;
    QTabBar* m_tabCtrl = nullptr;
    std::unique_ptr<qel::mixer::CDeviceList> m_pDeviceList;
    QVector<CMixerCtrlContainer*> m_containers;
    QString m_strAppName;
    QAction* m_aboutAction = nullptr;
    QAction* m_saveSceneAction = nullptr;
    QAction* m_loadSceneAction = nullptr;
    SceneFileChooser m_sceneFileChooser;
    QBasicTimer m_arrivalTimer;  // 1129
    bool m_polling = false;
};
