// device-server: serves one simulated boot loader as a kernel HID device (uhid or a USB gadget on
// dummy_hcd), switchable through a control socket (device-ctl is its client).
//
//   device-server --transport uhid|gadget --serial SERIAL --control SOCKET
//                 [--udc NAME] [--absent] [--realtime CPU] [--verbose]
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "control.hpp"
#include "control_socket.hpp"
#include "gadget_transport.hpp"
#include "served_device.hpp"
#include "uhid_transport.hpp"

namespace {

using namespace fwup::vm;

struct Options {
  std::string transport;
  std::string serial = "SIM0001";
  std::string control;
  std::string udc;
  bool absent = false;
  bool verbose = false;
  int realtime_cpu = -1;
};

int Usage() {
  std::fprintf(stderr,
               "usage: device-server --transport uhid|gadget --serial SERIAL --control SOCKET [--udc NAME] "
               "[--absent] [--realtime CPU] [--verbose]\n"
               "control commands (device-ctl SOCKET COMMAND [ARGS...]): %s\n",
               ControlHelp().c_str());
  return 2;
}

int BlockedSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  return signalfd(-1, &signals, SFD_CLOEXEC);
}

// uhid has no flow control: it queues 32 output reports for the device and drops the next ones
// ("Output queue is full") while the host's write still succeeds. A real device would hold the
// host off instead. Run at real-time priority on the CPU the host program runs on, the server
// takes each report as soon as the host writes it, so the queue never fills.
bool RunRealtime(int cpu, std::string& why) {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  CPU_SET(cpu, &cpus);
  sched_param priority{};
  priority.sched_priority = 50;
  if (sched_setaffinity(0, sizeof cpus, &cpus) != 0 || sched_setscheduler(0, SCHED_FIFO, &priority) != 0) {
    why = std::string("real-time priority on CPU ") + std::to_string(cpu) + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

int Serve(const Options& options) {
  std::unique_ptr<Transport> transport;
  if (options.transport == "uhid") {
    transport = std::make_unique<UhidTransport>(options.serial);
  } else if (options.transport == "gadget") {
    transport = std::make_unique<GadgetTransport>(options.serial, options.udc);
  } else {
    return Usage();
  }
  const int signals = BlockedSignals();
  ServedDevice device(*transport, fwup::sim::BootLoaderConfig{}, options.verbose);
  ControlSocket control;
  std::string why;
  if (options.realtime_cpu >= 0 && !RunRealtime(options.realtime_cpu, why)) {
    std::fprintf(stderr, "device-server: %s\n", why.c_str());
    return 1;
  }
  if (!control.Listen(options.control, why) || (!options.absent && !device.Attach(why))) {
    std::fprintf(stderr, "device-server: %s\n", why.c_str());
    return 1;
  }
  std::printf("device-server: ready, %s, %s, control %s\n", transport->Describe().c_str(),
              transport->Attached() ? "attached" : "absent", options.control.c_str());
  std::fflush(stdout);

  for (bool quit = false; !quit;) {
    std::vector<pollfd> fds = {{signals, POLLIN, 0}, {control.PollFd(), POLLIN, 0}};
    if (transport->Attached()) {
      fds.push_back({transport->PollFd(), static_cast<short>(POLLIN | (transport->SendPending() ? POLLOUT : 0)), 0});
    }
    int timeout = -1;
    if (const auto due = device.NextDue()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()).count();
      timeout = static_cast<int>(std::max<long long>(0, left));
    }
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
    if (fds[0].revents) break;
    if (fds.size() > 2 && (fds[2].revents & POLLOUT)) transport->FlushPending();
    if (fds.size() > 2 && (fds[2].revents & POLLIN)) {
      for (const OutputReport& report : transport->Receive()) device.Handle(report);
    }
    device.Tick(Clock::now());
    if (fds[1].revents & POLLIN) {
      std::string line;
      const int client = control.Accept(line);
      if (client >= 0) {
        const ControlResult result = RunControlCommand(device, line);
        if (options.verbose)
          std::fprintf(stderr, "device-server: control '%s' -> %s\n", line.c_str(), result.reply.c_str());
        ControlSocket::Reply(client, result.reply);
        quit = result.quit;
      }
    }
  }
  device.Detach();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (args[i] == "--transport" && has_value) {
      options.transport = args[++i];
    } else if (args[i] == "--serial" && has_value) {
      options.serial = args[++i];
    } else if (args[i] == "--control" && has_value) {
      options.control = args[++i];
    } else if (args[i] == "--udc" && has_value) {
      options.udc = args[++i];
    } else if (args[i] == "--realtime" && has_value) {
      options.realtime_cpu = std::atoi(args[++i].c_str());
    } else if (args[i] == "--absent") {
      options.absent = true;
    } else if (args[i] == "--verbose") {
      options.verbose = true;
    } else {
      return Usage();
    }
  }
  if (options.control.empty()) return Usage();
  setvbuf(stderr, nullptr, _IOLBF, 0);
  return Serve(options);
}
