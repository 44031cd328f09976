// The rig process against clients that misbehave: refused and malformed
// frames, handles of other clients, clients that die mid-request, and many
// threads of one client at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <sys/socket.h>

#include "device/Requests.h"
#include "os/remote/Socket.h"
#include "sim/Requests.h"
#include "sim/simd/tests/ServedRig.h"

namespace qel::sim::test {
namespace {

using os::remote::Kind;
using os::remote::Message;
using os::remote::Op;
using os::remote::ReadResult;

const std::string kControl = "\\\\.\\" + fireWireGuid().registryText();

// A client speaking the protocol by hand.
class RawClient {
public:
    explicit RawClient(const std::string& path) {
        session_ = os::remote::connectSocket(path);
        Message hello = request(Op::Hello);
        hello.code = static_cast<std::uint32_t>(os::remote::Role::Session);
        hello.value = os::remote::kProtocolVersion;
        Message reply;
        if (session_ >= 0 && os::remote::writeMessage(session_, hello) &&
            os::remote::readMessage(session_, Kind::Reply, reply) == ReadResult::Ok)
            token_ = reply.id;
        calls_ = callConnection(path, token_);
    }
    ~RawClient() {
        os::remote::closeSocket(calls_);
        os::remote::closeSocket(session_);
    }
    static Message request(Op op) {
        Message m;
        m.op = op;
        return m;
    }
    static int callConnection(const std::string& path, std::uint64_t token) {
        const int fd = os::remote::connectSocket(path);
        Message hello = request(Op::Hello), reply;
        hello.code = static_cast<std::uint32_t>(os::remote::Role::Calls);
        hello.value = os::remote::kProtocolVersion;
        hello.id = token;
        if (fd < 0 || !os::remote::writeMessage(fd, hello) ||
            os::remote::readMessage(fd, Kind::Reply, reply) != ReadResult::Ok || reply.status != 0) {
            os::remote::closeSocket(fd);
            return -1;
        }
        return fd;
    }
    Message call(Message m) {
        Message reply;
        reply.status = 0xDEAD;
        if (os::remote::writeMessage(calls_, m)) os::remote::readMessage(calls_, Kind::Reply, reply);
        return reply;
    }
    std::uint32_t open(const std::string& path) {
        Message m = request(Op::OpenPath);
        m.text = path;
        return call(m).handle;
    }
    int calls() const { return calls_; }
    int session() const { return session_; }
    std::uint64_t token() const { return token_; }
    // Ends both connections without a word, as a killed process does.
    void die() {
        ::shutdown(calls_, SHUT_RDWR);
        ::shutdown(session_, SHUT_RDWR);
    }

private:
    int session_ = -1;
    int calls_ = -1;
    std::uint64_t token_ = 0;
};

// Polls `done` for up to two seconds.
template <class F>
bool eventually(F done) {
    for (int i = 0; i < 200; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

using SimdServerTest = ServedRig;

TEST_F(SimdServerTest, RefusedAndMalformedFramesEndOnlyTheirConnection) {
    auto good = client();
    ASSERT_TRUE(good->connected());
    {
        // A header announcing more than a frame may hold: refused, nothing read.
        const int fd = os::remote::connectSocket(path);
        const std::uint8_t header[4] = {0, 0, 0, 0x40};
        ASSERT_EQ(::send(fd, header, 4, MSG_NOSIGNAL), 4);
        Message refused;
        ASSERT_EQ(os::remote::readMessage(fd, Kind::Push, refused), ReadResult::Ok);
        EXPECT_EQ(refused.op, Op::Refused);
        EXPECT_EQ(refused.status, os::kErrorInvalidParameter);
        EXPECT_EQ(os::remote::readMessage(fd, Kind::Push, refused), ReadResult::Closed);
        os::remote::closeSocket(fd);
    }
    RawClient raw(path);
    ASSERT_GE(raw.calls(), 0);
    {
        // Garbage in a well-formed frame ends that connection only.
        const std::uint8_t frame[] = {3, 0, 0, 0, 1, 99, 0};
        ASSERT_EQ(::send(raw.calls(), frame, sizeof frame, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof frame));
        Message m;
        EXPECT_EQ(os::remote::readMessage(raw.calls(), Kind::Reply, m), ReadResult::Closed);
    }
    // A calls connection needs a live session's token; a wrong version is not served.
    EXPECT_EQ(RawClient::callConnection(path, raw.token() + 1), -1);
    {
        const int fd = os::remote::connectSocket(path);
        Message hello = RawClient::request(Op::Hello), m;
        hello.code = static_cast<std::uint32_t>(os::remote::Role::Session);
        hello.value = os::remote::kProtocolVersion + 1;
        ASSERT_TRUE(os::remote::writeMessage(fd, hello));
        EXPECT_EQ(os::remote::readMessage(fd, Kind::Reply, m), ReadResult::Closed);
        os::remote::closeSocket(fd);
    }
    // The session of the raw client and the good client are served on.
    const int again = RawClient::callConnection(path, raw.token());
    EXPECT_GE(again, 0);
    os::remote::closeSocket(again);
    std::uint32_t error = 0;
    os::Handle h = good->openPath(kControl, false, error);
    ASSERT_NE(h, nullptr);
    std::uint8_t version[12];
    EXPECT_EQ(good->ioctl(h, QEL_REQ_GET_DRIVER_VERSION, nullptr, 0, version, 12, nullptr), 0u);
    good->closeHandle(h);
}

TEST_F(SimdServerTest, ClientsCannotUseEachOthersHandles) {
    RawClient a(path), b(path);
    const std::uint32_t file = a.open(kControl);
    ASSERT_NE(file, 0u);
    Message io = RawClient::request(Op::Ioctl);
    io.handle = file;
    io.code = QEL_REQ_GET_DRIVER_VERSION;
    io.length = 12;
    EXPECT_EQ(a.call(io).status, 0u);
    EXPECT_EQ(b.call(io).status, os::kErrorInvalidHandle);
    Message close = RawClient::request(Op::CloseHandle);
    close.handle = file;
    EXPECT_EQ(b.call(close).status, os::kErrorInvalidHandle);
    EXPECT_TRUE(rig->isFile(file));
    Message result = RawClient::request(Op::OverlappedResult);
    result.id = 1;
    EXPECT_EQ(b.call(result).status, os::kErrorInvalidParameter);
    // Wrong sizes still fail the way the driver fails them.
    io.length = 11;
    EXPECT_EQ(a.call(io).status, os::kErrorInvalidParameter);
    EXPECT_EQ(a.call(close).status, 0u);
    EXPECT_FALSE(rig->isFile(file));
}

// A client killed while its request waits in the rig: the request is
// cancelled, its files are closed, and the rig serves the others on.
TEST_F(SimdServerTest, ClientDyingMidRequestLeavesTheRigServing) {
    auto other = client();
    ASSERT_TRUE(eventually([&] { return server->clientCount() == 1; }));
    RawClient doomed(path);
    const std::uint32_t device = doomed.open(Rig::fwDevicePath(1));
    ASSERT_NE(device, 0u);
    rig->setDelay(req::kGetDeviceCapabilities, 60000);
    Message ov = RawClient::request(Op::IoctlOverlapped);
    ov.handle = device;
    ov.code = req::kGetDeviceCapabilities;
    ov.length = 4;
    const Message pending = doomed.call(ov);
    ASSERT_EQ(pending.status, os::kErrorIoPending);
    Message wait = RawClient::request(Op::OverlappedResult);
    wait.id = pending.id;
    wait.flag = true;
    ASSERT_TRUE(os::remote::writeMessage(doomed.calls(), wait));  // blocks in the rig
    // A half-written frame on a second connection, then the end.
    const int half = RawClient::callConnection(path, doomed.token());
    const std::uint8_t part[] = {40, 0, 0, 0, 1, 7};
    ASSERT_EQ(::send(half, part, sizeof part, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof part));
    ASSERT_EQ(server->clientCount(), 2u);
    doomed.die();
    os::remote::shutdownSocket(half);
    EXPECT_TRUE(eventually([&] { return server->clientCount() == 1; }));
    EXPECT_TRUE(eventually([&] { return !rig->isFile(device); }));
    os::remote::closeSocket(half);

    rig->setDelay(req::kGetDeviceCapabilities, 0);
    std::uint32_t error = 0;
    os::Handle h = other->openPath(Rig::fwDevicePath(1), false, error);
    ASSERT_NE(h, nullptr);
    std::uint8_t caps[4] = {};
    std::uint32_t got = 0;
    EXPECT_EQ(other->ioctl(h, req::kGetDeviceCapabilities, nullptr, 0, caps, 4, &got), 0u);
    EXPECT_EQ(got, 4u);
    other->closeHandle(h);
}

// A thread waiting for a long request holds up no other thread of the same
// client; cancelling ends the wait.
TEST_F(SimdServerTest, ThreadsOfOneClientDoNotWaitForEachOther) {
    auto a = client();
    std::uint32_t error = 0;
    os::Handle device = a->openPath(Rig::fwDevicePath(2), true, error);
    ASSERT_NE(device, nullptr);
    rig->setDelay(req::kGetDeviceCapabilities, 60000);
    os::Overlapped ov;
    ov.event = a->createEvent(false, false);
    std::uint8_t caps[4] = {};
    ASSERT_EQ(a->ioctlOverlapped(device, req::kGetDeviceCapabilities, nullptr, 0, caps, 4, ov), os::kErrorIoPending);
    std::uint32_t bytes = 0;
    EXPECT_EQ(a->getOverlappedResult(device, ov, &bytes, false), os::kErrorIoIncomplete);
    auto waiter = std::async(std::launch::async, [&] {
        std::uint32_t n = 0;
        return a->getOverlappedResult(device, ov, &n, /*wait=*/true);
    });
    // Four threads, many requests each, while the waiter blocks.
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            std::uint32_t e = 0;
            os::Handle h = a->openPath(kControl, false, e);
            std::uint8_t list[260];
            for (int i = 0; i < 50; ++i) {
                std::uint32_t got = 0;
                if (a->ioctl(h, QEL_REQ_GET_DEVICE_LIST, nullptr, 0, list, 260, &got) == 0 && got == 260 &&
                    os::getLe32(list, 0) == 2)
                    ++ok;
            }
            a->closeHandle(h);
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), 200);
    EXPECT_NE(waiter.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);
    EXPECT_EQ(a->cancelIo(device), 0u);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), os::kErrorOperationAborted);

    // A short delay: the request completes in the rig, its event is
    // signalled through the rig process, and its output arrives.
    rig->setDelay(req::kGetDeviceCapabilities, 20);
    ASSERT_EQ(a->ioctlOverlapped(device, req::kGetDeviceCapabilities, nullptr, 0, caps, 4, ov), os::kErrorIoPending);
    ASSERT_EQ(a->waitForOne(ov.event, 2000), os::kWaitObject0);
    EXPECT_EQ(a->getOverlappedResult(device, ov, &bytes, false), 0u);
    EXPECT_EQ(bytes, 4u);
    EXPECT_EQ(os::getLe32(caps, 0), 0x8u);
    a->closeHandle(ov.event);
    a->closeHandle(device);
}

}  // namespace
}  // namespace qel::sim::test
