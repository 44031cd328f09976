#include "ui/MessageBoxRecorder.h"

CMessageBoxRecorder::CMessageBoxRecorder(int answer)
    : m_answer(answer), m_previous(CMessageBoxService::Install(this))
{
}

CMessageBoxRecorder::~CMessageBoxRecorder()
{
    CMessageBoxService::Install(m_previous);
}

int CMessageBoxRecorder::Show(QWidget*, const QString& text, const QString& caption, Icon icon,
                              Buttons buttons)
{
    m_entries.append({text, caption, icon, buttons});
    return m_answer;
}
