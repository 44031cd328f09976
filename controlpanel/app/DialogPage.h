#pragma once
// A settings page: a modeless child dialog of the view, made from its
// template's size in dialog units. Enter and Escape never close or hide it.
#include <QDialog>
#include <QSize>

class CQEL_CPLView;

class CDialogPage : public QDialog {
    Q_OBJECT
public:
    explicit CDialogPage(int templateId);

    // Makes the page a child of the view at its template size and runs its
    // dialog initialisation.
    bool Create(CQEL_CPLView* view);
    int TemplateId() const { return m_templateId; }
    // The template's size in pixels (dialog units converted).
    QSize TemplateSize() const;
    static QSize TemplateSizeDu(int templateId);

    // Re-reads from the driver and redraws.
    virtual void Refresh() {}
    // The last Refresh could not read the driver (the page shows nothing or
    // what it had).
    bool RefreshFailed() const { return m_refreshFailed; }

    // OK and Cancel do nothing on a page.
    void accept() override {}
    void reject() override {}

protected:
    // Builds the controls and performs the first refresh.
    virtual bool OnInitDialog() { return true; }
    CQEL_CPLView* View() const { return m_view; }
    bool m_refreshFailed = false;  // set by Refresh

private:
    int m_templateId;
    CQEL_CPLView* m_view = nullptr;
};
