#pragma once
// The wire protocol between the rig process (qel-simd) and the programs that
// use its platform seam. A frame is a 4-byte little-endian length followed by
// that many message bytes; a message is encoded field by field, little-endian,
// never by copying structs. Decoding takes any bytes: it checks every length
// against what is left and against the limits below, and fails instead of
// reading past the end or allocating more than a frame holds.
//
//   message  = kind:u8 op:u8 seq:u32 fields...
//   bytes    = length:u32 then the bytes
//   text     = bytes, at most kMaxText (kMaxOutput for command output)
//   guid     = 16 bytes in memory order
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "os/Guid.h"

namespace qel::os::remote {

inline constexpr std::uint32_t kProtocolVersion = 1;
inline constexpr std::size_t kFrameHeader = 4;
inline constexpr std::size_t kMaxFrame = 1u << 20;         // message bytes of one frame
inline constexpr std::size_t kMaxBuffer = 256u * 1024u;    // one request buffer (in or out)
inline constexpr std::size_t kMaxText = 4096;              // a path or a word
inline constexpr std::size_t kMaxOutput = 256u * 1024u;    // a rig command's output
inline constexpr std::size_t kMaxArgs = 64;                // words of a rig command

enum class Kind : std::uint8_t { Request = 1, Reply = 2, Push = 3 };

enum class Op : std::uint8_t {
    Hello = 1,
    GetClassDevs,
    DestroyDevInfoSet,
    EnumInterface,
    OpenPath,
    CloseHandle,
    Ioctl,
    IoctlOverlapped,
    OverlappedResult,
    CancelIo,
    EventValue,
    CloseEvent,
    RegisterNotification,
    UnregisterNotification,
    RigCommand,
    // Pushes from the rig process
    EventSignal = 0x40,  // the driver signalled the client's event `handle`; `id`: the request that ended, or 0
    DeviceChange,        // `handle` registration, `code` arrival/removal, `text` path
    Refused,             // the frame was refused: `status` says why; the connection ends
};

// Roles of a connection, given in Hello.
enum class Role : std::uint32_t {
    Session = 1,  // the first connection of a client: pushes come on it; its end ends the client
    Calls = 2,    // further connections of the same client carrying requests
};

// One message; which fields travel depends on kind and op (Protocol.cpp).
struct Message {
    Kind kind = Kind::Request;
    Op op = Op::Hello;
    std::uint32_t seq = 0;

    std::uint32_t status = 0;   // replies: platform error / wait result / exit code
    std::uint32_t handle = 0;   // file, set, event or registration
    std::uint32_t code = 0;     // request code, index, role, device-change code
    std::uint32_t length = 0;   // output buffer length; bytes returned in replies
    std::uint32_t value = 0;    // a second handle or number (event, version, proxy)
    std::uint64_t id = 0;       // pending operation, session token
    bool flag = false;          // overlapped open; wait; the event was signalled at once
    Guid guid;
    std::string text;           // path, command output
    std::string text2;          // command error output
    std::vector<std::uint8_t> data;   // request input / reply output bytes
    std::vector<std::string> args;    // rig command words
};

// The message bytes (without the frame header); empty when a field exceeds
// its limit or the whole exceeds kMaxFrame.
std::vector<std::uint8_t> encode(const Message& m);
// The frame: header and message; empty like encode().
std::vector<std::uint8_t> encodeFrame(const Message& m);

// nullopt for anything that is not exactly one well-formed message of the
// expected kind (trailing bytes included).
std::optional<Message> decode(std::span<const std::uint8_t> bytes, Kind expected);

// The message length a frame header announces, or nullopt when it is above
// kMaxFrame (or zero): such a frame is refused before anything is allocated.
std::optional<std::uint32_t> frameLength(std::span<const std::uint8_t, kFrameHeader> header);

// Splits a byte stream into the messages of its frames; stops at the first
// refused header or at an incomplete frame. `refused` tells which.
std::vector<std::span<const std::uint8_t>> splitFrames(std::span<const std::uint8_t> stream, bool* refused);

}  // namespace qel::os::remote
