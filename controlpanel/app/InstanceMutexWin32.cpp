#include "controlpanel/app/InstanceMutex.h"

#include <windows.h>

CInstanceMutex::~CInstanceMutex() { Close(); }

CInstanceMutex::Result CInstanceMutex::Create(const QString& name)
{
    Close();
    const std::wstring wide = name.toStdWString();
    HANDLE h = CreateMutexW(nullptr, TRUE, wide.c_str());
    if (h == nullptr)
        return Result::Failed;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        return Result::Exists;
    }
    m_handle = h;
    return Result::Created;
}

void CInstanceMutex::Close()
{
    if (m_handle) {
        CloseHandle(static_cast<HANDLE>(m_handle));
        m_handle = nullptr;
    }
}
