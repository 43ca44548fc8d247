// What the core does natively for one end-to-end scenario: the same simulated device, faults
// and firmware file, with the core driven as the dialog drives it (connect, then "Load Image").
// Writes the trace lines, the wire log and the device's memory, which the Windows program under
// Wine must reproduce exactly.
//
// expected_run --trace FILE --wire FILE --memory FILE [--image FILE] [--no-device] [--connect-only]
//              [--fault FAULT]...
// --connect-only stands for a dialog closed before "Load Image".
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/fault.hpp"
#include "sim/sim_bus.hpp"
#include "sim/wire_log.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/session.hpp"
#include "upgrade/upgrade_run.hpp"

namespace {

class Lines : public fwup::Trace {
 public:
  void Line(std::string_view text) override { text_ += text; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// The user presses OK on every box; nothing else is looked at here.
class Silent : public fwup::View {
 public:
  void SetStatusText(std::string_view) override {}
  void SetVersionText(std::string_view) override {}
  void SetProgress(int) override {}
  void ShowBox(const fwup::Box&) override {}
  void PrintToStdout(std::string_view) override {}
};

}  // namespace

int main(int argc, char** argv) {
  std::string trace_file, wire_file, memory_file, image;
  bool device = true;
  bool upgrade = true;
  std::vector<fwup::sim::Fault> faults;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const std::string value = i + 1 < argc ? argv[i + 1] : "";
    if (name == "--no-device" || name == "--connect-only") {
      (name == "--no-device" ? device : upgrade) = false;
      continue;
    }
    ++i;
    if (name == "--trace") {
      trace_file = value;
    } else if (name == "--wire") {
      wire_file = value;
    } else if (name == "--memory") {
      memory_file = value;
    } else if (name == "--image") {
      image = value;
    } else if (name == "--fault") {
      std::string why;
      const auto fault = fwup::sim::ParseFault(value, &why);
      if (!fault) {
        std::fprintf(stderr, "expected_run: %s: %s\n", value.c_str(), why.c_str());
        return 2;
      }
      faults.push_back(*fault);
    } else {
      std::fprintf(stderr, "expected_run: unknown option %s\n", name.c_str());
      return 2;
    }
  }

  fwup::sim::SimBus bus;
  std::shared_ptr<fwup::sim::BootLoader> loader;
  if (device) {
    loader = bus.AddBootLoaders(1).front();
    for (const auto& fault : faults) loader->AddFault(fault);
  }
  Lines trace;
  Silent view;
  fwup::Session session(bus, view, trace);
  session.versions = ConnectDevice(session.bus, session.connection, session.settings, session.shown).versions;
  if (session.connection.DeviceFound != 0 && upgrade) {
    session.firmware.ImagePath = image;
    fwup::RunUpgrade(session);
  }

  std::ofstream(trace_file, std::ios::binary) << trace.Text();
  if (loader) {
    std::ofstream wire(wire_file, std::ios::binary);
    fwup::sim::WriteWireLog(wire, loader->Log());
    const auto memory = loader->Memory();
    std::ofstream(memory_file, std::ios::binary)
        .write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
  }
  return 0;
}
