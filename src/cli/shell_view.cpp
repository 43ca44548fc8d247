#include "cli/shell_view.hpp"

namespace fwup::cli {

void ShellView::SetStatusText(std::string_view text) {
  record_.statuses.emplace_back(text);
  display_.Status(text);
}

void ShellView::SetVersionText(std::string_view text) {
  record_.version_text = text;
  display_.Version(text);
}

void ShellView::SetProgress(int position) {
  record_.progress.position = position;
  display_.Progress(record_.progress);
}

void ShellView::ShowBox(const Box& box) {
  record_.boxes.push_back(box);
  display_.ShowBox(box);
}

void ShellView::PrintToStdout(std::string_view text) { display_.StdoutText(text); }

void ShellView::PacketsSent(std::uint32_t sent, std::uint32_t total) {
  record_.progress.sent = sent;
  record_.progress.total = total;
  display_.Progress(record_.progress);
}

void ShellView::Line(std::string_view text) {
  if (verbose_) display_.TraceLine(text);
}

}  // namespace fwup::cli
