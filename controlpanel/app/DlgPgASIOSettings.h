#pragma once
// The "Settings" page (stream, ASIO and WDM buffer depths). Its contents come
// with the pages.
#include "controlpanel/app/DialogPage.h"

class CDlgPgASIOSettings : public CDialogPage {
    Q_OBJECT
public:
    CDlgPgASIOSettings();

protected:
    bool OnInitDialog() override;
};
