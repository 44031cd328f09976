#pragma once
// The small modal name dialogs of the Devices and Channels pages: a label, an
// edit and OK/Cancel. OK takes the text only when every character has a byte
// in the driver's code page; otherwise it says so and the dialog stays open.
#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QLineEdit;

class CSubDlgNameEdit : public QDialog {
    Q_OBJECT
public:
    using ToCodePage = std::function<std::optional<std::string>(const QString&)>;

    CSubDlgNameEdit(const QString& title, const QString& label, int editId, const QString& name,
                    ToCodePage toCodePage, QWidget* parent);

    QLineEdit* Edit() const { return m_edit; }
    void accept() override;

protected:
    // Stores the accepted name (code-page bytes) into the record copy.
    virtual void Store(const std::string& name) = 0;

private:
    QLineEdit* m_edit = nullptr;
    ToCodePage m_toCodePage;
};
