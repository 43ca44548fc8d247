// The board log, time, host name and file digest on Windows.
#include "cli/board_log.hpp"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/exit_code.hpp"
#include "win32/unique_handle.hpp"
#include "win32/wide_text.hpp"

namespace fwup::cli {
namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
  throw CliError(ExitCode::kOutputFailed, "cannot log to '" + path + "': " + why);
}

bool SameFile(HANDLE handle, const std::string& other_path) {
  BY_HANDLE_FILE_INFORMATION info{};
  BY_HANDLE_FILE_INFORMATION other{};
  const win32::UniqueHandle other_handle(CreateFileW(win32::Widen(other_path).c_str(), FILE_READ_ATTRIBUTES,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return other_handle.Valid() && GetFileInformationByHandle(handle, &info) != FALSE &&
         GetFileInformationByHandle(other_handle.Get(), &other) != FALSE &&
         info.dwVolumeSerialNumber == other.dwVolumeSerialNumber && info.nFileIndexHigh == other.nFileIndexHigh &&
         info.nFileIndexLow == other.nFileIndexLow;
}

constexpr const char* kNotWritten = "; the line was not written and the log is as it was";

// An OVERLAPPED that names file offset `offset`; -1 is the end of the file at the time of the write.
OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return at;
}

// Every fwupgrade appending to the file, in any process, locks this byte around its append and its
// undo. It lies far beyond any data, so that readers of the file (jq, an editor) are never blocked.
OVERLAPPED LockRange() { return At(0x7FFF'FFFF'FFFF'FFF0); }

}  // namespace

BoardLog::BoardLog(const std::string& path, const std::vector<std::string>& inputs) : path_(path), handle_(0) {
  // Read and write access beside append: the last byte says whether the file ends in a newline,
  // and a line the disk took only part of is cut back off. Others may still read and append.
  HANDLE handle =
      CreateFileW(win32::Widen(path).c_str(), FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) Fail(path, win32::SystemText(GetLastError()) + "; nothing was flashed");
  win32::UniqueHandle owned(handle);
  if (GetFileType(handle) != FILE_TYPE_DISK) Fail(path, "it is not a regular file; nothing was flashed");
  for (const std::string& input : inputs) {
    if (SameFile(handle, input)) Fail(path, "it is the firmware file; nothing was flashed");
  }
  // A file system without locks is found now, not at the first board's line.
  OVERLAPPED range = LockRange();
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range) || !UnlockFileEx(handle, 0, 1, 0, &range)) {
    Fail(path, "it cannot be locked (" + win32::SystemText(GetLastError()) + "); nothing was flashed");
  }
  handle_ = reinterpret_cast<std::intptr_t>(owned.Release());
}

BoardLog::~BoardLog() {
  if (handle_ != 0) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void BoardLog::Append(std::string_view line) {
  const auto handle = reinterpret_cast<HANDLE>(handle_);
  const std::lock_guard threads(mutex_);
  OVERLAPPED range = LockRange();
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range)) {
    Fail(path_, "cannot lock it: " + win32::SystemText(GetLastError()) + kNotWritten);
  }
  const struct Unlock {
    HANDLE handle;
    ~Unlock() {
      OVERLAPPED range = LockRange();
      (void)UnlockFileEx(handle, 0, 1, 0, &range);
    }
  } unlock{handle};

  LARGE_INTEGER before{};
  if (!GetFileSizeEx(handle, &before)) Fail(path_, win32::SystemText(GetLastError()) + kNotWritten);
  char last = '\n';
  if (before.QuadPart > 0) {
    OVERLAPPED at = At(before.QuadPart - 1);
    DWORD got = 0;
    if (!ReadFile(handle, &last, 1, &got, &at) || got != 1) {
      Fail(path_, "cannot read its last byte: " + win32::SystemText(GetLastError()) + kNotWritten);
    }
  }
  // A last line without its newline keeps its bytes and gets one, so that this line stands alone.
  std::string text = last == '\n' ? std::string() : std::string("\n");
  text += line;

  // At the end whatever the file holds by then, as an append-only handle writes.
  OVERLAPPED end = At(-1);
  DWORD put = 0;
  std::string why;
  if (!WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &put, &end)) {
    why = win32::SystemText(GetLastError());
  } else if (put != text.size()) {
    why = "the disk took only part of the line";
  } else if (!FlushFileBuffers(handle)) {
    why = win32::SystemText(GetLastError());
  }
  if (why.empty()) return;
  if (put == 0) Fail(path_, why + kNotWritten);

  // Cut back only what this write put there: a size other than that means a program that ignores
  // the lock appended meanwhile, and its bytes are not ours to cut.
  LARGE_INTEGER after{};
  if (!GetFileSizeEx(handle, &after)) {
    why += "; its size cannot be read (" + win32::SystemText(GetLastError()) + ")";
  } else if (after.QuadPart != before.QuadPart + put) {
    why += "; something else wrote to it at the same time";
  } else if (!SetFilePointerEx(handle, before, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
    why += "; it cannot be cut back (" + win32::SystemText(GetLastError()) + ")";
  } else {
    (void)FlushFileBuffers(handle);
    Fail(path_, why + kNotWritten);
  }
  Fail(path_, why + ", so " + std::to_string(put) + " bytes of the line are left in it");
}

std::string UtcTimeNow() {
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                utc.wMinute, utc.wSecond, utc.wMilliseconds);
  return text;
}

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

}  // namespace fwup::cli
