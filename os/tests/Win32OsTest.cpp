// The Windows platform calls that need no driver: events, an overlapped
// request on a named pipe, the hidden notification window, the code page,
// enumeration of an absent interface class and opening an absent control path.
#include <gtest/gtest.h>

#include <windows.h>
// windows.h first
#include <dbt.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "os/CodePage.h"
#include "os/win32/Win32Os.h"

namespace qel::os {
namespace {

// An interface class no driver registers.
const Guid kAbsent = *Guid::parse("{5F0C8E71-93A2-4B6D-8E17-2C4A9B3D6E01}");

TEST(Win32OsEvents, AutoResetWakesOneWaitAndManualResetStaysSet) {
    Win32Os os;
    Handle autoReset = os.createEvent(false, false);
    Handle manual = os.createEvent(true, false);
    Handle initiallySet = os.createEvent(true, true);
    ASSERT_NE(autoReset, nullptr);
    ASSERT_NE(manual, nullptr);
    ASSERT_NE(initiallySet, nullptr);

    EXPECT_EQ(os.waitForOne(autoReset, 0), kWaitTimeout);
    os.setEvent(autoReset);
    EXPECT_EQ(os.waitForOne(autoReset, 0), kWaitObject0);
    EXPECT_EQ(os.waitForOne(autoReset, 0), kWaitTimeout);  // the wait took it

    os.setEvent(manual);
    EXPECT_EQ(os.waitForOne(manual, 0), kWaitObject0);
    EXPECT_EQ(os.waitForOne(manual, 0), kWaitObject0);
    os.resetEvent(manual);
    EXPECT_EQ(os.waitForOne(manual, 0), kWaitTimeout);

    EXPECT_EQ(os.waitForOne(initiallySet, 0), kWaitObject0);
    for (Handle h : {autoReset, manual, initiallySet}) os.closeHandle(h);
}

TEST(Win32OsEvents, WaitForAnyGivesTheFirstSignalledAndKeepsItsTimeLimit) {
    Win32Os os;
    Handle e[3] = {os.createEvent(true, false), os.createEvent(true, false), os.createEvent(false, false)};
    EXPECT_EQ(os.waitForAny(e, 3, 0), kWaitTimeout);
    EXPECT_EQ(os.waitForAny(e, 3, 30), kWaitTimeout);
    os.setEvent(e[2]);
    os.setEvent(e[1]);
    EXPECT_EQ(os.waitForAny(e, 3, 1000), kWaitObject0 + 1);  // the lowest index of the signalled
    os.resetEvent(e[1]);
    EXPECT_EQ(os.waitForAny(e, 3, 1000), kWaitObject0 + 2);
    EXPECT_EQ(os.waitForAny(e, 3, 0), kWaitTimeout);  // auto reset: taken
    os.setEvent(e[0]);
    os.setEvent(e[1]);
    EXPECT_EQ(os.waitForAny(e, 3, kInfinite), kWaitObject0);
    for (Handle h : e) os.closeHandle(h);
}

TEST(Win32OsEvents, TheValueInABufferIsTheEventTheDriverSignals) {
    Win32Os os;
    Handle e = os.createEvent(false, false);
    const std::uint32_t value = os.eventValue(e);
    EXPECT_NE(value, 0u);
    // As a driver takes it out of a request buffer: four little-endian bytes.
    unsigned char buffer[8] = {};
    std::memcpy(buffer + 4, &value, 4);
    std::uint32_t travelled = 0;
    std::memcpy(&travelled, buffer + 4, 4);
    ASSERT_TRUE(SetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(travelled))));
    EXPECT_EQ(os.waitForOne(e, 1000), kWaitObject0);
    Handle other = os.createEvent(false, false);
    EXPECT_NE(os.eventValue(other), value);
    os.closeHandle(other);
    os.closeHandle(e);
}

// A pipe instance, overlapped; FSCTL_PIPE_LISTEN pends until a client opens it.
struct Pipe {
    explicit Pipe(const std::string& n) : name("\\\\.\\pipe\\" + n) {
        handle = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_BYTE | PIPE_WAIT, 1, 512, 512, 0, nullptr);
    }
    ~Pipe() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    std::string name;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

constexpr std::uint32_t kPipeListen = 0x00110008;  // FSCTL_PIPE_LISTEN

TEST(Win32OsOverlapped, ARequestOnANamedPipeIsWaitedForAndCancelled) {
    Win32Os os;
    const std::string unique = "qel-win32os-" + std::to_string(GetCurrentProcessId());
    {
        Pipe pipe(unique + "-wait");
        ASSERT_NE(pipe.handle, INVALID_HANDLE_VALUE) << GetLastError();
        Overlapped ov;
        ov.event = os.createEvent(true, false);
        ASSERT_EQ(os.ioctlOverlapped(pipe.handle, kPipeListen, nullptr, 0, nullptr, 0, ov), kErrorIoPending);
        std::uint32_t got = 99;
        EXPECT_EQ(os.getOverlappedResult(pipe.handle, ov, &got, false), kErrorIoIncomplete);
        EXPECT_EQ(os.waitForOne(ov.event, 0), kWaitTimeout);

        std::uint32_t error = 0;
        Handle client = os.openPath(pipe.name, true, error);
        ASSERT_NE(client, nullptr) << error;
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(os.waitForOne(ov.event, 5000), kWaitObject0);
        EXPECT_EQ(os.getOverlappedResult(pipe.handle, ov, &got, true), kErrorSuccess);
        EXPECT_EQ(got, 0u);
        os.closeHandle(client);
        os.closeHandle(ov.event);
    }
    {
        Pipe pipe(unique + "-cancel");
        ASSERT_NE(pipe.handle, INVALID_HANDLE_VALUE) << GetLastError();
        Overlapped ov;
        ov.event = os.createEvent(true, false);
        ASSERT_EQ(os.ioctlOverlapped(pipe.handle, kPipeListen, nullptr, 0, nullptr, 0, ov), kErrorIoPending);
        EXPECT_EQ(os.cancelIo(pipe.handle), kErrorSuccess);
        std::uint32_t got = 99;
        EXPECT_EQ(os.getOverlappedResult(pipe.handle, ov, &got, true), kErrorOperationAborted);
        EXPECT_EQ(os.waitForOne(ov.event, 0), kWaitObject0);
        os.closeHandle(ov.event);
    }
}

// The request pends on one thread and is cancelled from another, as a close
// on the window thread cancels the fetch the event thread waits in. Nothing
// pending is no failure.
TEST(Win32OsOverlapped, ACancelEndsARequestAnotherThreadIssued) {
    Win32Os os;
    Pipe pipe("qel-win32os-" + std::to_string(GetCurrentProcessId()) + "-cross");
    ASSERT_NE(pipe.handle, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(os.cancelIo(pipe.handle), kErrorSuccess);
    Overlapped ov;
    ov.event = os.createEvent(true, false);
    Handle issued = os.createEvent(true, false);
    std::uint32_t issue = 0, waited = 0, result = 0;
    std::thread requester([&] {
        issue = os.ioctlOverlapped(pipe.handle, kPipeListen, nullptr, 0, nullptr, 0, ov);
        os.setEvent(issued);
        waited = os.waitForOne(ov.event, 10000);
        std::uint32_t got = 0;
        result = os.getOverlappedResult(pipe.handle, ov, &got, false);
    });
    ASSERT_EQ(os.waitForOne(issued, 5000), kWaitObject0);
    EXPECT_EQ(os.cancelIo(pipe.handle), kErrorSuccess);
    requester.join();
    EXPECT_EQ(issue, kErrorIoPending);
    EXPECT_EQ(waited, kWaitObject0);
    EXPECT_EQ(result, kErrorOperationAborted);
    os.closeHandle(issued);
    os.closeHandle(ov.event);
}

HWND hiddenWindow() { return FindWindowA("PnPNotificatorWndCls", "PnPNotificator_HiddenWindow"); }

// Wine without a display makes no windows at all.
bool windowsCanBeMade() {
    HWND w = CreateWindowA("STATIC", "probe", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (w == nullptr) return false;
    DestroyWindow(w);
    return true;
}

#define REQUIRE_WINDOWS()                                                                          \
    if (!windowsCanBeMade()) GTEST_SKIP() << "no window can be made here (Wine without a display)"

TEST(Win32OsNotification, WithoutAWindowTheRegistrationIsRefused) {
    Win32Os os(Win32Os::Options{[] { return false; }, 10000});
    EXPECT_EQ(os.registerDeviceNotification(kAbsent, [](std::uint32_t, const std::string&) {}), nullptr);
    EXPECT_EQ(hiddenWindow(), nullptr);
}

TEST(Win32OsNotification, AfterOneFailedCreationTheWindowIsMadeAgain) {
    REQUIRE_WINDOWS();
    int asked = 0;
    Win32Os os(Win32Os::Options{[&asked] { return ++asked > 1; }, 10000});
    EXPECT_EQ(os.registerDeviceNotification(kAbsent, [](std::uint32_t, const std::string&) {}), nullptr);
    EXPECT_EQ(hiddenWindow(), nullptr);
    Handle r = os.registerDeviceNotification(kAbsent, [](std::uint32_t, const std::string&) {});
    EXPECT_NE(r, nullptr);
    EXPECT_NE(hiddenWindow(), nullptr);
    EXPECT_EQ(asked, 2);
    // Made once: a third registration takes the same window.
    EXPECT_NE(os.registerDeviceNotification(kAbsent, [](std::uint32_t, const std::string&) {}), nullptr);
    EXPECT_EQ(asked, 2);
}

TEST(Win32OsNotification, TheStopKeepsItsTimeLimitWhenACallbackDoesNotReturn) {
    REQUIRE_WINDOWS();
    HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DEV_BROADCAST_DEVICEINTERFACE_A arrival{};
    arrival.dbcc_size = sizeof arrival;
    arrival.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::memcpy(&arrival.dbcc_classguid, kAbsent.bytes().data(), 16);
    std::thread sender;
    {
        Win32Os os(Win32Os::Options{{}, 200});
        Handle r = os.registerDeviceNotification(kAbsent, [&](std::uint32_t code, const std::string&) {
            if (code != kDeviceArrival) return;
            SetEvent(entered);
            WaitForSingleObject(release, INFINITE);  // a callback stuck in its work
        });
        ASSERT_NE(r, nullptr);
        HWND window = hiddenWindow();
        ASSERT_NE(window, nullptr);
        // As the system broadcasts it: sent, so the sender waits for the callback.
        sender = std::thread([window, &arrival] {
            SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival));
        });
        ASSERT_EQ(WaitForSingleObject(entered, 5000), WAIT_OBJECT_0);
        // The platform ends here while its window's thread is held in the callback.
    }
    // Released after the stop returned: the thread ends alone, on a notifier it still holds.
    SetEvent(release);
    if (sender.joinable()) sender.join();
    for (int i = 0; i < 500 && hiddenWindow() != nullptr; ++i) Sleep(10);
    EXPECT_EQ(hiddenWindow(), nullptr);
    CloseHandle(entered);
    CloseHandle(release);
}

TEST(Win32OsNotification, TheHiddenWindowStartsWithTheFirstRegistrationAndStopsWithThePlatform) {
    REQUIRE_WINDOWS();
    EXPECT_EQ(hiddenWindow(), nullptr);
    {
        Win32Os os;
        EXPECT_EQ(hiddenWindow(), nullptr);  // not before it is needed
        Handle r = os.registerDeviceNotification(kAbsent, [](std::uint32_t, const std::string&) {});
        const DWORD why = GetLastError();
        EXPECT_NE(hiddenWindow(), nullptr);
        ASSERT_NE(r, nullptr) << why;
        Handle second = os.registerDeviceNotification(kAbsent, [](std::uint32_t, const std::string&) {});
        ASSERT_NE(second, nullptr);
        EXPECT_TRUE(os.unregisterDeviceNotification(r));
        EXPECT_FALSE(os.unregisterDeviceNotification(r));  // once
        // `second` is left to the platform's stop.
    }
    EXPECT_EQ(hiddenWindow(), nullptr);
}

TEST(Win32OsCodePage, Windows1252TextMatchesTheInHouseTable) {
    if (GetACP() != 1252) GTEST_SKIP() << "the system code page is " << GetACP() << ", not 1252";
    Win32Os os;
    std::string all;
    for (int c = 1; c < 256; ++c) {
        // Bytes that Windows-1252 leaves undefined are mapped differently by systems.
        if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) continue;
        const std::string one(1, static_cast<char>(c));
        EXPECT_EQ(os.codePageToUtf8(one), windows1252ToUtf8(one)) << "byte 0x" << std::hex << c;
        all += one;
    }
    EXPECT_EQ(os.codePageToUtf8(all), windows1252ToUtf8(all));
    EXPECT_EQ(os.codePageToUtf8("Caf\xe9 \x80 \x93q\x94"), "Caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d");
    EXPECT_EQ(os.codePageToUtf8(""), "");
}

TEST(Win32OsDevices, AnAbsentInterfaceClassEnumeratesEmptyAndLeaksNothing) {
    Win32Os os;
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    for (int i = 0; i < 50; ++i) {
        DevInfoSet set = os.getClassDevs(kAbsent);
        ASSERT_NE(set, nullptr);
        std::string path = "untouched";
        EXPECT_EQ(os.enumInterface(set, kAbsent, 0, path), kErrorNoMoreItems);
        EXPECT_EQ(path, "untouched");
        os.destroyDevInfoSet(set);
    }
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_LE(after, before + 2);  // not one per enumeration
}

TEST(Win32OsDevices, AnAbsentControlPathFailsAsTheDeviceLayerExpects) {
    Win32Os os;
    for (bool overlapped : {false, true}) {
        std::uint32_t error = 0;
        EXPECT_EQ(os.openPath("\\\\.\\" + kAbsent.registryText(), overlapped, error), nullptr);
        EXPECT_EQ(error, kErrorFileNotFound);
    }
}

}  // namespace
}  // namespace qel::os
