#include "control.hpp"

#include <array>
#include <fstream>
#include <sstream>
#include <vector>

#include "ports/parse_number.hpp"
#include "sim/fault.hpp"
#include "sim/wire_log.hpp"

namespace fwup::vm {
namespace {

using Args = std::vector<std::string>;

std::string Ok(const std::string& text = {}) { return text.empty() ? "ok" : "ok " + text; }
std::string Error(const std::string& text) { return "error " + text; }

std::string ResetReply(ServedDevice& device) {
  std::string why;
  return device.Reset(why) ? Ok() : Error("reset, but the device cannot be plugged in: " + why);
}

std::string Status(ServedDevice& device, const Args&) {
  std::ostringstream text;
  text << "attached=" << device.Link().Attached() << " late-delay=" << device.LateDelay().count() << " "
       << device.Link().Describe();
  return Ok(text.str());
}

std::string ResetState(ServedDevice& device, const Args&) { return ResetReply(device); }

std::string Region(ServedDevice& device, const Args& args) {
  std::uint32_t start = 0;
  std::uint32_t size = 0;
  if (args.size() != 2 || !ParseU32(args[0], start) || !ParseU32(args[1], size))
    return Error("usage: region START SIZE");
  device.Config().region_start = start;
  device.Config().region_size = size;
  return ResetReply(device);
}

std::string Versions(ServedDevice& device, const Args& args) {
  if (args.size() != 2 || args[0].size() > 5 || args[1].size() > 5)
    return Error("usage: versions APP BOOT (5 characters each at most)");
  device.Config().app_version = {};
  device.Config().boot_version = {};
  std::copy(args[0].begin(), args[0].end(), device.Config().app_version.begin());
  std::copy(args[1].begin(), args[1].end(), device.Config().boot_version.begin());
  return ResetReply(device);
}

std::string ReadyForm(ServedDevice& device, const Args& args) {
  std::array<std::uint32_t, 4> bytes{};
  if (args.empty() || args.size() > 4) return Error("usage: ready-form CODE [B2 [B3 [B4]]] (hex)");
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!ParseU32(args[i], bytes[i], 16) || bytes[i] > 0xFF) return Error("not a byte: " + args[i]);
  }
  device.Config().ready_form = static_cast<std::uint8_t>(bytes[0]);
  for (std::size_t i = 0; i < 3; ++i) device.Config().ready_values[i] = static_cast<std::uint8_t>(bytes[i + 1]);
  return ResetReply(device);
}

std::string AddFault(ServedDevice& device, const Args& args) {
  if (args.size() != 1) return Error("usage: fault FAULT");
  std::string why;
  const std::optional<sim::Fault> fault = sim::ParseFault(args[0], &why);
  if (!fault) return Error(why);
  device.AddFault(*fault);
  return Ok();
}

std::string ClearFaults(ServedDevice& device, const Args&) {
  device.ClearFaults();
  return Ok();
}

std::string LateDelay(ServedDevice& device, const Args& args) {
  std::uint32_t ms = 0;
  if (args.size() != 1 || !ParseU32(args[0], ms)) return Error("usage: late-delay MILLISECONDS");
  device.SetLateDelay(std::chrono::milliseconds(ms));
  return Ok();
}

std::string RemoveAfter(ServedDevice& device, const Args& args) {
  if (args.size() != 1) return Error("usage: remove-after N | remove-after COMMAND[#N]");
  // The same names as the faults use for requests.
  std::string why;
  const std::optional<sim::Fault> where = sim::ParseFault("disconnect@" + args[0], &why);
  if (!where) return Error("bad removal point '" + args[0] + "'");
  RemovalPoint point;
  point.command = where->command;
  point.count = where->command ? where->occurrence : where->at;
  device.RemoveAfter(point);
  return Ok();
}

std::string Attach(ServedDevice& device, const Args&) {
  std::string why;
  return device.Attach(why) ? Ok() : Error(why);
}

std::string Detach(ServedDevice& device, const Args&) {
  device.Detach();
  return Ok();
}

std::string DumpLog(ServedDevice& device, const Args& args) {
  if (args.size() != 1) return Error("usage: dump-log PATH");
  std::ofstream out(args[0], std::ios::binary);
  const sim::WireLog log = device.Device().Log();
  sim::WriteWireLog(out, log);
  out.flush();
  return out ? Ok(std::to_string(log.size()) + " reports") : Error("cannot write " + args[0]);
}

std::string DumpMemory(ServedDevice& device, const Args& args) {
  if (args.size() != 1) return Error("usage: dump-memory PATH");
  std::ofstream out(args[0], std::ios::binary);
  const ImageBuffer memory = device.Device().Memory();
  out.write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
  out.flush();
  return out ? Ok() : Error("cannot write " + args[0]);
}

std::string Counters(ServedDevice& device, const Args&) {
  const sim::BootLoaderCounters sim = device.Device().Counters();
  const ServerCounters& server = device.Counters();
  std::ostringstream text;
  text << "requests=" << server.requests << " erases=" << sim.erases << " packets=" << sim.packets
       << " outside=" << sim.packets_outside_region << " ends=" << sim.program_ends << " crc=" << sim.crc_checks
       << " resets=" << sim.resets << " answers=" << server.answers_sent << " late=" << server.late_answers
       << " unanswered=" << server.unanswered << " refused=" << server.refused_writes << " odd=" << server.odd_reports
       << " while-detached=" << server.while_detached << " attached=" << device.Link().Attached()
       << " last-request-at-ms=" << (server.last_request_at_ms ? std::to_string(*server.last_request_at_ms) : "none")
       << " removed-at-ms=" << (server.removed_at_ms ? std::to_string(*server.removed_at_ms) : "none");
  return Ok(text.str());
}

std::string Now(ServedDevice&, const Args&) { return Ok("ms=" + std::to_string(MonotonicMs())); }

struct Command {
  std::string_view name;
  std::string_view usage;
  std::string (*run)(ServedDevice&, const Args&);
};

constexpr std::array<Command, 16> kCommands = {{
    {"status", "status: attached or not, the late delay, what the transport is", Status},
    {"reset-state", "reset-state: fresh memory, log, counters, no faults, no removal point; plugs in", ResetState},
    {"region", "region START SIZE: the application region (then as reset-state)", Region},
    {"versions", "versions APP BOOT: the version texts, 5 characters at most (then as reset-state)", Versions},
    {"ready-form", "ready-form CODE [B2 B3 B4]: the ready answer's form, hex (then as reset-state)", ReadyForm},
    {"fault", "fault FAULT: adds a simulator fault, e.g. no-answer@crc, late-answer@ready", AddFault},
    {"clear-faults", "clear-faults: removes every fault", ClearFaults},
    {"late-delay", "late-delay MS: how long after the request a late answer is sent (4000)", LateDelay},
    {"remove-after", "remove-after N|COMMAND#N: pulls the cable after that request", RemoveAfter},
    {"attach", "attach: plugs the device in", Attach},
    {"detach", "detach: pulls the cable now", Detach},
    {"dump-log", "dump-log PATH: the wire log, one line per report", DumpLog},
    {"dump-memory", "dump-memory PATH: the 65536 bytes of memory", DumpMemory},
    {"counters", "counters: what the device went through", Counters},
    {"now", "now: the steady clock in milliseconds", Now},
    {"quit", "quit: removes the device and ends the server", nullptr},
}};

}  // namespace

ControlResult RunControlCommand(ServedDevice& device, std::string_view line) {
  std::istringstream words{std::string(line)};
  std::string name;
  words >> name;
  Args args;
  for (std::string word; words >> word;) args.push_back(word);
  if (name == "quit") return {Ok(), true};
  if (name == "help") return {Ok(ControlHelp()), false};
  for (const Command& command : kCommands) {
    if (command.name == name && command.run) return {command.run(device, args), false};
  }
  return {Error("unknown command '" + name + "' (try help)"), false};
}

std::string ControlHelp() {
  std::string text;
  for (const Command& command : kCommands) {
    if (!text.empty()) text += "; ";
    text += command.usage;
  }
  return text;
}

}  // namespace fwup::vm
