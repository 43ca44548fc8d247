// Loading a firmware file that covers the whole default application region.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "firmware_files.hpp"
#include "image/parse_firmware.hpp"

namespace fwup::bench {
namespace {

void BM_LoadFullRegionFile(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "fwup-bench-full-region.hex";
  WriteFirmwareFile(path, 4096, PseudoRandomBytes(57344, 1));
  const auto file_size = std::filesystem::file_size(path);
  auto image = std::make_unique<ImageBuffer>();
  FirmwareBytes bytes;
  for (auto _ : state) {
    if (LoadFirmwareFile(path, *image, bytes).outcome != LoadOutcome::Loaded)
      state.SkipWithError("the file was refused");
    benchmark::DoNotOptimize(image->data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file_size));
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadFullRegionFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fwup::bench
