#pragma once
// Message boxes go through one replaceable service: production shows a
// QMessageBox, tests install a CMessageBoxRecorder. Call from the UI thread only.
#include <QString>

class QWidget;

class CMessageBoxService {
public:
    enum class Icon { None, Information, Warning, Error, Question };
    enum class Buttons { Ok, OkCancel, YesNo };
    // Results mirror the platform's: IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7.
    enum Result { ResultOk = 1, ResultCancel = 2, ResultYes = 6, ResultNo = 7 };

    virtual ~CMessageBoxService() = default;
    virtual int Show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                     Buttons buttons) = 0;

    // The installed service (the QMessageBox one unless replaced).
    static CMessageBoxService& Current();
    // Installs service (not owned) and returns the previous one; null restores the default.
    static CMessageBoxService* Install(CMessageBoxService* service);
};

// Shorthand for CMessageBoxService::Current().Show(...).
int QelMessageBox(QWidget* parent, const QString& text, const QString& caption,
                  CMessageBoxService::Icon icon = CMessageBoxService::Icon::None,
                  CMessageBoxService::Buttons buttons = CMessageBoxService::Buttons::Ok);
