// The control panel under a fault: its main frame on the rig; afterwards the
// devices page lists the devices on the bus under the names the driver holds.
#include <QComboBox>
#include <QIcon>
#include <QPushButton>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/DialogPage.h"
#include "controlpanel/app/DlgPgDevices.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/MainFrame.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/app/TrayIcon.h"
#include "controlpanel/app/TreeCtrlEx.h"
#include "controlpanel/driver/Drv.h"
#include "faults/ProgramUnderTest.h"
#include "os/Os.h"
#include "sim/Rig.h"
#include "ui/ControlId.h"

#include <algorithm>

namespace qel::faults {
namespace {

constexpr int kPages = 6;
constexpr int kSynchronisationPage = 3;  // in tree order

class ControlPanelUnderTest final : public ProgramUnderTest {
public:
    explicit ControlPanelUnderTest(Platform& platform) : m_platform(platform) { CTrayIcon::OverrideAvailability(true); }
    ~ControlPanelUnderTest() override { CTrayIcon::OverrideAvailability(std::nullopt); }

    bool Start() override
    {
        m_os = m_platform.Open();
        m_drv = std::make_unique<cpl::CDrv>(*m_os);
        m_frame = std::make_unique<CMainFrame>(*m_drv, *m_os, false, QIcon());
        m_frame->show();
        return true;
    }

    void Tick(int n) override
    {
        CQEL_CPLView* view = m_frame->View();
        view->Tree()->SelectItem(view->TreeItem(n % kPages));
    }

    void UserAction(std::mt19937& random) override
    {
        CQEL_CPLView* view = m_frame->View();
        if (std::uniform_int_distribution<int>(0, 2)(random) == 0) {
            view->Tree()->SelectItem(view->TreeItem(std::uniform_int_distribution<int>(0, kPages - 1)(random)));
            return;
        }
        // A row of the lists on the shown page.
        CDialogPage* page = view->VisiblePage();
        if (page == nullptr)
            return;
        // The devices page's Up or Down clicked, one time in three: the rows
        // move, Apply is not clicked, so the driver keeps its ranks.
        if (std::uniform_int_distribution<int>(0, 2)(random) == 0) {
            const int id = std::uniform_int_distribution<int>(0, 1)(random) == 0 ? IDC_DEVICE_UP : IDC_DEVICE_DOWN;
            if (auto* button = FindControl<QPushButton>(page, id); button && button->isEnabled()) {
                button->click();
                return;
            }
        }
        for (CListCtrlEx* list : page->findChildren<CListCtrlEx*>())
            if (const int rows = list->GetItemCount(); rows > 0)
                list->SelectItem(std::uniform_int_distribution<int>(0, rows - 1)(random));
    }

    std::string Perform(const std::vector<std::string>& words) override
    {
        if (words[0] != "rate") return "the control panel cannot do '" + words[0] + "'";
        CQEL_CPLView* view = m_frame->View();
        view->Tree()->SelectItem(view->TreeItem(kSynchronisationPage));
        CDialogPage* page = view->VisiblePage();
        auto* rates = page ? FindControl<QComboBox>(page, IDC_SAMPLE_RATE_COMBO) : nullptr;
        auto* apply = page ? FindControl<QPushButton>(page, IDC_RATE_APPLY) : nullptr;
        if (rates == nullptr || apply == nullptr) return "rate: the Synchronisation page has no rate list";
        const int row = rates->findData(qint64(std::stoul(words[1])));
        if (row < 0) return "rate: the list offers no " + words[1] + " Hz";
        rates->setCurrentIndex(row);
        if (!apply->isEnabled()) return "rate: Apply stays disabled for " + words[1] + " Hz";
        apply->click();
        return {};
    }

    std::vector<std::string> Check(const Expectations&) override
    {
        std::vector<std::string> faults;
        std::vector<std::string> names = BusNames();
        auto* list = FindControl<CListCtrlEx>(m_frame->View()->DevicesPage(), IDC_DEVICE_LIST);
        if (list == nullptr)
            return {"the devices page has no list"};
        std::vector<std::string> rows;
        for (int r = 0; r < list->GetItemCount(); ++r)
            rows.push_back(list->GetItemText(r, 0).toStdString());
        std::sort(names.begin(), names.end());
        std::sort(rows.begin(), rows.end());
        if (rows != names) {
            std::string shown, bus;
            for (const auto& r : rows) shown += " \"" + r + "\"";
            for (const auto& n : names) bus += " \"" + n + "\"";
            faults.push_back("the devices page lists" + shown + "; the bus has" + bus);
        }
        return faults;
    }

    void Stop() override
    {
        m_frame.reset();
        m_drv.reset();
        m_os.reset();
    }

private:
    // The names of the devices on the bus now, as the code page shows them:
    // from the rig itself when it is in this process, else as a driver
    // object opened afresh lists them.
    std::vector<std::string> BusNames()
    {
        std::vector<std::string> names;
        if (sim::Rig* rig = m_platform.InProcess()) {
            for (std::uint32_t id : rig->presentFwDevices())
                rig->withFwDevice(id, [&](sim::FwDeviceModel& m) { names.push_back(m_os->codePageToUtf8(m.deviceName)); });
            return names;
        }
        const std::unique_ptr<os::IOs> os = m_platform.Open();
        cpl::CDrv drv(*os);
        if (drv.openDriver() != QEL_OK || drv.refreshDeviceProperties() != QEL_OK)
            return {"(the driver could not be read)"};
        for (const auto& record : drv.deviceProperties())
            names.push_back(os->codePageToUtf8(record.deviceName()));
        return names;
    }

    Platform& m_platform;
    std::unique_ptr<os::IOs> m_os;
    std::unique_ptr<cpl::CDrv> m_drv;
    std::unique_ptr<CMainFrame> m_frame;
};

}  // namespace

const char* ProgramName() { return "control-panel"; }
std::unique_ptr<ProgramUnderTest> MakeProgram(Platform& platform) { return std::make_unique<ControlPanelUnderTest>(platform); }

}  // namespace qel::faults
