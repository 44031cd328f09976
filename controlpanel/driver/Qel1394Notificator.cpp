#include "controlpanel/driver/Qel1394Notificator.h"

#include <system_error>

#include "device/Requests.h"

namespace qel::cpl {

CQel1394Notificator::Shared::Shared(os::IOs& platform) : os(platform) {
    stopEvent = os.createEvent(/*manualReset=*/false, /*initialState=*/false);
    driverEvent = os.createEvent(false, false);
}

CQel1394Notificator::Shared::~Shared() {
    if (stopEvent != nullptr) os.closeHandle(stopEvent);
    if (driverEvent != nullptr) os.closeHandle(driverEvent);
}

CQel1394Notificator::CQel1394Notificator(os::IOs& os, const os::Guid& driverGuid, std::chrono::milliseconds stopLimit)
    : CQel1394Driver(os), driverGuid_(driverGuid), stopLimit_(stopLimit), shared_(std::make_shared<Shared>(os)) {}

CQel1394Notificator::~CQel1394Notificator() {
    stop();
    std::vector<Abandoned> left;
    {
        std::lock_guard lock(lock_);
        reapAbandoned();
        left.swap(abandoned_);
    }
    // Abandoned workers get the stop limit, all together, to end and are
    // joined; one still stuck after it is not waited for: it ends by itself
    // once it returns and sees its stop.
    for (Abandoned& a : left) {
        {
            std::lock_guard l(a.state->mutex);
            a.state->stopRequested = true;
        }
        if (shared_->stopEvent != nullptr) os_.setEvent(shared_->stopEvent);
    }
    const auto until = std::chrono::steady_clock::now() + stopLimit_;
    for (Abandoned& a : left) {
        bool ended = false;
        {
            std::unique_lock l(a.state->mutex);
            ended = a.state->ended.wait_until(l, until, [&a] { return a.state->done; });
        }
        if (ended)
            a.thread.join();
        else
            a.thread.detach();
    }
}

void CQel1394Notificator::setTarget(IWindow* target, std::uint32_t message, std::uintptr_t wParam,
                                    std::uintptr_t lParam) {
    std::lock_guard lock(shared_->targetLock);
    shared_->target = target;
    shared_->message = message;
    shared_->wParam = wParam;
    shared_->lParam = lParam;
}

bool CQel1394Notificator::hasWorker() const {
    std::lock_guard lock(lock_);
    return worker_.joinable();
}

bool CQel1394Notificator::stopRequested(WorkerState& state) {
    std::lock_guard lock(state.mutex);
    return state.stopRequested;
}

void CQel1394Notificator::reapAbandoned() {
    for (auto it = abandoned_.begin(); it != abandoned_.end();) {
        bool done = false;
        {
            std::lock_guard l(it->state->mutex);
            done = it->state->done;
        }
        if (done) {
            it->thread.join();
            it = abandoned_.erase(it);
        } else {
            ++it;
        }
    }
}

Status CQel1394Notificator::start() {
    std::lock_guard lock(lock_);
    if (worker_.joinable()) return QEL_OK;
    if (shared_->stopEvent == nullptr || shared_->driverEvent == nullptr) return QEL_E_NO_EVENT;
    reapAbandoned();
    os_.resetEvent(shared_->stopEvent);
    os_.resetEvent(shared_->driverEvent);

    Status status = openDriver(driverGuid_);
    if (status != QEL_OK) return status;
    std::uint8_t in[4];
    os::putLe32(in, 0, os_.eventValue(shared_->driverEvent));
    status = request(QEL_REQ_REGISTER_EVENT, in, sizeof in, nullptr, 0);
    if (status != QEL_OK) {
        closeDriver();
        return status;
    }
    auto state = std::make_shared<WorkerState>();
    try {
        worker_ = std::thread([shared = shared_, state] { run(*shared, *state); });
    } catch (const std::system_error&) {
        closeDriver();
        return QEL_E_FAILED;
    }
    workerState_ = std::move(state);
    return QEL_OK;
}

void CQel1394Notificator::run(Shared& shared, WorkerState& state) {
    const os::Handle events[2] = {shared.stopEvent, shared.driverEvent};
    while (!stopRequested(state)) {
        const std::uint32_t r = shared.os.waitForAny(events, 2, os::kInfinite);
        if (r == os::kWaitObject0) break;
        if (r == os::kWaitObject0 + 1) {
            std::lock_guard lock(shared.targetLock);
            if (shared.target != nullptr) shared.target->postMessage(shared.message, shared.wParam, shared.lParam);
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    {
        std::lock_guard lock(state.mutex);
        state.done = true;
    }
    state.ended.notify_all();
}

Status CQel1394Notificator::stop() {
    std::thread worker;
    std::shared_ptr<WorkerState> state;
    {
        std::lock_guard lock(lock_);
        worker = std::move(worker_);
        state = std::move(workerState_);
    }
    Status result = QEL_OK;
    if (worker.joinable()) {
        {
            std::lock_guard l(state->mutex);
            state->stopRequested = true;
        }
        os_.setEvent(shared_->stopEvent);
        bool ended = false;
        {
            std::unique_lock l(state->mutex);
            ended = state->ended.wait_for(l, stopLimit_, [&] { return state->done; });
        }
        if (ended) {
            worker.join();
        } else {
            std::lock_guard lock(lock_);
            abandoned_.push_back(Abandoned{std::move(worker), std::move(state)});
            result = QEL_E_FAILED;
        }
    }
    closeDriver();
    return result;
}

}  // namespace qel::cpl
