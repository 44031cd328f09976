#pragma once
// The About box: program icon, title and version, a line of our own.
#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    // "%s V%d.%d.%d\n\n%s": title, version, blank line, second text.
    static QString Text();
};
