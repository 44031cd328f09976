#include "os/remote/Socket.h"

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace qel::os::remote {

namespace {

bool makeAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

bool readExact(int fd, std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t got = ::recv(fd, p, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool writeAll(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

int connectSocket(const std::string& path) {
    sockaddr_un addr;
    if (!makeAddress(path, addr)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

int listenSocket(const std::string& path, std::string& error) {
    sockaddr_un addr;
    if (!makeAddress(path, addr)) {
        error = "socket path too long: " + path;
        return -1;
    }
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " exists and is no socket";
            return -1;
        }
        const int probe = connectSocket(path);
        if (probe >= 0) {
            ::close(probe);
            error = "a rig process already listens on " + path;
            return -1;
        }
        ::unlink(path.c_str());  // left by a process that ended
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    // Owner only from the start: no moment where others could connect.
    const mode_t old = ::umask(0177);
    const int rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    const int bindErrno = errno;
    ::umask(old);
    if (rc < 0) {
        error = "bind " + path + ": " + std::strerror(bindErrno);
        ::close(fd);
        return -1;
    }
    ::chmod(path.c_str(), 0600);
    if (::listen(fd, 64) < 0) {
        error = std::string("listen: ") + std::strerror(errno);
        ::close(fd);
        ::unlink(path.c_str());
        return -1;
    }
    return fd;
}

void closeSocket(int fd) {
    if (fd >= 0) ::close(fd);
}

void shutdownSocket(int fd) {
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

ReadResult readMessage(int fd, Kind expected, Message& m) {
    std::uint8_t header[kFrameHeader];
    if (!readExact(fd, header, sizeof header)) return ReadResult::Closed;
    const auto n = frameLength(std::span<const std::uint8_t, kFrameHeader>(header, kFrameHeader));
    if (!n) return ReadResult::Refused;
    std::vector<std::uint8_t> body(*n);
    if (!readExact(fd, body.data(), body.size())) return ReadResult::Closed;
    auto decoded = decode(body, expected);
    if (!decoded) return ReadResult::Malformed;
    m = std::move(*decoded);
    return ReadResult::Ok;
}

bool writeMessage(int fd, const Message& m) {
    const std::vector<std::uint8_t> frame = encodeFrame(m);
    if (frame.empty()) return false;
    return writeAll(fd, frame.data(), frame.size());
}

}  // namespace qel::os::remote
