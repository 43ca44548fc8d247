// The system on Windows: the UTF-16 command line, the console or the file or pipe of standard
// output, the console's Ctrl-C (its handler runs on a thread of its own, so no transfer is cut
// short), the SetupAPI bus of the Windows adapter, the host name and BCrypt's digest.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <iostream>
#include <iterator>

#include "os/standard_output.hpp"
#include "os/system.hpp"
#include "win32/setupapi_bus.hpp"
#include "win32/wide_text.hpp"

namespace fwup::os {
namespace {

StopHandler stop_handler = nullptr;

// How many bytes at the end of `text` begin a character that is not complete yet.
std::size_t UnfinishedTail(std::string_view text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? back : 0;
  }
  return 0;
}

// UTF-8 text to a console, written as UTF-16 so that a name in any script shows as it is: at once,
// except the first bytes of a character whose last bytes are still to come.
StandardOutput* ConsoleOutput(HANDLE console) {
  const auto write = [console, held = std::string()](std::string_view bytes) mutable {
    held.append(bytes);
    const std::size_t complete = held.size() - UnfinishedTail(held);
    const std::wstring wide = win32::Widen(std::string_view(held).substr(0, complete));
    held.erase(0, complete);
    for (std::size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(console, wide.data() + done, chunk, &written, nullptr) || written == 0) {
        return std::optional(StandardOutput::Failure{false, win32::SystemText(GetLastError())});
      }
      done += written;
    }
    return std::optional<StandardOutput::Failure>();
  };
  return new StandardOutput(write, StandardOutput::Buffering::kNone);
}

// The console that `which` writes to, with its mode; null for a file, a pipe, NUL (which _isatty
// would take for a terminal) or nothing.
HANDLE ConsoleOf(DWORD which, DWORD& mode) {
  const HANDLE handle = GetStdHandle(which);
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) ? handle : nullptr;
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

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  const char* const note = stop_handler();
  if (note == nullptr) return FALSE;  // the second one: the default handler ends the process
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

TerminalInfo ConsoleTerminal(HANDLE console, DWORD mode) {
  TerminalInfo info;
  info.is_terminal = true;
  CONSOLE_SCREEN_BUFFER_INFO buffer;
  if (GetConsoleScreenBufferInfo(console, &buffer)) info.columns = buffer.srWindow.Right - buffer.srWindow.Left + 1;
  info.cursor_control = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
                        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  return info;
}

}  // namespace

Process StartProcess(int argc, char** argv, StopHandler on_stop) {
  stop_handler = on_stop;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  Process process;
  process.arguments = Utf8Arguments(argc, argv);
  // A console takes UTF-16; a file or a pipe the UTF-8 bytes, with the cause of a failed write kept.
  // Never destroyed: the standard streams outlive every object of ours and are flushed at exit.
  DWORD mode = 0;
  if (const HANDLE console = ConsoleOf(STD_ERROR_HANDLE, mode)) std::cerr.rdbuf(ConsoleOutput(console));
  if (const HANDLE console = ConsoleOf(STD_OUTPUT_HANDLE, mode)) {
    std::cout.rdbuf(ConsoleOutput(console));
    process.terminal = ConsoleTerminal(console, mode);
  } else if (const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE); out != INVALID_HANDLE_VALUE && out != nullptr) {
    auto* const buffer = new StandardOutput(WriteStdout, StandardOutput::Buffering::kBlocks);
    std::cout.rdbuf(buffer);
    process.out_failure = [buffer] { return buffer->FailureText(); };
  }
  return process;
}

// The console's control handler takes the stops from the start.
void TakeStopSignals() {}

std::unique_ptr<HidBus> OpenHidBus(std::string&) { return std::make_unique<win32::SetupApiBus>(); }

const std::string_view kAccessDeniedAdvice = "close any other program that has the device open, then run this again";

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = static_cast<DWORD>(std::size(name));
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
  return win32::Narrow(std::wstring_view(name, size));
}

std::optional<std::array<std::uint8_t, 32>> Sha256(std::span<const std::uint8_t> bytes) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return std::nullopt;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::array<std::uint8_t, 32> digest{};
  const bool done = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
                    BCryptHashData(hash, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(bytes.size()), 0) == 0 &&
                    BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) == 0;
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!done) return std::nullopt;
  return digest;
}

}  // namespace fwup::os
