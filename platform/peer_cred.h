#pragma once
// Who is at the other end of a connected Unix socket.

namespace korvale {

// True when the peer of the connected Unix socket fd runs as this process's
// user (its credentials as the kernel recorded them at connect or listen).
bool PeerIsSameUser(int fd);

}  // namespace korvale
