// The control channel: a UNIX stream socket; a client connects, sends one line, reads one line.
#pragma once

#include <string>

namespace fwup::vm {

class ControlSocket {
 public:
  ControlSocket() = default;
  ~ControlSocket();
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  bool Listen(const std::string& path, std::string& why);
  int PollFd() const { return fd_; }
  // Takes one waiting client and its line; -1 when none could be had. The line lacks its '\n'.
  int Accept(std::string& line) const;
  static void Reply(int client, const std::string& text);

 private:
  int fd_ = -1;
  std::string path_;
};

// The client side: sends `line`, returns the reply (empty when the server could not be reached).
std::string SendControlLine(const std::string& path, const std::string& line, std::string& why);

}  // namespace fwup::vm
