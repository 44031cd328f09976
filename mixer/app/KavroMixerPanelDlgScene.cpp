// The main window's scene items: "Save scene..." and "Load scene..." act on
// the shown mixer; the files are written only here, when the user asks.
#include "mixer/app/KavroMixerPanelDlg.h"

#include <QFile>
#include <QFileDialog>

#include "device/Device.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/app/SceneFile.h"
#include "mixer/controls/MixerPanelTop.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

constexpr int kSavedNoteMs = 3000;
const QString kSceneFilter = QStringLiteral("Scenes (*.scene);;All files (*)");

} // namespace

CMixerCtrlContainer* CKavroMixerPanelDlg::ShownMixer() const
{
    if (m_nShownIndex < 0 || m_nShownIndex >= m_containers.size())
        return nullptr;
    return m_containers[m_nShownIndex];
}

void CKavroMixerPanelDlg::AddSceneItems()
{
    if (m_saveSceneAction)
        return;
    const auto choose = [this](bool save) {
        if (m_sceneFileChooser)
            return m_sceneFileChooser(save);
        return save ? QFileDialog::getSaveFileName(this, QStringLiteral("Save scene"), QString(), kSceneFilter)
                    : QFileDialog::getOpenFileName(this, QStringLiteral("Load scene"), QString(), kSceneFilter);
    };
    m_saveSceneAction = new QAction(QStringLiteral("Save scene..."), this);
    connect(m_saveSceneAction, &QAction::triggered, this, [this, choose] {
        const QString file = choose(true);
        if (!file.isEmpty())
            SaveScene(file);
    });
    m_loadSceneAction = new QAction(QStringLiteral("Load scene..."), this);
    connect(m_loadSceneAction, &QAction::triggered, this, [this, choose] {
        const QString file = choose(false);
        if (!file.isEmpty())
            LoadScene(file);
    });
#ifdef Q_OS_WIN
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        AppendMenuW(menu, MF_STRING, IDM_SAVESCENE, L"Save scene...");
        AppendMenuW(menu, MF_STRING, IDM_LOADSCENE, L"Load scene...");
    }
#endif
}

bool CKavroMixerPanelDlg::SaveScene(const QString& file)
{
    CMixerCtrlContainer* mixer = ShownMixer();
    if (!mixer || !mixer->GetDevice())
        return false;
    const qel::mixer::Scene scene = mixer->CaptureScene(mixer->GetDevice()->props().modelName);
    std::string error;
    if (!qel::mixer::WriteSceneFile(QFile::encodeName(file).toStdString(), scene, error)) {
        m_messageBox.ShowMessage("Scene not saved: " + error, "Save scene",
                                 qel::mixer::IMixerMessageBox::Icon::Exclamation);
        return false;
    }
    if (CMixerPanelTop* top = mixer->TopPanel())
        top->ShowMessage(QStringLiteral("Scene saved"), kSavedNoteMs);
    return true;
}

bool CKavroMixerPanelDlg::LoadScene(const QString& file)
{
    CMixerCtrlContainer* mixer = ShownMixer();
    if (!mixer || !mixer->GetDevice())
        return false;
    qel::mixer::Scene scene;
    qel::mixer::SceneError error;
    if (!qel::mixer::ReadSceneFile(QFile::encodeName(file).toStdString(), scene, error)) {
        // Nothing was applied.
        const std::string where = error.line > 0 ? file.toStdString() + ": " : std::string();
        m_messageBox.ShowMessage("Scene not loaded: " + where + error.Message(), "Load scene",
                                 qel::mixer::IMixerMessageBox::Icon::Exclamation);
        return false;
    }
    const CMixerCtrlContainer::SceneReport report = mixer->ApplyScene(scene);
    const std::string model = mixer->GetDevice()->props().modelName;
    if (report.skipped.empty() && scene.model == model) {
        if (CMixerPanelTop* top = mixer->TopPanel())
            top->ShowMessage(QStringLiteral("Scene loaded"), kSavedNoteMs);
        return true;
    }
    std::string text = scene.model == model ? "Scene loaded" : "Scene of the " + scene.model + " loaded on the " + model;
    text += ": " + std::to_string(report.applied.size()) + " values applied, " + std::to_string(report.skipped.size()) +
            " skipped";
    for (const std::string& line : report.skipped)
        text += "\n" + line;
    m_messageBox.ShowMessage(text, "Load scene", qel::mixer::IMixerMessageBox::Icon::None);
    return true;
}
