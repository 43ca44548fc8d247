// fwupgrade on Windows: the UTF-16 command line, the SetupAPI bus of the Windows adapter, the
// console or the file or pipe of standard output, and Ctrl-C (its handler runs on a thread of its own, so no transfer
// is cut short).
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "cli/cli.hpp"
#include "cli/exit_code.hpp"
#include "cli/standard_output.hpp"
#include "cli/stop_request.hpp"
#include "win32/setupapi_bus.hpp"
#include "win32/wide_text.hpp"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace fwup::cli {
namespace {

// UTF-8 text to a console, written as UTF-16 so that a name in any script shows as it is. Every
// write goes out at once, as with the standard streams, except the first bytes of a character
// whose last bytes are still to come.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<std::size_t>(count));
    return WriteComplete() ? count : 0;  // 0 puts the stream in its failed state
  }

 private:
  bool WriteComplete() {
    const std::size_t complete = pending_.size() - UnfinishedTail();
    if (complete == 0) return true;
    const std::wstring wide = win32::Widen(std::string_view(pending_).substr(0, complete));
    pending_.erase(0, complete);
    for (std::size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(console_, wide.data() + done, chunk, &written, nullptr) || written == 0) return false;
      done += written;
    }
    return true;
  }

  // How many bytes at the end begin a character that is not complete yet.
  std::size_t UnfinishedTail() const {
    const std::size_t size = pending_.size();
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
      const auto byte = static_cast<unsigned char>(pending_[size - back]);
      if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
      const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
      return length > back ? back : 0;
    }
    return 0;
  }

  HANDLE console_;
  std::string pending_;
};

// Points `stream` at the console when `which` is one; a file or a pipe takes the UTF-8 bytes.
void UseConsoleFor(std::ostream& stream, DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !GetConsoleMode(handle, &mode)) return;
  stream.flush();
  // Never destroyed: the standard streams outlive every object of ours and are flushed at exit.
  stream.rdbuf(new ConsoleBuffer(handle));
}

std::optional<StandardOutput::Failure> WriteStdout(std::string_view text) {
  // Lines end with CR LF, as the C library's text mode wrote them to a file or a pipe.
  std::string lines;
  lines.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  std::string_view bytes = lines;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
    const BOOL wrote = WriteFile(out, bytes.data(), chunk, &written, nullptr);
    if (!wrote || written == 0) {
      const DWORD error = wrote ? ERROR_WRITE_FAULT : GetLastError();
      // A pipe whose reader went away, as Windows and Wine say it.
      const bool gone = error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
      return StandardOutput::Failure{gone, win32::SystemText(error)};
    }
    bytes.remove_prefix(written);
  }
  return std::nullopt;
}

// Standard output to a file or a pipe, with the cause of a failed write kept; null when there is
// none, or it is a console (UseConsoleFor).
StandardOutput* UseStandardOutput() {
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || GetConsoleMode(handle, &mode)) return nullptr;
  auto* const out = new StandardOutput(WriteStdout, false);  // never destroyed, as above
  std::cout.rdbuf(out);
  return out;
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (StopRequested()) return FALSE;  // the second one: the default handler ends the process
  RequestStop();
  const char* const note = StopNote();
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), note, static_cast<DWORD>(std::strlen(note)), &written, nullptr);
  return TRUE;
}

// The arguments in UTF-8, read again from the UTF-16 command line: argv holds them in the ANSI
// code page, which cannot spell every file name.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** const wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(win32::Narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

// A console, not a pipe, a file or NUL (which _isatty would take for a terminal).
TerminalInfo DetectStdoutTerminal() {
  TerminalInfo info;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || out == nullptr || !GetConsoleMode(out, &mode)) return info;
  info.is_terminal = true;
  CONSOLE_SCREEN_BUFFER_INFO buffer;
  if (GetConsoleScreenBufferInfo(out, &buffer)) info.columns = buffer.srWindow.Right - buffer.srWindow.Left + 1;
  info.cursor_control = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
                        SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  return info;
}

}  // namespace
}  // namespace fwup::cli

int main(int argc, char** argv) {
  using namespace fwup::cli;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  UseConsoleFor(std::cout, STD_OUTPUT_HANDLE);
  UseConsoleFor(std::cerr, STD_ERROR_HANDLE);
  Console console{std::cout, std::cerr, DetectStdoutTerminal()};
  if (StandardOutput* const out = UseStandardOutput()) console.out_failure = [out] { return out->FailureText(); };
  const Platform platform{
      [](std::string&) -> std::unique_ptr<fwup::HidBus> { return std::make_unique<fwup::win32::SetupApiBus>(); },
      "close any other program that has the device open, then run this again"};
  try {
    return Run(args, console, platform);
  } catch (const std::exception& failure) {
    std::cerr << "fwupgrade: unexpected failure: " << failure.what() << "; please report it\n";
    return ToInt(ExitCode::kInternal);
  }
}
