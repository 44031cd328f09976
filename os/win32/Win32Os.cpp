#include "os/win32/Win32Os.h"

#include <windows.h>
// windows.h first
#include <dbt.h>
#include <setupapi.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace qel::os {

namespace {
static_assert(sizeof(OVERLAPPED) <= sizeof(Overlapped::opaque), "OVERLAPPED must fit the opaque storage");

GUID toWin(const Guid& g) {
    GUID w;
    w.Data1 = g.data1;
    w.Data2 = g.data2;
    w.Data3 = g.data3;
    std::memcpy(w.Data4, g.data4.data(), 8);
    return w;
}

OVERLAPPED* native(Overlapped& ov) { return reinterpret_cast<OVERLAPPED*>(ov.opaque); }
}  // namespace

// Device-interface notifications need a window: a hidden one on its own thread.
struct Win32Os::Notifier {
    struct Registration {
        Guid guid;
        HDEVNOTIFY handle = nullptr;
        DeviceChangeCallback callback;
    };
    Win32Os::Options options;
    std::mutex mutex;
    std::condition_variable ready;
    std::thread thread;
    HWND window = nullptr;
    bool started = false;
    bool windowTried = false;  // the thread has tried to create the window
    bool finished = false;     // the thread has ended
    std::map<HDEVNOTIFY, Registration> registrations;

    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Notifier*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (msg == WM_DEVICECHANGE && self != nullptr &&
            (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) && lParam != 0) {
            const auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
            if (hdr->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
                const auto* di = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
                std::vector<DeviceChangeCallback> targets;
                {
                    std::lock_guard lock(self->mutex);
                    for (const auto& [h, r] : self->registrations)
                        if (IsEqualGUID(toWin(r.guid), di->dbcc_classguid))
                            targets.push_back(r.callback);
                }
                for (const auto& cb : targets) cb(static_cast<std::uint32_t>(wParam), di->dbcc_name);
            }
            return TRUE;
        }
        if (msg == WM_CLOSE) {
            DestroyWindow(hwnd);
            return 0;
        }
        if (msg == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }

    // Makes the window on its thread; after a failed creation the next call tries again.
    bool start(const std::shared_ptr<Notifier>& self) {
        std::unique_lock lock(mutex);
        if (started && window != nullptr) return true;
        if (started) {
            // The last try failed and its thread has ended (or is ending).
            ready.wait(lock, [this] { return finished; });
            lock.unlock();
            if (thread.joinable()) thread.join();
            lock.lock();
        }
        started = true;
        windowTried = false;
        finished = false;
        window = nullptr;
        thread = std::thread([this, self] {
            run();
            std::lock_guard inner(mutex);
            finished = true;
            ready.notify_all();
        });
        ready.wait(lock, [this] { return windowTried; });
        return window != nullptr;
    }

    void run() {
        {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &Notifier::proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "PnPNotificatorWndCls";
            RegisterClassA(&wc);
            HWND hwnd = nullptr;
            if (!options.mayCreateWindow || options.mayCreateWindow())
                hwnd = CreateWindowA(wc.lpszClassName, "PnPNotificator_HiddenWindow", 0, 0, 0, 0, 0, nullptr,
                                     nullptr, wc.hInstance, nullptr);
            if (hwnd != nullptr) SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            {
                std::lock_guard inner(mutex);
                window = hwnd;
                windowTried = true;
            }
            ready.notify_all();
            if (hwnd == nullptr) return;
            MSG msg;
            while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }

    void stop() {
        HWND w = nullptr;
        {
            std::lock_guard lock(mutex);
            for (auto& [h, r] : registrations) UnregisterDeviceNotification(h);
            registrations.clear();
            w = window;
        }
        if (w != nullptr) PostMessageA(w, WM_CLOSE, 0, 0);
        if (!thread.joinable()) return;
        bool ended = false;
        {
            std::unique_lock lock(mutex);
            ended = ready.wait_for(lock, std::chrono::milliseconds(options.stopLimitMs), [this] { return finished; });
        }
        // Past the limit the thread keeps the notifier alive by its own reference.
        if (ended)
            thread.join();
        else
            thread.detach();
    }
};

Win32Os::Win32Os() : Win32Os(Options{}) {}
Win32Os::Win32Os(Options options) : notifier_(std::make_shared<Notifier>()) {
    notifier_->options = std::move(options);
}
Win32Os::~Win32Os() { notifier_->stop(); }

DevInfoSet Win32Os::getClassDevs(const Guid& interfaceGuid) {
    const GUID g = toWin(interfaceGuid);
    HDEVINFO set = SetupDiGetClassDevsA(&g, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    return set == INVALID_HANDLE_VALUE ? nullptr : set;
}

void Win32Os::destroyDevInfoSet(DevInfoSet set) {
    if (set != nullptr) SetupDiDestroyDeviceInfoList(set);
}

std::uint32_t Win32Os::enumInterface(DevInfoSet set, const Guid& interfaceGuid, std::uint32_t index,
                                     std::string& path) {
    const GUID g = toWin(interfaceGuid);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;  // 28 bytes on 32-bit Windows
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &g, index, &data)) return GetLastError();
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return GetLastError();
    std::vector<unsigned char> buffer(required, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, &info)) return GetLastError();
    path.assign(detail->DevicePath, strnlen(detail->DevicePath, required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath)));
    return 0;
}

Handle Win32Os::openPath(const std::string& path, bool overlapped, std::uint32_t& error) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    error = 0;
    return h;
}

void Win32Os::closeHandle(Handle h) {
    if (h != nullptr) CloseHandle(h);
}

std::uint32_t Win32Os::ioctl(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                             std::uint32_t outLen, std::uint32_t* bytesReturned) {
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(h, code, const_cast<void*>(in), inLen, out, outLen, &got, nullptr);
    if (bytesReturned != nullptr) *bytesReturned = got;
    return ok ? 0 : GetLastError();
}

std::uint32_t Win32Os::ioctlOverlapped(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                       std::uint32_t outLen, Overlapped& ov) {
    OVERLAPPED* o = new (ov.opaque) OVERLAPPED{};
    o->hEvent = ov.event;
    DWORD got = 0;
    if (DeviceIoControl(h, code, const_cast<void*>(in), inLen, out, outLen, &got, o)) return 0;
    return GetLastError();
}

std::uint32_t Win32Os::getOverlappedResult(Handle h, Overlapped& ov, std::uint32_t* bytesReturned, bool wait) {
    DWORD got = 0;
    const BOOL ok = GetOverlappedResult(h, native(ov), &got, wait ? TRUE : FALSE);
    if (bytesReturned != nullptr) *bytesReturned = got;
    return ok ? 0 : GetLastError();
}

// Every request pending on the handle, whichever thread issued it (CancelIo
// would end only the calling thread's); none pending is no failure.
std::uint32_t Win32Os::cancelIo(Handle h) {
    if (CancelIoEx(h, nullptr)) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_NOT_FOUND ? 0 : error;
}

Handle Win32Os::createEvent(bool manualReset, bool initialState) {
    return CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
}
void Win32Os::setEvent(Handle e) { SetEvent(e); }
void Win32Os::resetEvent(Handle e) { ResetEvent(e); }

std::uint32_t Win32Os::waitForAny(const Handle* handles, std::uint32_t count, std::uint32_t timeoutMs) {
    return WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
}

// The driver receives the handle's 32-bit value.
std::uint32_t Win32Os::eventValue(Handle e) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(e));
}

Handle Win32Os::registerDeviceNotification(const Guid& interfaceGuid, DeviceChangeCallback callback) {
    if (!notifier_->start(notifier_)) return nullptr;
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;  // 32 bytes
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = toWin(interfaceGuid);
    std::lock_guard lock(notifier_->mutex);
    HDEVNOTIFY h = RegisterDeviceNotificationA(notifier_->window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (h == nullptr) return nullptr;
    notifier_->registrations[h] = Notifier::Registration{interfaceGuid, h, std::move(callback)};
    return h;
}

bool Win32Os::unregisterDeviceNotification(Handle registration) {
    std::lock_guard lock(notifier_->mutex);
    if (notifier_->registrations.erase(registration) == 0) return false;
    return UnregisterDeviceNotification(registration) != FALSE;
}

std::string Win32Os::codePageToUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int n = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), n, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), n, w.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}

}  // namespace qel::os
