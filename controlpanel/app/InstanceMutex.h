#pragma once
// The control panel's named mutex, created initially owned, as other
// programs look for it on Windows. Elsewhere there is no such object and the
// lock file of CSingleInstance alone stands for it.
#include <QString>

class CInstanceMutex {
public:
    enum class Result { Created, Exists, Failed, Unsupported };

    CInstanceMutex() = default;
    ~CInstanceMutex();  // closes the handle
    CInstanceMutex(const CInstanceMutex&) = delete;
    CInstanceMutex& operator=(const CInstanceMutex&) = delete;

    // Exists when another process holds one of that name; the handle is then closed.
    Result Create(const QString& name);
    void Close();
    bool IsHeld() const { return m_handle != nullptr; }

private:
    void* m_handle = nullptr;
};
