#pragma once
// The "Devices" page: the connected devices with name and serial number, and
// the device count in status pane 1. Renaming and ranking come with the pages.
#include "controlpanel/app/DialogPage.h"

class CListCtrlEx;

class CDlgPgDevices : public CDialogPage {
    Q_OBJECT
public:
    CDlgPgDevices();
    void Refresh() override;

protected:
    bool OnInitDialog() override;

private:
    CListCtrlEx* m_list = nullptr;
};
