// What the upgrade shows, one line each on standard output, so that a scenario script can check
// it with grep: "status: ...", "version: ...", "progress: N", "box: ...", "stdout: ...". Line
// ends inside texts are written as \r\n. Boxes are dismissed at once. Trace lines go to a file.
#pragma once

#include <cstdio>
#include <string>

#include "ports/trace.hpp"
#include "ports/view.hpp"

namespace fwup::vm {

std::string OneLine(std::string_view text);

class PrintingView : public View {
 public:
  void SetStatusText(std::string_view text) override;
  void SetVersionText(std::string_view text) override;
  void SetProgress(int position) override;
  void ShowBox(const Box& box) override;
  void PrintToStdout(std::string_view text) override;
};

class FileTrace : public Trace {
 public:
  explicit FileTrace(const std::string& path);  // empty: traces go nowhere
  ~FileTrace() override;
  FileTrace(const FileTrace&) = delete;
  FileTrace& operator=(const FileTrace&) = delete;
  void Line(std::string_view text) override;

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace fwup::vm
