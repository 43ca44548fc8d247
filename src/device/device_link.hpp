// The two handles on the device (write, then read) and the bounds on every wait for an answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ports/hid.hpp"

namespace fwup {

using namespace std::chrono_literals;

// A boot loader answers a query within a few USB frames; a few seconds leave room for a busy
// host and hub without leaving a user in front of a silent tool.
inline constexpr std::chrono::milliseconds kAnswerBound = 3s;
// Erasing flash takes seconds on real parts, and the boot loader answers the query that follows
// the erase only once it is done; tools that waited only briefly here failed on good devices.
inline constexpr std::chrono::milliseconds kEraseAnswerBound = 30s;
// A HID output report goes out within a few USB frames; a device that has not taken one in this
// long is not going to. The request right after the erase gets kEraseAnswerBound instead: a
// device may stop taking reports while it erases.
inline constexpr std::chrono::milliseconds kWriteBound = 5s;

struct AnswerBounds {
  std::chrono::milliseconds answer = kAnswerBound;
  std::chrono::milliseconds after_erase = kEraseAnswerBound;
  std::chrono::milliseconds write = kWriteBound;
};

class DeviceLink {
 public:
  // Takes the results of the two opens; a failed open leaves its handle invalid, and every
  // transfer on an invalid handle fails as the platform's would.
  void Attach(std::string path, OpenResult write, OpenResult read);

  TransferResult Write(const BootReport& report, std::chrono::milliseconds bound);
  TransferResult Read(BootReport& report, std::chrono::milliseconds bound);

  // Called before each request whose answer will be read. An answer that came after its read
  // gave up is still queued and would be taken for the next request's answer: wait up to
  // `grace` for each such answer still owed, then drop whatever is queued.
  void DropStaleAnswers(std::chrono::milliseconds grace);

  // CloseHandle on ReadHandle, then WriteHandle.
  void Close();

  bool WriteHandleOpen() const { return WriteHandle != nullptr; }
  bool ReadHandleOpen() const { return ReadHandle != nullptr; }
  const std::string& Path() const { return path_; }
  std::uint32_t WriteOpenError() const { return write_open_error_; }
  std::uint32_t ReadOpenError() const { return read_open_error_; }

 private:
  std::unique_ptr<HidLink> WriteHandle;
  std::unique_ptr<HidLink> ReadHandle;
  std::string path_;
  std::uint32_t write_open_error_ = kErrorSuccess;
  std::uint32_t read_open_error_ = kErrorSuccess;
  unsigned answers_owed_ = 0;
  bool request_sent_ = false;  // the last write did not fail outright
};

// How most callers judge a transfer: failed only when the call returned FALSE and the last error
// is non-zero. The version queries count any FALSE as a failure.
constexpr bool FailedByErrorCode(const TransferResult& result) { return !result.ok && result.last_error != 0; }

}  // namespace fwup
