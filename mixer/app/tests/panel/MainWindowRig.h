#pragma once
// Shared pieces of the tests that run the mixer panel's main window against
// the default simulated rig.
//
// ConfigFolder gives each case an empty folder of its own as the current
// directory (the window reads its configuration from there) and restores the
// previous one when it goes:
//
//   std::unique_ptr<ConfigFolder> m_folder;
//   void init()    { m_folder = ConfigFolder::WithShippedConfig(); QVERIFY(m_folder->Valid()); }
//   void cleanup() { m_folder.reset(); }
//
// SurfaceWindow is the main window on a rig of its own, showing the
// Kavro 1814's surface.
#include "device/QelContext.h"
#include "mixer/app/KavroMixerPanelDlg.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "os/sim/SimOs.h"
#include "sim/FwFirmware.h"
#include "sim/Rig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabBar>
#include <QTemporaryDir>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace qel::mixer::test {

inline const QString kProgram = QStringLiteral("/opt/kavro/KavroMixerPanel");
inline const QString kConfigName = QStringLiteral("KavroMixerPanelConfig.xml");

// The text of the shipped configuration file (empty when unreadable).
inline std::string ShippedConfig()
{
    std::ifstream in(QEL_SHIPPED_CONFIG);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ConfigFolder {
public:
    ConfigFolder() : m_previous(QDir::currentPath())
    {
        m_valid = m_dir.isValid() && QDir::setCurrent(m_dir.path());
    }
    ~ConfigFolder() { QDir::setCurrent(m_previous); }
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;

    // A folder holding the shipped configuration file; not Valid() when it
    // could not be written.
    static std::unique_ptr<ConfigFolder> WithShippedConfig()
    {
        auto folder = std::make_unique<ConfigFolder>();
        folder->m_valid = folder->m_valid && folder->Write(ShippedConfig());
        return folder;
    }

    bool Valid() const { return m_valid; }
    QString Path() const { return m_dir.path(); }
    QString FilePath(const QString& name) const { return m_dir.filePath(name); }
    // Writes `text` as the file `name` in the folder; false when it cannot.
    bool Write(const std::string& text, const QString& name = kConfigName) const
    {
        QFile f(FilePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(text.data(), qint64(text.size())) == qint64(text.size());
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
    bool m_valid = false;
};

struct SurfaceWindow {
    static constexpr std::uint32_t kFw1814 = 2;
    static constexpr int k1814Tab = 1;

    SurfaceWindow() : rig(sim::Rig::makeDefault()), os(*rig), context(os), dlg(context, kProgram) {}

    // Opens the window, shows the 1814 and clears the rig's trace.
    bool Start()
    {
        if (!dlg.OnInitDialog() || dlg.TabCtrl()->count() < 2)
            return false;
        dlg.TabCtrl()->setCurrentIndex(k1814Tab);
        QApplication::setActiveWindow(&dlg);
        Settle();
        rig->takeTrace();
        return Mixer()->isVisible();
    }
    CMixerCtrlContainer* Mixer() const { return dlg.Containers().at(k1814Tab); }
    // Element messages to the container, then the paced requests to the device.
    void Settle()
    {
        QCoreApplication::sendPostedEvents();
        Mixer()->Pacer().Flush();
        QCoreApplication::sendPostedEvents();
    }
    // A channel of the 1814 as its firmware holds it.
    sim::FwFirmware::Channel Channel(std::uint8_t block, std::uint8_t ch)
    {
        sim::FwFirmware::Channel out;
        rig->withFwDevice(kFw1814, [&](sim::FwDeviceModel& m) {
            if (const auto* c = sim::FwFirmware::of(m)->channel(block, ch))
                out = *c;
        });
        return out;
    }

    std::unique_ptr<sim::Rig> rig;
    qel::os::SimOs os;
    QelContext context;
    CKavroMixerPanelDlg dlg;
};

}  // namespace qel::mixer::test
