// device-ctl SOCKET COMMAND [ARGS...]: sends one control command to a device server and prints
// its reply; exits 0 when the reply is "ok ...". Linked statically: the guest starts it many
// times, and under emulation a static program starts several times faster than one that loads
// shared libraries.
#include <cstdio>
#include <string>

#include "control_socket.hpp"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: device-ctl SOCKET COMMAND [ARGS...] (device-server --help lists the commands)\n");
    return 2;
  }
  std::string line;
  for (int i = 2; i < argc; ++i) line += (line.empty() ? "" : " ") + std::string(argv[i]);
  std::string why;
  const std::string reply = fwup::vm::SendControlLine(argv[1], line, why);
  if (reply.empty()) {
    std::fprintf(stderr, "device-ctl: %s\n", why.c_str());
    return 1;
  }
  std::printf("%s\n", reply.c_str());
  return reply.rfind("ok", 0) == 0 ? 0 : 1;
}
