#include "cli/records/wire_recorder.hpp"

#include <cstdio>

namespace fwup::cli {
namespace {

class RecordedLink : public HidLink {
 public:
  RecordedLink(std::unique_ptr<HidLink> link, WireRecorder& recorder, std::string path)
      : link_(std::move(link)), recorder_(recorder), path_(std::move(path)) {}

  TransferResult Write(const BootReport& report, std::chrono::milliseconds bound) override {
    const TransferResult result = link_->Write(report, bound);
    if (result.ok) recorder_.Record(path_, sim::Direction::ToDevice, report);
    return result;
  }

  TransferResult Read(BootReport& report, std::chrono::milliseconds bound) override {
    const TransferResult result = link_->Read(report, bound);
    if (result.ok) recorder_.Record(path_, sim::Direction::FromDevice, report);
    return result;
  }

 private:
  std::unique_ptr<HidLink> link_;
  WireRecorder& recorder_;
  std::string path_;
};

}  // namespace

WireRecorder::WireRecorder(std::unique_ptr<HidBus> bus) : bus_(std::move(bus)) {}

OpenResult WireRecorder::Open(const std::string& path, HidAccess access) {
  OpenResult result = bus_->Open(path, access);
  if (result.link) result.link = std::make_unique<RecordedLink>(std::move(result.link), *this, path);
  return result;
}

void WireRecorder::Record(const std::string& path, sim::Direction direction, const BootReport& report) {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char time[32];
  std::snprintf(time, sizeof time, "%.6f ", seconds);
  const std::lock_guard lock(mutex_);
  lines_[path] += time + sim::FormatWireEntry({direction, report}) + '\n';
}

std::string WireRecorder::Take(const std::string& path) {
  const std::lock_guard lock(mutex_);
  auto taken = lines_.extract(path);
  return taken ? std::move(taken.mapped()) : std::string();
}

}  // namespace fwup::cli
