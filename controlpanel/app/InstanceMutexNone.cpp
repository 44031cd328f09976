#include "controlpanel/app/InstanceMutex.h"

// No named mutexes on this system: the lock file stands for it.
CInstanceMutex::~CInstanceMutex() = default;
CInstanceMutex::Result CInstanceMutex::Create(const QString&) { return Result::Unsupported; }
void CInstanceMutex::Close() {}
