// The program under test, run as our debuggee so that its trace lines reach us as they reach a
// debugger. The debug loop runs on a thread of its own: the debuggee stops at every debug event
// until we let it go on. Untraced, it runs as a plain child: on an emulated machine every debug
// event (each trace line, each DLL loaded) costs tens of milliseconds under Wine.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Debuggee {
 public:
  ~Debuggee();

  // Starts `command_line` with its standard output into `stdout_file`, as a debuggee when
  // `traced`; false if it did not start.
  bool Start(const std::wstring& command_line, const std::wstring& stdout_file, bool traced = true);
  DWORD ProcessId() const { return process_id_; }
  bool Running() const;
  // Waits for the end of the process; false on time-out.
  bool WaitExit(DWORD milliseconds, DWORD& exit_code);
  std::vector<std::string> TraceLines() const;
  void Kill();

 private:
  void Loop(std::wstring command_line, std::wstring stdout_file, bool traced);
  void Ended(DWORD exit_code);

  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;
  bool start_failed_ = false;
  bool exited_ = false;
  DWORD exit_code_ = 0;
  DWORD process_id_ = 0;
  HANDLE process_ = nullptr;
  std::vector<std::string> lines_;
};
