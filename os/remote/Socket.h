#pragma once
// Unix-domain stream sockets carrying the frames of os/remote/Protocol.h.
#include <string>

#include "os/remote/Protocol.h"

namespace qel::os::remote {

// A connected socket, or -1 with errno set.
int connectSocket(const std::string& path);

// A listening socket at `path`, readable and writable by its owner only. A
// socket file left by a process that ended is replaced; one that still
// accepts connections is not (-1, `error` says so).
int listenSocket(const std::string& path, std::string& error);

void closeSocket(int fd);
// Ends both directions: a thread blocked reading the socket returns.
void shutdownSocket(int fd);

enum class ReadResult { Ok, Closed, Refused, Malformed };

// Reads one frame and decodes its message of the expected kind. Refused: the
// header announced more than kMaxFrame (nothing was read past the header).
ReadResult readMessage(int fd, Kind expected, Message& m);
// False when the message cannot be encoded or the peer is gone.
bool writeMessage(int fd, const Message& m);

}  // namespace qel::os::remote
