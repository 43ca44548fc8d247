#include "printing_view.hpp"

#include <chrono>

namespace fwup::vm {
namespace {

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string OneLine(std::string_view text) {
  std::string line;
  for (const char c : text) {
    if (c == '\r') {
      line += "\\r";
    } else if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  return line;
}

void PrintingView::SetStatusText(std::string_view text) { std::printf("status: %s\n", OneLine(text).c_str()); }

void PrintingView::SetVersionText(std::string_view text) { std::printf("version: %s\n", OneLine(text).c_str()); }

void PrintingView::SetProgress(int position) { std::printf("progress: %d\n", position); }

void PrintingView::ShowBox(const Box& box) {
  // The time tells a scenario how long after a fault the user heard of it.
  std::printf("box: at_ms=%lld caption=\"%s\" style=0x%X owner=%s text=\"%s\"\n", NowMs(), box.caption.c_str(),
              box.style, box.owner == BoxOwner::Dialog ? "dialog" : "none", OneLine(box.text).c_str());
}

void PrintingView::PrintToStdout(std::string_view text) { std::printf("stdout: %s\n", OneLine(text).c_str()); }

FileTrace::FileTrace(const std::string& path) {
  if (!path.empty()) file_ = std::fopen(path.c_str(), "wb");
}

FileTrace::~FileTrace() {
  if (file_) std::fclose(file_);
}

void FileTrace::Line(std::string_view text) {
  if (file_) std::fwrite(text.data(), 1, text.size(), file_);
}

}  // namespace fwup::vm
