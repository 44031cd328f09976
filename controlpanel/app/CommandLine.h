#pragma once
// The control panel's switches: "-exit", "-asio", "-hide". The command line is
// split at white space and a switch matches a whole token in any case.
#include <QStringList>

class CCommandLine {
public:
    // arguments: the program's arguments without the program name.
    explicit CCommandLine(const QStringList& arguments);

    bool Exit() const { return m_exit; }
    bool Asio() const { return m_asio; }
    bool Hide() const { return m_hide; }

private:
    bool Has(const QStringList& tokens, const char* name) const;

    bool m_exit = false;
    bool m_asio = false;
    bool m_hide = false;
};
