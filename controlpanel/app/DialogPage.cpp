#include "controlpanel/app/DialogPage.h"

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "ui/DialogUnits.h"

CDialogPage::CDialogPage(int templateId) : QDialog(nullptr), m_templateId(templateId) {}

QSize CDialogPage::TemplateSizeDu(int templateId)
{
    return templateId == IDD_PG_STREAMS ? QSize(350, 239) : QSize(350, 238);
}

QSize CDialogPage::TemplateSize() const
{
    const QSize du = TemplateSizeDu(m_templateId);
    return QSize(DuToPxX(du.width()), DuToPxY(du.height()));
}

bool CDialogPage::Create(CQEL_CPLView* view)
{
    m_view = view;
    setParent(view, Qt::Widget);
    setFixedSize(TemplateSize());
    setAutoFillBackground(true);
    return OnInitDialog();
}
