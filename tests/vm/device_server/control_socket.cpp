#include "control_socket.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fwup::vm {
namespace {

bool Address(const std::string& path, sockaddr_un& address, std::string& why) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    why = "socket path too long: " + path;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Reads up to the first '\n' or the end; a client that says nothing for a second is dropped.
std::string ReadLine(int fd) {
  timeval bound{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  std::string text;
  char buffer[512];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.find('\n') != std::string::npos) break;
  }
  return text.substr(0, text.find('\n'));
}

}  // namespace

ControlSocket::~ControlSocket() {
  if (fd_ >= 0) {
    close(fd_);
    unlink(path_.c_str());
  }
}

bool ControlSocket::Listen(const std::string& path, std::string& why) {
  sockaddr_un address;
  if (!Address(path, address, why)) return false;
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) {
    why = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  unlink(path.c_str());
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd_, 8) != 0) {
    why = "bind " + path + ": " + std::strerror(errno);
    return false;
  }
  path_ = path;
  return true;
}

int ControlSocket::Accept(std::string& line) const {
  const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return -1;
  line = ReadLine(client);
  return client;
}

void ControlSocket::Reply(int client, const std::string& text) {
  const std::string line = text + "\n";
  (void)!write(client, line.data(), line.size());
  close(client);
}

std::string SendControlLine(const std::string& path, const std::string& line, std::string& why) {
  sockaddr_un address;
  if (!Address(path, address, why)) return {};
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    why = "cannot reach the device server at " + path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return {};
  }
  const std::string text = line + "\n";
  (void)!write(fd, text.data(), text.size());
  shutdown(fd, SHUT_WR);
  std::string reply;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) reply.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  while (!reply.empty() && reply.back() == '\n') reply.pop_back();
  if (reply.empty()) why = "the device server closed the connection without a reply";
  return reply;
}

}  // namespace fwup::vm
