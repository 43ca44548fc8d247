// The production line under load, run by hand: flash --watch with 16 sockets and a new board
// every 100 ms, on the modelled full-speed link, for 1,000 boards. Prints how long after its
// arrival each board was confirmed (against the link's time for one upgrade) and the process's
// resident memory as the boards go by.
//   fwup_watch_bench FIRMWARE.hex [BOARDS]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.hpp"
#include "sim/arrivals.hpp"
#include "sim/sim_bus.hpp"

namespace {

using namespace std::chrono_literals;

// The tool's lines go nowhere: a bench runs all day, and a buffer would grow.
class Discard : public std::streambuf {
  int overflow(int c) override { return c; }
};

// The simulated bench as the platform's HID bus, without giving it away.
class BusRef : public fwup::HidBus {
 public:
  explicit BusRef(fwup::HidBus& bus) : bus_(bus) {}
  std::unique_ptr<fwup::HidEnumeration> Enumerate() override { return bus_.Enumerate(); }
  fwup::OpenResult Open(const std::string& path, fwup::HidAccess access) override { return bus_.Open(path, access); }

 private:
  fwup::HidBus& bus_;
};

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: fwup_watch_bench FIRMWARE.hex [BOARDS]\n";
    return 2;
  }
  const unsigned boards = argc > 2 ? static_cast<unsigned>(std::stoul(argv[2])) : 1000;
  fwup::sim::BootLoaderConfig config;
  config.transfer_time = 1ms;                    // one report per full-speed frame each way
  std::shared_ptr<fwup::sim::BootLoader> first;  // its log says how many reports one upgrade takes
  const auto make_board = [&config, &first](std::uint32_t number) {
    fwup::sim::BootLoaderConfig board_config = config;
    board_config.keep_log = number == 1;
    auto board = std::make_shared<fwup::sim::BootLoader>(board_config);
    if (number == 1) first = board;
    return board;
  };

  fwup::sim::SimBus bus;
  fwup::sim::ArrivalPlan plan;
  plan.sockets = 16;
  plan.boards = boards;
  plan.interval = 100ms;
  plan.keep_times = true;
  Discard discard;
  std::ostream nowhere(&discard);
  fwup::cli::Console console{nowhere, nowhere, {}};
  fwup::cli::Platform platform;
  platform.open_hardware_bus = [&bus](std::string&) { return std::make_unique<BusRef>(bus); };

  std::atomic<bool> done = false;
  std::vector<std::pair<unsigned, long>> memory;  // boards confirmed, resident KiB
  std::unique_ptr<fwup::sim::Arrivals> arrivals;
  std::jthread sampler([&] {
    while (!done) {
      std::this_thread::sleep_for(1s);
      if (!arrivals) continue;
      unsigned confirmed = 0;
      for (const auto& times : arrivals->Times()) confirmed += times.matched ? 1 : 0;
      memory.emplace_back(confirmed, ResidentKiB());
    }
  });
  arrivals = std::make_unique<fwup::sim::Arrivals>(bus, make_board, plan);
  const int code = fwup::cli::Run({"flash", "--watch", "--count", std::to_string(boards), argv[1]}, console, platform);
  done = true;
  sampler.join();

  // The link's time for one upgrade: every report of the exchange, one frame each. The first
  // board was made at once, on this thread.
  const auto link = std::chrono::milliseconds(first->Log().size());
  std::vector<double> late;  // seconds past the link's time, per board
  for (const auto& times : arrivals->Times()) {
    if (!times.arrived || !times.matched) continue;
    late.push_back(std::chrono::duration<double>(*times.matched - *times.arrived - link).count());
  }
  std::sort(late.begin(), late.end());
  std::printf("exit code %d; %zu of %u boards confirmed; link time for one upgrade %lld ms\n", code, late.size(),
              boards, static_cast<long long>(link.count()));
  if (!late.empty()) {
    std::printf("confirmed after arrival, beyond the link's time: median %.3f s, 99th %.3f s, worst %.3f s\n",
                late[late.size() / 2], late[late.size() * 99 / 100], late.back());
  }
  for (const auto& [confirmed, kib] : memory) {
    if (&memory.front() == &memory.back() || confirmed % 100 < 10) {
      std::printf("resident memory after %u boards: %ld KiB\n", confirmed, kib);
    }
  }
  return code;
}
