#pragma once
// The "Streams" page. Its contents come with the pages.
#include "controlpanel/app/DialogPage.h"

class CDlgPgStreams : public CDialogPage {
    Q_OBJECT
public:
    CDlgPgStreams();

protected:
    bool OnInitDialog() override;
};
