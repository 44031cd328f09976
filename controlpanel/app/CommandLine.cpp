#include "controlpanel/app/CommandLine.h"

#include <QRegularExpression>

CCommandLine::CCommandLine(const QStringList& arguments)
{
    // Rebuild the raw text so an argument holding blanks splits as the raw command line would.
    const QStringList tokens =
        arguments.join(QLatin1Char(' ')).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    m_exit = Has(tokens, "-exit");
    m_asio = Has(tokens, "-asio");
    m_hide = Has(tokens, "-hide");
}

bool CCommandLine::Has(const QStringList& tokens, const char* name) const
{
    return tokens.contains(QLatin1String(name), Qt::CaseInsensitive);
}
