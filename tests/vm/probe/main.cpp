// vm-upgrade: the project's core (ConnectDevice, RunUpgrade) run from inside the guest over
// hidapi and hidraw, or over the in-process simulator for the log a real device must match.
//
//   vm-upgrade list
//   vm-upgrade connect [--path P] [--native [--fault FAULT]... [--log PATH]]
//   vm-upgrade upgrade FILE [--path P] [--trace PATH] [--native [--fault FAULT]... [--log PATH] [--memory PATH]]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "device/find_device.hpp"
#include "hidapi/hidapi_bus.hpp"
#include "hidapi_devices.hpp"
#include "printing_view.hpp"
#include "sim/fault.hpp"
#include "sim/sim_bus.hpp"
#include "sim/wire_log.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/outcome_names.hpp"
#include "upgrade/session.hpp"
#include "upgrade/upgrade_run.hpp"

namespace {

using namespace fwup;

struct Options {
  std::string mode;
  std::string file;
  std::string path;
  std::string trace;
  bool native = false;
  std::vector<std::string> faults;
  std::string log;
  std::string memory;
};

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (const char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int Usage() {
  std::fprintf(stderr,
               "usage: vm-upgrade list\n"
               "       vm-upgrade connect [--path P] [--native [--fault FAULT]... [--log PATH]]\n"
               "       vm-upgrade upgrade FILE [--path P] [--trace PATH] [--native [--fault FAULT]... [--log PATH] "
               "[--memory PATH]]\n");
  return 2;
}

int List(HidBus& bus) {
  std::printf("%s", vm::DescribeHidapiDevices().c_str());
  for (const HidInterfaceInfo& info : ListInterfaces(bus)) {
    std::printf("interface: id=%s path=%s match=%d\n", Narrow(info.hardware_id).c_str(), info.path.c_str(),
                info.matches ? 1 : 0);
  }
  return 0;
}

int Run(const Options& options, HidBus& bus) {
  vm::PrintingView view;
  vm::FileTrace trace(options.trace);
  Session session(bus, view, trace);
  if (!options.path.empty()) session.settings.only = options.path;
  const long long started = NowMs();
  session.versions = ConnectDevice(session.bus, session.connection, session.settings, session.shown).versions;
  std::printf("found: %u path=%s\n", session.connection.DeviceFound, session.connection.link.Path().c_str());
  if (options.mode == "upgrade" && session.connection.DeviceFound == 1) {
    session.firmware.ImagePath = options.file;
    RunUpgrade(session);
  }
  session.connection.link.Close();
  const RunOutcome& outcome = session.outcome;
  std::printf("outcome: step=%s verdict=%s packets=%u error=%u at_ms=%lld elapsed_ms=%lld\n",
              NameOf(outcome.step).data(), NameOf(outcome.verdict).data(), outcome.packets_sent,
              outcome.failed_transfer.last_error, NowMs(), NowMs() - started);
  return 0;
}

int RunNative(const Options& options) {
  auto bus = sim::SimBus::WithBootLoader();
  for (const std::string& text : options.faults) {
    std::string why;
    const std::optional<sim::Fault> fault = sim::ParseFault(text, &why);
    if (!fault) {
      std::fprintf(stderr, "vm-upgrade: fault '%s': %s\n", text.c_str(), why.c_str());
      return 2;
    }
    bus->Device()->AddFault(*fault);
  }
  const int result = Run(options, *bus);
  if (!options.log.empty()) {
    std::ofstream out(options.log, std::ios::binary);
    sim::WriteWireLog(out, bus->Device()->Log());
  }
  if (!options.memory.empty()) {
    const ImageBuffer memory = bus->Device()->Memory();
    std::ofstream(options.memory, std::ios::binary)
        .write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  Options options;
  options.mode = args[0];
  std::size_t i = 1;
  if (options.mode == "upgrade") {
    if (args.size() < 2) return Usage();
    options.file = args[i++];
  } else if (options.mode != "connect" && options.mode != "list") {
    return Usage();
  }
  for (; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (args[i] == "--native") {
      options.native = true;
    } else if (args[i] == "--path" && has_value) {
      options.path = args[++i];
    } else if (args[i] == "--trace" && has_value) {
      options.trace = args[++i];
    } else if (args[i] == "--fault" && has_value) {
      options.faults.push_back(args[++i]);
    } else if (args[i] == "--log" && has_value) {
      options.log = args[++i];
    } else if (args[i] == "--memory" && has_value) {
      options.memory = args[++i];
    } else {
      return Usage();
    }
  }
  if (options.native) return options.mode == "list" ? Usage() : RunNative(options);
  // The shipped adapter, as fwupgrade uses it.
  std::string why;
  std::unique_ptr<hidapi::Library> library = hidapi::OpenSystemLibrary(why);
  if (!library) {
    std::fprintf(stderr, "vm-upgrade: hidapi: %s\n", why.c_str());
    return 1;
  }
  hidapi::HidapiBus bus(std::move(library));
  return options.mode == "list" ? List(bus) : Run(options, bus);
}
