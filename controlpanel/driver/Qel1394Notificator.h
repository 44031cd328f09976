#pragma once
// Turns the driver's event into a message for the control panel: a worker
// thread waits on an event registered with the driver on the notificator's
// own control handle and posts the stored message to the target window. The worker
// only waits and posts; the events themselves are fetched by the receiver on
// its own thread (cpl::CDrv::drainEvents).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/Qel1394Driver.h"
#include "device/Window.h"

namespace qel::cpl {

class CQel1394Notificator : public CQel1394Driver {
public:
    static constexpr std::chrono::milliseconds kStopLimit{10000};

    CQel1394Notificator(os::IOs& os, const os::Guid& driverGuid, std::chrono::milliseconds stopLimit = kStopLimit);
    // Stops the worker and gives abandoned ones the stop limit to end; one
    // still stuck after it runs on alone on the events and the target slot
    // they share, which go with the last of them. The platform outlives them.
    ~CQel1394Notificator() override;

    // The receiver of the message; a null target silences the worker. Once
    // this returns no post to the previous target is in progress.
    void setTarget(IWindow* target, std::uint32_t message, std::uintptr_t wParam, std::uintptr_t lParam);

    // Opens the own control handle, registers the driver event and starts the
    // worker. While a worker runs it does nothing and returns 0.
    Status start();
    // Ends the worker (QEL_E_FAILED when it does not end within the limit; it
    // is then abandoned) and in every case closes the control handle.
    Status stop();
    bool hasWorker() const;

private:
    // What a worker touches, shared with it: it outlives the notificator
    // for as long as an abandoned worker still runs.
    struct Shared {
        explicit Shared(os::IOs& os);
        ~Shared();
        os::IOs& os;
        // Auto-reset.
        os::Handle stopEvent = nullptr;
        os::Handle driverEvent = nullptr;
        // The target has its own lock, so a slow post never holds up the handle.
        std::mutex targetLock;
        IWindow* target = nullptr;
        std::uint32_t message = 0;
        std::uintptr_t wParam = 0;
        std::uintptr_t lParam = 0;
    };
    struct WorkerState {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        bool stopRequested = false;
    };
    struct Abandoned {
        std::thread thread;
        std::shared_ptr<WorkerState> state;
    };
    static void run(Shared& shared, WorkerState& state);
    void reapAbandoned();
    static bool stopRequested(WorkerState& state);

    os::Guid driverGuid_;
    std::chrono::milliseconds stopLimit_;
    const std::shared_ptr<Shared> shared_;

    // Under the driver lock.
    std::thread worker_;
    std::shared_ptr<WorkerState> workerState_;
    std::vector<Abandoned> abandoned_;
};

}  // namespace qel::cpl
