#pragma once
// The "Synchronisation" page. Here: the current sampling rate in status pane
// 2; the clock list and the rate choice come with the pages.
#include "controlpanel/app/DialogPage.h"

class QLabel;

class CDlgPgSynchronisation : public CDialogPage {
    Q_OBJECT
public:
    CDlgPgSynchronisation();

    // The view's refresh runs both, list first.
    void Refresh() override;
    void RefreshList() {}
    void RefreshRate();

protected:
    bool OnInitDialog() override;

private:
    QLabel* m_rate = nullptr;
};
