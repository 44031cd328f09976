#include "os/remote/Protocol.h"

namespace qel::os::remote {

namespace {

// The fields of a message, in the order they travel.
enum Field : std::uint32_t {
    fStatus = 1u << 0,
    fHandle = 1u << 1,
    fCode = 1u << 2,
    fLength = 1u << 3,
    fValue = 1u << 4,
    fId = 1u << 5,
    fFlag = 1u << 6,
    fGuid = 1u << 7,
    fText = 1u << 8,
    fText2 = 1u << 9,
    fData = 1u << 10,
    fArgs = 1u << 11,
};

// Which fields a message of this kind and operation carries; 0 for none that exists.
std::uint32_t fieldsOf(Kind kind, Op op) {
    if (kind == Kind::Request) {
        switch (op) {
        case Op::Hello: return fCode | fValue | fId;
        case Op::GetClassDevs: return fGuid;
        case Op::DestroyDevInfoSet: return fHandle;
        case Op::EnumInterface: return fHandle | fCode | fGuid;
        case Op::OpenPath: return fFlag | fText;
        case Op::CloseHandle: return fHandle;
        case Op::Ioctl: return fHandle | fCode | fLength | fData;
        case Op::IoctlOverlapped: return fHandle | fCode | fLength | fValue | fData;
        case Op::OverlappedResult: return fId | fFlag;
        case Op::CancelIo: return fHandle;
        case Op::EventValue: return fHandle;
        case Op::CloseEvent: return fHandle;
        case Op::RegisterNotification: return fHandle | fGuid;
        case Op::UnregisterNotification: return fHandle;
        case Op::RigCommand: return fArgs;
        default: return 0;
        }
    }
    if (kind == Kind::Reply) {
        switch (op) {
        case Op::Hello: return fStatus | fValue | fId;
        case Op::GetClassDevs: return fStatus | fHandle;
        case Op::DestroyDevInfoSet: return fStatus;
        case Op::EnumInterface: return fStatus | fText;
        case Op::OpenPath: return fStatus | fHandle;
        case Op::CloseHandle: return fStatus;
        case Op::Ioctl: return fStatus | fLength | fData;
        case Op::IoctlOverlapped: return fStatus | fLength | fValue | fId | fFlag | fData;
        case Op::OverlappedResult: return fStatus | fLength | fData;
        case Op::CancelIo: return fStatus;
        case Op::EventValue: return fStatus | fValue;
        case Op::CloseEvent: return fStatus;
        case Op::RegisterNotification: return fStatus | fHandle;
        case Op::UnregisterNotification: return fStatus;
        case Op::RigCommand: return fStatus | fText | fText2;
        default: return 0;
        }
    }
    if (kind == Kind::Push) {
        switch (op) {
        case Op::EventSignal: return fHandle | fId;
        case Op::DeviceChange: return fHandle | fCode | fText;
        case Op::Refused: return fStatus;
        default: return 0;
        }
    }
    return 0;
}

class Writer {
public:
    void u8(std::uint8_t v) { b_.push_back(v); }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) b_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    bool bytes(const void* p, std::size_t n, std::size_t max) {
        if (n > max) return false;
        u32(static_cast<std::uint32_t>(n));
        const auto* q = static_cast<const std::uint8_t*>(p);
        b_.insert(b_.end(), q, q + n);
        return true;
    }
    std::vector<std::uint8_t>& out() { return b_; }

private:
    std::vector<std::uint8_t> b_;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> b) : b_(b) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return pos_ == b_.size(); }
    std::uint8_t u8() {
        if (!need(1)) return 0;
        return b_[pos_++];
    }
    std::uint32_t u32() {
        if (!need(4)) return 0;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= std::uint32_t{b_[pos_ + i]} << (8 * i);
        pos_ += 4;
        return v;
    }
    std::uint64_t u64() {
        const std::uint64_t lo = u32();
        const std::uint64_t hi = u32();
        return lo | hi << 32;
    }
    // A length word and that many bytes, at most `max`.
    std::span<const std::uint8_t> bytes(std::size_t max) {
        const std::uint32_t n = u32();
        if (!ok_ || n > max || !need(n)) {
            ok_ = false;
            return {};
        }
        const auto s = b_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    std::string text(std::size_t max) {
        const auto s = bytes(max);
        return std::string(s.begin(), s.end());
    }

private:
    bool need(std::size_t n) {
        if (!ok_ || b_.size() - pos_ < n) ok_ = false;
        return ok_;
    }
    std::span<const std::uint8_t> b_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

std::size_t maxTextOf(const Message& m) {
    return m.kind == Kind::Reply && m.op == Op::RigCommand ? kMaxOutput : kMaxText;
}

}  // namespace

std::vector<std::uint8_t> encode(const Message& m) {
    const std::uint32_t fields = fieldsOf(m.kind, m.op);
    if (fields == 0) return {};
    Writer w;
    w.u8(static_cast<std::uint8_t>(m.kind));
    w.u8(static_cast<std::uint8_t>(m.op));
    w.u32(m.seq);
    bool ok = true;
    if (fields & fStatus) w.u32(m.status);
    if (fields & fHandle) w.u32(m.handle);
    if (fields & fCode) w.u32(m.code);
    if (fields & fLength) w.u32(m.length);
    if (fields & fValue) w.u32(m.value);
    if (fields & fId) w.u64(m.id);
    if (fields & fFlag) w.u8(m.flag ? 1 : 0);
    if (fields & fGuid) {
        const auto g = m.guid.bytes();
        for (const std::uint8_t b : g) w.u8(b);
    }
    if (fields & fText) ok = ok && w.bytes(m.text.data(), m.text.size(), maxTextOf(m));
    if (fields & fText2) ok = ok && w.bytes(m.text2.data(), m.text2.size(), maxTextOf(m));
    if (fields & fData) ok = ok && w.bytes(m.data.data(), m.data.size(), kMaxBuffer);
    if (fields & fArgs) {
        ok = ok && m.args.size() <= kMaxArgs;
        if (ok) {
            w.u32(static_cast<std::uint32_t>(m.args.size()));
            for (const auto& a : m.args) ok = ok && w.bytes(a.data(), a.size(), kMaxText);
        }
    }
    if (!ok || w.out().size() > kMaxFrame) return {};
    return std::move(w.out());
}

std::vector<std::uint8_t> encodeFrame(const Message& m) {
    std::vector<std::uint8_t> body = encode(m);
    if (body.empty()) return {};
    std::vector<std::uint8_t> frame;
    frame.reserve(kFrameHeader + body.size());
    const auto n = static_cast<std::uint32_t>(body.size());
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

std::optional<Message> decode(std::span<const std::uint8_t> bytes, Kind expected) {
    if (bytes.size() > kMaxFrame) return std::nullopt;
    Reader r(bytes);
    Message m;
    m.kind = static_cast<Kind>(r.u8());
    m.op = static_cast<Op>(r.u8());
    m.seq = r.u32();
    if (!r.ok() || m.kind != expected) return std::nullopt;
    const std::uint32_t fields = fieldsOf(m.kind, m.op);
    if (fields == 0) return std::nullopt;
    if (fields & fStatus) m.status = r.u32();
    if (fields & fHandle) m.handle = r.u32();
    if (fields & fCode) m.code = r.u32();
    if (fields & fLength) m.length = r.u32();
    if (fields & fValue) m.value = r.u32();
    if (fields & fId) m.id = r.u64();
    if (fields & fFlag) {
        const std::uint8_t f = r.u8();
        if (f > 1) return std::nullopt;
        m.flag = f == 1;
    }
    if (fields & fGuid) {
        std::array<std::uint8_t, 16> g{};
        for (auto& b : g) b = r.u8();
        m.guid = Guid::fromBytes(g);
    }
    if (fields & fText) m.text = r.text(maxTextOf(m));
    if (fields & fText2) m.text2 = r.text(maxTextOf(m));
    if (fields & fData) {
        const auto d = r.bytes(kMaxBuffer);
        m.data.assign(d.begin(), d.end());
    }
    if (fields & fArgs) {
        const std::uint32_t n = r.u32();
        if (!r.ok() || n > kMaxArgs) return std::nullopt;
        for (std::uint32_t i = 0; i < n && r.ok(); ++i) m.args.push_back(r.text(kMaxText));
    }
    // Buffer lengths the receiver would allocate are bounded as well.
    if (m.length > kMaxBuffer && m.kind == Kind::Request) return std::nullopt;
    if (!r.ok() || !r.atEnd()) return std::nullopt;
    return m;
}

std::optional<std::uint32_t> frameLength(std::span<const std::uint8_t, kFrameHeader> header) {
    const std::uint32_t n = std::uint32_t{header[0]} | std::uint32_t{header[1]} << 8 |
                            std::uint32_t{header[2]} << 16 | std::uint32_t{header[3]} << 24;
    if (n == 0 || n > kMaxFrame) return std::nullopt;
    return n;
}

std::vector<std::span<const std::uint8_t>> splitFrames(std::span<const std::uint8_t> stream, bool* refused) {
    std::vector<std::span<const std::uint8_t>> frames;
    if (refused != nullptr) *refused = false;
    std::size_t pos = 0;
    while (stream.size() - pos >= kFrameHeader) {
        const auto n = frameLength(stream.subspan(pos).first<kFrameHeader>());
        if (!n) {
            if (refused != nullptr) *refused = true;
            break;
        }
        if (stream.size() - pos - kFrameHeader < *n) break;
        frames.push_back(stream.subspan(pos + kFrameHeader, *n));
        pos += kFrameHeader + *n;
    }
    return frames;
}

}  // namespace qel::os::remote
