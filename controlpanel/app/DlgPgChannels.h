#pragma once
// The "Input Channels" (direction 0) and "Output Channels" (direction 1)
// pages. Their contents come with the pages.
#include "controlpanel/app/DialogPage.h"

class CDlgPgChannels : public CDialogPage {
    Q_OBJECT
public:
    explicit CDlgPgChannels(int direction);
    int Direction() const { return m_direction; }

protected:
    bool OnInitDialog() override;

private:
    int m_direction;
};
