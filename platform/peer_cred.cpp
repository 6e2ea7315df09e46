#include "platform/peer_cred.h"

#include <sys/socket.h>
#include <unistd.h>

namespace korvale {

bool PeerIsSameUser(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && len == sizeof cred &&
         cred.uid == ::getuid();
}

}  // namespace korvale
