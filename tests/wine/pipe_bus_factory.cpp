// The HID bus of the end-to-end test build: the real SetupAPI walk, followed by one simulated
// boot loader whose device path is the named pipe that FWUP_TEST_PIPE names (served by
// pipe_server). Opens and transfers go through the product's CreateFileW link unchanged. The
// product links setupapi_bus_factory.cpp instead and reads no environment.
// The simulator first: windows.h defines FillMemory as a macro.
#include "sim/sim_bus.hpp"
// clang-format off
#include <windows.h>
// clang-format on

#include <string>

#include "app/hid_bus_factory.hpp"
#include "win32/setupapi_bus.hpp"
#include "win32/wide_text.hpp"

namespace fwup::app {
namespace {

class WalkThenPipe : public HidEnumeration {
 public:
  WalkThenPipe(std::unique_ptr<HidEnumeration> walk, std::string pipe_path)
      : walk_(std::move(walk)), pipe_path_(std::move(pipe_path)) {}

  bool InterfaceAt(std::uint32_t index) override {
    if (walk_count_ == kUnknown || index < walk_count_) {
      if (walk_->InterfaceAt(index)) return true;
      walk_count_ = index;
    }
    return index == walk_count_ && !pipe_path_.empty();
  }

  std::optional<std::u16string> HardwareId(std::uint32_t index) override {
    if (index < walk_count_) return walk_->HardwareId(index);
    return std::u16string(sim::kBootLoaderHardwareId);
  }

  std::optional<std::string> DevicePath(std::uint32_t index) override {
    if (index < walk_count_) return walk_->DevicePath(index);
    return pipe_path_;
  }

 private:
  static constexpr std::uint32_t kUnknown = 0xFFFFFFFF;
  std::unique_ptr<HidEnumeration> walk_;
  std::string pipe_path_;
  std::uint32_t walk_count_ = kUnknown;
};

class PipeTestBus : public win32::SetupApiBus {
 public:
  std::unique_ptr<HidEnumeration> Enumerate() override {
    wchar_t name[200];
    const DWORD length = GetEnvironmentVariableW(L"FWUP_TEST_PIPE", name, 200);
    const std::string path = length > 0 && length < 200 ? win32::Narrow(std::wstring(L"\\\\.\\pipe\\") + name) : "";
    return std::make_unique<WalkThenPipe>(SetupApiBus::Enumerate(), path);
  }
};

}  // namespace

std::unique_ptr<HidBus> MakeHidBus() { return std::make_unique<PipeTestBus>(); }

}  // namespace fwup::app
