// What the upgrade shows to its user: the dialog's status and version texts, its progress bar,
// message boxes and the one line on standard output. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fwup {

// Message box styles, with the platform's values.
namespace box_style {
inline constexpr std::uint32_t kOk = 0x00000000;
inline constexpr std::uint32_t kIconWarning = 0x00000030;
inline constexpr std::uint32_t kTopmost = 0x00040000;
}  // namespace box_style

enum class BoxOwner { Dialog, None };

// What a box tells: that a step failed, or the device's verdict on the new firmware.
enum class BoxKind { Failure, Verdict };

struct Box {
  std::string text;
  std::string caption;
  std::uint32_t style = box_style::kOk;
  BoxOwner owner = BoxOwner::Dialog;
  BoxKind kind = BoxKind::Failure;

  bool operator==(const Box&) const = default;
};

class View {
 public:
  virtual ~View() = default;
  virtual void SetStatusText(std::string_view text) = 0;   // IDC_DEVICE_STATUS
  virtual void SetVersionText(std::string_view text) = 0;  // IDC_VERSION_TEXT
  virtual void SetProgress(int position) = 0;              // absolute, 0 to 100
  // Returns once the user has dismissed the box.
  virtual void ShowBox(const Box& box) = 0;
  virtual void PrintToStdout(std::string_view text) = 0;
  // How far the programming loop has got; shells that draw their own progress use it.
  virtual void PacketsSent(std::uint32_t /*sent*/, std::uint32_t /*total*/) {}
};

}  // namespace fwup
