#pragma once
// The About box: program icon, title and version, a line of our own.
#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // simulated: on the simulated rig, which the title and the text then name.
    explicit CAboutDlg(bool simulated = false, QWidget* parent = nullptr);
    // "%s V%d.%d.%d\n\n%s": title, version, blank line, second text; on the
    // rig a blank line and the rig's line follow.
    static QString Text(bool simulated = false);
};
