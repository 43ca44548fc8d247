// A whole upgrade of the default region against the simulator: first with a device that answers
// at once (the tool's own cost per packet), then over a modelled full-speed USB link where every
// transfer takes one 1 ms frame, against that link's physical limit for the same transfers.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

#include "firmware_files.hpp"
#include "quiet_ports.hpp"
#include "sim/sim_bus.hpp"
#include "upgrade/connect_device.hpp"
#include "upgrade/session.hpp"
#include "upgrade/upgrade_run.hpp"

namespace fwup::bench {
namespace {

struct Run {
  std::chrono::duration<double> seconds;
  std::size_t transfers;
  std::uint32_t packets;
};

Run UpgradeOnce(const std::filesystem::path& firmware, sim::BootLoaderConfig config) {
  auto bus = sim::SimBus::WithBootLoader(config);
  QuietView view;
  QuietTrace trace;
  Session session(*bus, view, trace);
  session.firmware.ImagePath = firmware;
  const auto started = std::chrono::steady_clock::now();
  session.versions = ConnectDevice(session.bus, session.connection, session.settings, session.shown).versions;
  RunUpgrade(session);
  const auto seconds = std::chrono::steady_clock::now() - started;
  if (session.outcome.verdict != Verdict::Match) throw std::runtime_error("no match verdict");
  return {seconds, bus->Device()->Log().size(), session.outcome.packets_sent};
}

std::filesystem::path FullRegionFile() {
  static const auto path = WriteFirmwareFile(std::filesystem::temp_directory_path() / "fwup-bench-upgrade.hex", 4096,
                                             PseudoRandomBytes(57344, 2));
  return path;
}

void BM_UpgradeZeroLatency(benchmark::State& state) {
  double seconds = 0;
  std::uint32_t packets = 0;
  for (auto _ : state) {
    const Run run = UpgradeOnce(FullRegionFile(), {});
    seconds += run.seconds.count();
    packets += run.packets;
  }
  state.counters["us_per_packet"] = benchmark::Counter(1e6 * seconds / packets);
}
BENCHMARK(BM_UpgradeZeroLatency)->Unit(benchmark::kMillisecond);

void BM_UpgradeFullSpeedLink(benchmark::State& state) {
  sim::BootLoaderConfig config;
  config.transfer_time = std::chrono::milliseconds(1);
  double ratio = 0;
  for (auto _ : state) {
    const Run run = UpgradeOnce(FullRegionFile(), config);
    // Each report that crossed took one frame; nothing can be faster than that.
    const double limit = static_cast<double>(run.transfers) * 1e-3;
    ratio = run.seconds.count() / limit;
  }
  state.counters["ratio_to_link_limit"] = ratio;
}
BENCHMARK(BM_UpgradeFullSpeedLink)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace fwup::bench
