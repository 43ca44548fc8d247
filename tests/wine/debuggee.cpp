#include "debuggee.hpp"

#include <chrono>

namespace {

// Under Wine the string comes as 8-bit text even from OutputDebugStringW; on Windows it may be
// UTF-16. Either way the trace lines of the tool are ASCII.
std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  const std::size_t unit = info.fUnicode ? 2 : 1;
  std::vector<char> bytes(static_cast<std::size_t>(info.nDebugStringLength) * unit);
  SIZE_T got = 0;
  if (bytes.empty() || !ReadProcessMemory(process, info.lpDebugStringData, bytes.data(), bytes.size(), &got)) return {};
  std::string text;
  for (std::size_t i = 0; i + unit <= got; i += unit) {
    const unsigned code = unit == 2
                              ? static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8
                              : static_cast<unsigned char>(bytes[i]);
    if (code == 0) break;
    text += static_cast<char>(code < 0x100 ? code : '?');
  }
  return text;
}

}  // namespace

Debuggee::~Debuggee() {
  Kill();
  if (thread_.joinable()) thread_.join();
}

bool Debuggee::Start(const std::wstring& command_line, const std::wstring& stdout_file, bool traced) {
  thread_ = std::thread(&Debuggee::Loop, this, command_line, stdout_file, traced);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return started_ || start_failed_; });
  return started_;
}

bool Debuggee::Running() const {
  const std::lock_guard lock(mutex_);
  return started_ && !exited_;
}

bool Debuggee::WaitExit(DWORD milliseconds, DWORD& exit_code) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return exited_ || start_failed_; })) {
    return false;
  }
  exit_code = exit_code_;
  return exited_;
}

std::vector<std::string> Debuggee::TraceLines() const {
  const std::lock_guard lock(mutex_);
  return lines_;
}

void Debuggee::Kill() {
  const std::lock_guard lock(mutex_);
  if (started_ && !exited_ && process_ != nullptr) TerminateProcess(process_, 99);
}

void Debuggee::Ended(DWORD exit_code) {
  const std::lock_guard lock(mutex_);
  exited_ = true;
  exit_code_ = exit_code;
  changed_.notify_all();
}

void Debuggee::Loop(std::wstring command_line, std::wstring stdout_file, bool traced) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out = CreateFileW(stdout_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  const BOOL created = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                                      traced ? DEBUG_ONLY_THIS_PROCESS : 0, nullptr, nullptr, &startup, &info);
  {
    const std::lock_guard lock(mutex_);
    if (!created) {
      start_failed_ = true;
      changed_.notify_all();
      if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
      return;
    }
    started_ = true;
    process_ = info.hProcess;
    process_id_ = info.dwProcessId;
  }
  changed_.notify_all();

  if (!traced) {
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    Ended(code);
  }
  while (traced) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 200)) continue;
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        std::string line = ReadDebugString(info.hProcess, event.u.DebugString);
        const std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        // The loader's initial breakpoint is ours to pass over; anything else is the program's.
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      default:
        break;
    }
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
      Ended(event.u.ExitProcess.dwExitCode);
      break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  CloseHandle(info.hThread);
}
