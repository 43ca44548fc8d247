// Loading a firmware file that covers the whole default application region.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "firmware_files.hpp"
#include "image/load_firmware_image.hpp"
#include "quiet_ports.hpp"
#include "sim/sim_bus.hpp"
#include "upgrade/session.hpp"

namespace fwup::bench {
namespace {

void BM_LoadFullRegionFile(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "fwup-bench-full-region.hex";
  WriteFirmwareFile(path, 4096, PseudoRandomBytes(57344, 1));
  const auto file_size = std::filesystem::file_size(path);
  sim::SimBus bus;
  QuietView view;
  QuietTrace trace;
  for (auto _ : state) {
    Session session(bus, view, trace);
    session.ImagePath = path;
    session.FirmwareImage.fill(kErasedByte);
    if (LoadFirmwareImage(session) != kStageSuccess) state.SkipWithError("the file was refused");
    benchmark::DoNotOptimize(session.FirmwareImage.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file_size));
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadFullRegionFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fwup::bench
