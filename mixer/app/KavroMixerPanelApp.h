#pragma once
// The mixer panel application: holds the device layer's context over the
// platform and runs the main window modally; the program ends with it.
#include <QString>

#include <memory>

namespace qel {
class QelContext;
}
namespace qel::os {
class IOs;
}

class CKavroMixerPanelApp {
public:
    // `platform`: the driver seam the devices are reached through (not
    // owned). `programFile` names the configuration file (the running
    // program's when empty).
    explicit CKavroMixerPanelApp(qel::os::IOs& platform, QString programFile = {});
    ~CKavroMixerPanelApp();
    CKavroMixerPanelApp(const CKavroMixerPanelApp&) = delete;
    CKavroMixerPanelApp& operator=(const CKavroMixerPanelApp&) = delete;

    // Runs the main window modally and destroys it; false, so the program
    // ends once it returns.
    bool InitInstance();
    // The main window's result of the last run.
    int ModalResult() const { return m_result; }

    qel::QelContext& Context() { return *m_context; }

private:
    std::unique_ptr<qel::QelContext> m_context;
    QString m_programFile;
    int m_result = 0;
};
