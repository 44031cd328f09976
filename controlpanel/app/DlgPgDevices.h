#pragma once
// The "Devices" page: the connected devices with name and serial number, the
// device count in status pane 1, renaming, and the device ranking (the order
// in which ASIO hosts see the devices' channels), pending until Apply.
#include "controlpanel/app/DialogPage.h"
#include "controlpanel/app/SubDlgNameEdit.h"
#include "device/Records.h"

class CListCtrlEx;
class QLabel;
class QPushButton;

// Renames a copy of one device record.
class CSubDlgDeviceNameEdit : public CSubDlgNameEdit {
    Q_OBJECT
public:
    CSubDlgDeviceNameEdit(qel::QEL_DEVICE_PROPERTIES& record, const QString& name, ToCodePage toCodePage,
                          QWidget* parent = nullptr);

protected:
    void Store(const std::string& name) override;

private:
    qel::QEL_DEVICE_PROPERTIES& m_record;
};

class CDlgPgDevices : public CDialogPage {
    Q_OBJECT
public:
    CDlgPgDevices();

    void Refresh() override;

protected:
    bool OnInitDialog() override;

private:
    void UpdateButtons();
    void Move(int delta);
    void OnApply();
    void OnEditName();

    CListCtrlEx* m_list = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
    QLabel* m_hint = nullptr;
    QPushButton* m_apply = nullptr;
};
