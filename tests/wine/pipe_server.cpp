// Serves a simulated boot loader behind a named pipe, for the end-to-end test build of the
// dialog program, whose real CreateFileW link opens the pipe twice: first for writing, then
// for reading. Both pipe instances are alike; the one the client writes to is its write side.
//
// The simulator's faults become what a pipe can do:
// - A refused write (fail-write, disconnect): the request is read only up to its last byte,
//   which keeps the client's WriteFile pending, and the write side is then disconnected, so
//   that very WriteFile fails.
// - A failed read (fail-read, disconnect): the read side is disconnected; the client's read
//   fails.
// - No answer: nothing is delivered; the client's bounded read times out.
// - A late answer: delivered --late-ms after its request, when the client's read gave up.
// On exit the wire log and the device's memory are written for the test to check.
//
// pipe_server --pipe NAME --ready EVENT [--fault FAULT]... [--late-ms N] [--wire FILE] [--memory FILE]
// The simulator first: windows.h defines FillMemory as a macro.
#include "sim/boot_loader.hpp"
#include "sim/fault.hpp"
#include "sim/wire_log.hpp"
// clang-format off
#include <windows.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <fstream>
#include <list>
#include <string>
#include <vector>

namespace {

using fwup::BootReport;
using fwup::sim::BootLoader;

// The client ends by closing its handles; a test that went wrong must not leave us behind.
constexpr DWORD kLifetimeMs = 180000;

struct Options {
  std::wstring pipe;
  std::wstring ready_event;
  std::vector<fwup::sim::Fault> faults;
  DWORD late_ms = 4500;
  std::string wire_file;
  std::string memory_file;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring name = argv[i];
    const std::wstring value = argv[i + 1];
    const std::string narrow(value.begin(), value.end());
    if (name == L"--pipe") {
      options.pipe = L"\\\\.\\pipe\\" + value;
    } else if (name == L"--ready") {
      options.ready_event = value;
    } else if (name == L"--fault") {
      std::string why;
      const auto fault = fwup::sim::ParseFault(narrow, &why);
      if (!fault) {
        std::fprintf(stderr, "pipe_server: %s: %s\n", narrow.c_str(), why.c_str());
        return false;
      }
      options.faults.push_back(*fault);
    } else if (name == L"--late-ms") {
      options.late_ms = static_cast<DWORD>(std::stoul(narrow));
    } else if (name == L"--wire") {
      options.wire_file = narrow;
    } else if (name == L"--memory") {
      options.memory_file = narrow;
    } else {
      std::fprintf(stderr, "pipe_server: unknown option %ls\n", name.c_str());
      return false;
    }
  }
  return !options.pipe.empty() && !options.ready_event.empty();
}

// One pipe instance with its pending read.
struct Instance {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  OVERLAPPED read{};
  BootReport buffer{};
  bool reading = false;
  bool ended = false;
};

class Server {
 public:
  explicit Server(const Options& options) : options_(options) {
    for (const auto& fault : options.faults) device_.AddFault(fault);
  }

  bool Listen() {
    DWORD first = FILE_FLAG_FIRST_PIPE_INSTANCE;  // a server left over from another test fails us
    for (Instance& instance : instances_) {
      instance.pipe = CreateNamedPipeW(options_.pipe.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | first,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 2,
                                       /*out*/ 65 * 64, /*in: a write waits for us to take it*/ 0, 0, nullptr);
      first = 0;
      if (instance.pipe == INVALID_HANDLE_VALUE) return false;
      instance.read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      if (!ConnectNamedPipe(instance.pipe, &instance.read)) {
        if (GetLastError() == ERROR_PIPE_CONNECTED) {
          SetEvent(instance.read.hEvent);
        } else if (GetLastError() != ERROR_IO_PENDING) {
          return false;
        }
      }
    }
    const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, options_.ready_event.c_str());
    if (ready == nullptr) return false;
    SetEvent(ready);
    CloseHandle(ready);
    const HANDLE events[2] = {instances_[0].read.hEvent, instances_[1].read.hEvent};
    if (WaitForMultipleObjects(2, events, TRUE, kLifetimeMs) == WAIT_TIMEOUT) return false;
    for (Instance& instance : instances_) StartRead(instance);
    return true;
  }

  void Run() {
    const ULONGLONG give_up = GetTickCount64() + kLifetimeMs;
    while (!(instances_[0].ended && instances_[1].ended) && GetTickCount64() < give_up) {
      DWORD wait = static_cast<DWORD>(give_up - GetTickCount64());
      if (late_due_ != 0) wait = late_due_ > GetTickCount64() ? static_cast<DWORD>(late_due_ - GetTickCount64()) : 0;
      const HANDLE events[2] = {instances_[0].read.hEvent, instances_[1].read.hEvent};
      const DWORD signalled = WaitForMultipleObjects(2, events, FALSE, wait);
      if (signalled == WAIT_OBJECT_0 || signalled == WAIT_OBJECT_0 + 1) {
        ReadDone(instances_[signalled - WAIT_OBJECT_0]);
      } else if (late_due_ != 0 && GetTickCount64() >= late_due_) {
        late_due_ = 0;
        DeliverAnswer(/*late=*/true);
      }
    }
  }

  bool WriteResults() const {
    bool ok = true;
    if (!options_.wire_file.empty()) {
      std::ofstream wire(options_.wire_file, std::ios::binary);
      fwup::sim::WriteWireLog(wire, device_.Log());
      ok = ok && wire.good();
    }
    if (!options_.memory_file.empty()) {
      const auto memory = device_.Memory();
      std::ofstream out(options_.memory_file, std::ios::binary);
      out.write(reinterpret_cast<const char*>(memory.data()), static_cast<std::streamsize>(memory.size()));
      ok = ok && out.good();
    }
    return ok;
  }

 private:
  // The request minus its last byte: the client's WriteFile stays pending until we take it.
  void StartRead(Instance& instance) {
    ResetEvent(instance.read.hEvent);
    instance.buffer.fill(0);
    instance.reading = true;
    if (!ReadFile(instance.pipe, instance.buffer.data(), 64, nullptr, &instance.read) &&
        GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) {
      End(instance);
    }
  }

  void End(Instance& instance) {
    if (instance.ended) return;
    CancelIoEx(instance.pipe, nullptr);
    DisconnectNamedPipe(instance.pipe);
    instance.ended = true;
    instance.reading = false;
    ResetEvent(instance.read.hEvent);
  }

  Instance& Other(const Instance& instance) { return &instance == &instances_[0] ? instances_[1] : instances_[0]; }

  void ReadDone(Instance& instance) {
    if (!instance.reading) {
      ResetEvent(instance.read.hEvent);
      return;
    }
    instance.reading = false;
    DWORD got = 0;
    const BOOL whole = GetOverlappedResult(instance.pipe, &instance.read, &got, FALSE);
    const bool more = !whole && GetLastError() == ERROR_MORE_DATA;
    if (!whole && !more) {  // the client closed this handle
      End(instance);
      return;
    }
    if (write_side_ == nullptr) {
      write_side_ = &instance;
      read_side_ = &Other(instance);
    }
    if (&instance != write_side_) {  // nothing is expected from the read side
      StartRead(instance);
      return;
    }
    BootReport request = instance.buffer;
    if (more && device_.RefusesNextWrite(request[fwup::field::kCode])) {
      (void)device_.Write(request);  // the simulator counts the refused transfer
      End(instance);                 // fails the client's pending WriteFile
      // A device that is gone refuses everything from now on; its read side goes too.
      if (device_.RefusesNextWrite(0)) End(*read_side_);
      return;
    }
    if (more) TakeRest(instance, request);
    const fwup::TransferResult written = device_.Write(request);
    if (!written.ok) {
      End(instance);
      return;
    }
    DeliverAnswer();
    StartRead(instance);
  }

  // The last byte of the request, which completes the client's WriteFile.
  void TakeRest(Instance& instance, BootReport& request) {
    OVERLAPPED rest{};
    rest.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::uint8_t tail[64];
    DWORD got = 0;
    if (!ReadFile(instance.pipe, tail, sizeof tail, nullptr, &rest) && GetLastError() == ERROR_IO_PENDING) {
      WaitForSingleObject(rest.hEvent, 5000);
    }
    if (GetOverlappedResult(instance.pipe, &rest, &got, FALSE) && got >= 1) request[64] = tail[0];
    CloseHandle(rest.hEvent);
  }

  // Whatever answer the simulator has for the client now, as its faults say.
  void DeliverAnswer(bool late = false) {
    BootReport answer{};
    const fwup::TransferResult read = device_.Read(answer, std::chrono::milliseconds::zero());
    if (read.ok) {
      Send(answer);
    } else if (read.last_error == fwup::kErrorTimeout) {
      // Nothing queued, no answer, or one that is late: a late one is still queued.
      if (!late && HasLateAnswer()) late_due_ = GetTickCount64() + options_.late_ms;
    } else if (read_side_ != nullptr) {
      End(*read_side_);
    }
  }

  bool HasLateAnswer() const {
    for (const auto& fault : options_.faults) {
      if (fault.kind == fwup::sim::FaultKind::LateAnswer) return true;
    }
    return false;
  }

  void Send(const BootReport& answer) {
    if (read_side_ == nullptr || read_side_->ended) return;
    Pending& pending = sends_.emplace_back();
    pending.report = answer;
    pending.overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WriteFile(read_side_->pipe, pending.report.data(), static_cast<DWORD>(pending.report.size()), nullptr,
              &pending.overlapped);
  }

  struct Pending {
    BootReport report{};
    OVERLAPPED overlapped{};
  };

  const Options& options_;
  BootLoader device_;
  Instance instances_[2];
  Instance* write_side_ = nullptr;
  Instance* read_side_ = nullptr;
  std::list<Pending> sends_;  // kept until exit: the client may take them late
  ULONGLONG late_due_ = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: pipe_server --pipe NAME --ready EVENT [--fault FAULT]... [--late-ms N] "
                 "[--wire FILE] [--memory FILE]\n");
    return 2;
  }
  Server server(options);
  if (!server.Listen()) {
    std::fprintf(stderr, "pipe_server: no client connected (error %lu)\n", GetLastError());
    server.WriteResults();
    return 3;
  }
  server.Run();
  return server.WriteResults() ? 0 : 4;
}
