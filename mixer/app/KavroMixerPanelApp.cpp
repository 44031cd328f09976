#include "mixer/app/KavroMixerPanelApp.h"

#include "device/QelContext.h"
#include "mixer/app/KavroMixerPanelDlg.h"

CKavroMixerPanelApp::CKavroMixerPanelApp(qel::os::IOs& platform, QString programFile)
    : m_context(std::make_unique<qel::QelContext>(platform)), m_programFile(std::move(programFile))
{
}

CKavroMixerPanelApp::~CKavroMixerPanelApp() = default;

bool CKavroMixerPanelApp::InitInstance()
{
    CKavroMixerPanelDlg dlg(*m_context, m_programFile);
    m_result = dlg.DoModal();
    return false;
}
