#pragma once
// The "Input Channels" (direction 0) and "Output Channels" (direction 1)
// pages: every channel of the connected devices with its device, its name and
// the name ASIO hosts show, the selected channel's hardware name, renaming,
// and the driver-wide option that puts the device name in front.
#include "controlpanel/app/DialogPage.h"
#include "controlpanel/app/SubDlgNameEdit.h"
#include "controlpanel/driver/ControlPanelRecords.h"

class CListCtrlEx;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Renames a copy of one channel record.
class CSubDlgChannelNameEdit : public CSubDlgNameEdit {
    Q_OBJECT
public:
    CSubDlgChannelNameEdit(qel::QEL_CHANNEL_PROPERTIES& record, const QString& name, ToCodePage toCodePage,
                           QWidget* parent = nullptr);

protected:
    void Store(const std::string& name) override;

private:
    qel::QEL_CHANNEL_PROPERTIES& m_record;
};

// The ASIO display name: "device - channel" with the option set, the channel
// name alone without; cut to 32 characters.
QString AsioDisplayName(const QString& device, const QString& channel, bool withDevice);

class CDlgPgChannels : public CDialogPage {
    Q_OBJECT
public:
    explicit CDlgPgChannels(int direction);
    int Direction() const { return m_direction; }

    void Refresh() override;
    // The option as set from either page: the check box and the display names.
    void SetAsioNameOption(int value);

protected:
    bool OnInitDialog() override;

private:
    void ComposeDisplayNames();
    void UpdateSelection();
    void OnOptionClicked();
    void OnEditName();

    int m_direction;
    int m_option = 0;
    QString m_hardwareName;
    CListCtrlEx* m_list = nullptr;
    QCheckBox* m_check = nullptr;
    QPushButton* m_edit = nullptr;
    QLabel* m_hardwareLabel = nullptr;
    QLineEdit* m_hardware = nullptr;
};
