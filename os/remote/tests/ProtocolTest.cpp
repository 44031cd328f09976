#include "os/remote/Protocol.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include "os/remote/Socket.h"

namespace qel::os::remote {
namespace {

Message sample(Kind kind, Op op) {
    Message m;
    m.kind = kind;
    m.op = op;
    m.seq = 0x01020304;
    m.status = 997;
    m.handle = 0x108;
    m.code = 0x00222004;
    m.length = 432;
    m.value = 0x10C;
    m.id = 0x1122334455667788ull;
    m.flag = true;
    m.guid = *Guid::parse("{A098F460-2CC2-4072-A32A-36CCD74581A4}");
    m.text = "\\\\?\\1394#kavro&qel#00000001";
    m.text2 = "qelctl: sim: unknown device";
    m.data = {0, 1, 2, 0xFF, 0x80};
    m.args = {"knob", "1", "2", "0", "-12", ""};
    return m;
}

// Every operation of every kind survives a trip through its bytes with the
// fields it carries; the others stay at their defaults.
TEST(RemoteProtocol, RoundTripsEveryMessage) {
    const std::pair<Kind, std::vector<Op>> all[] = {
        {Kind::Request,
         {Op::Hello, Op::GetClassDevs, Op::DestroyDevInfoSet, Op::EnumInterface, Op::OpenPath, Op::CloseHandle,
          Op::Ioctl, Op::IoctlOverlapped, Op::OverlappedResult, Op::CancelIo, Op::EventValue, Op::CloseEvent,
          Op::RegisterNotification, Op::UnregisterNotification, Op::RigCommand}},
        {Kind::Reply,
         {Op::Hello, Op::GetClassDevs, Op::DestroyDevInfoSet, Op::EnumInterface, Op::OpenPath, Op::CloseHandle,
          Op::Ioctl, Op::IoctlOverlapped, Op::OverlappedResult, Op::CancelIo, Op::EventValue, Op::CloseEvent,
          Op::RegisterNotification, Op::UnregisterNotification, Op::RigCommand}},
        {Kind::Push, {Op::EventSignal, Op::DeviceChange, Op::Refused}},
    };
    for (const auto& [kind, ops] : all) {
        for (const Op op : ops) {
            SCOPED_TRACE(static_cast<int>(op));
            const Message m = sample(kind, op);
            const auto bytes = encode(m);
            ASSERT_FALSE(bytes.empty());
            const auto d = decode(bytes, kind);
            ASSERT_TRUE(d.has_value());
            EXPECT_EQ(d->op, op);
            EXPECT_EQ(d->seq, m.seq);
            // Whatever travelled came back equal, and re-encodes to the same bytes.
            EXPECT_EQ(encode(*d), bytes);
            if (d->status != 0) {
                EXPECT_EQ(d->status, m.status);
            }
            if (d->handle != 0) {
                EXPECT_EQ(d->handle, m.handle);
            }
            if (!d->data.empty()) {
                EXPECT_EQ(d->data, m.data);
            }
            if (!d->args.empty()) {
                EXPECT_EQ(d->args, m.args);
            }
            if (!d->text.empty()) {
                EXPECT_EQ(d->text, m.text);
            }
            if (!d->guid.isNull()) {
                EXPECT_EQ(d->guid, m.guid);
            }
            // Taken for another kind it is refused.
            for (const Kind other : {Kind::Request, Kind::Reply, Kind::Push})
                if (other != kind) {
                    EXPECT_FALSE(decode(bytes, other).has_value());
                }
        }
    }
    // The fields of a request travel byte by byte, little-endian.
    Message io = sample(Kind::Request, Op::Ioctl);
    io.data = {0xAA};
    const std::vector<std::uint8_t> expected = {1, 7, 4, 3, 2, 1, 0x08, 0x01, 0, 0, 0x04, 0x20, 0x22, 0,
                                                0xB0, 0x01, 0, 0, 1, 0, 0, 0, 0xAA};
    EXPECT_EQ(encode(io), expected);
}

TEST(RemoteProtocol, RefusesMalformedMessages) {
    const auto good = encode(sample(Kind::Request, Op::Ioctl));
    ASSERT_TRUE(decode(good, Kind::Request).has_value());
    // Every cut of a good message is refused, and so are trailing bytes.
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(decode(std::span(good).first(n), Kind::Request).has_value()) << n;
    auto longer = good;
    longer.push_back(0);
    EXPECT_FALSE(decode(longer, Kind::Request).has_value());
    // An unknown operation, a flag other than 0 or 1, a data length past the end.
    auto unknown = good;
    unknown[1] = 0x3F;
    EXPECT_FALSE(decode(unknown, Kind::Request).has_value());
    auto flag = encode(sample(Kind::Request, Op::OpenPath));
    flag[6] = 2;
    EXPECT_FALSE(decode(flag, Kind::Request).has_value());
    auto data = good;
    data[18] = 0xFF;  // the data length word
    EXPECT_FALSE(decode(data, Kind::Request).has_value());
    // An output buffer above the limit is refused before anyone allocates it.
    Message big = sample(Kind::Request, Op::Ioctl);
    big.length = static_cast<std::uint32_t>(kMaxBuffer + 1);
    EXPECT_FALSE(decode(encode(big), Kind::Request).has_value());
    // Too many words, a word above the limit, data above the limit: not encoded.
    Message words = sample(Kind::Request, Op::RigCommand);
    words.args.assign(kMaxArgs + 1, "x");
    EXPECT_TRUE(encode(words).empty());
    words.args = {std::string(kMaxText + 1, 'x')};
    EXPECT_TRUE(encode(words).empty());
    Message huge = sample(Kind::Reply, Op::Ioctl);
    huge.data.assign(kMaxBuffer + 1, 0);
    EXPECT_TRUE(encode(huge).empty());
}

TEST(RemoteProtocol, FramesAreSplitAndOversizedHeadersRefused) {
    const auto a = encodeFrame(sample(Kind::Push, Op::EventSignal));
    const auto b = encodeFrame(sample(Kind::Push, Op::DeviceChange));
    std::vector<std::uint8_t> stream(a);
    stream.insert(stream.end(), b.begin(), b.end());
    bool refused = true;
    auto frames = splitFrames(stream, &refused);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FALSE(refused);
    EXPECT_EQ(decode(frames[1], Kind::Push)->text, sample(Kind::Push, Op::DeviceChange).text);
    // An incomplete frame waits; it is not refused.
    frames = splitFrames(std::span(stream).first(stream.size() - 1), &refused);
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_FALSE(refused);
    // A header above the maximum (or zero) is refused.
    for (const std::uint32_t n : {static_cast<std::uint32_t>(kMaxFrame + 1), 0xFFFFFFFFu, 0u}) {
        std::vector<std::uint8_t> bad(a);
        for (int i = 0; i < 4; ++i) bad.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
        frames = splitFrames(bad, &refused);
        EXPECT_EQ(frames.size(), 1u);
        EXPECT_TRUE(refused);
    }
    const std::uint8_t max[4] = {0, 0, 0x10, 0};  // exactly kMaxFrame
    EXPECT_EQ(frameLength(std::span<const std::uint8_t, 4>(max, 4)), kMaxFrame);
}

// Over a socket pair: a refused header ends the read at once, without the
// announced megabytes ever being read or allocated.
TEST(RemoteProtocol, SocketReadsRefuseOversizedFrames) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    Message sent = sample(Kind::Request, Op::RigCommand);
    ASSERT_TRUE(writeMessage(fds[0], sent));
    Message got;
    ASSERT_EQ(readMessage(fds[1], Kind::Request, got), ReadResult::Ok);
    EXPECT_EQ(got.args, sent.args);
    const std::uint8_t header[4] = {0xFF, 0xFF, 0xFF, 0x7F};
    ASSERT_EQ(::send(fds[0], header, 4, 0), 4);
    EXPECT_EQ(readMessage(fds[1], Kind::Request, got), ReadResult::Refused);
    // A well-framed message of the wrong kind is malformed, an ended stream closed.
    ASSERT_TRUE(writeMessage(fds[0], sample(Kind::Reply, Op::Ioctl)));
    EXPECT_EQ(readMessage(fds[1], Kind::Request, got), ReadResult::Malformed);
    ::close(fds[0]);
    EXPECT_EQ(readMessage(fds[1], Kind::Request, got), ReadResult::Closed);
    ::close(fds[1]);
}

}  // namespace
}  // namespace qel::os::remote
