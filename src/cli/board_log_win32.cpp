// The board log, time, host name and file digest on Windows.
#include "cli/board_log.hpp"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <cstdio>

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

}  // namespace

BoardLog::BoardLog(const std::string& path, const std::vector<std::string>& inputs) : path_(path), handle_(0) {
  // Append-only access: every write lands at the end, whoever else appends.
  HANDLE handle = CreateFileW(win32::Widen(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) Fail(path, win32::SystemText(GetLastError()) + "; nothing was flashed");
  win32::UniqueHandle owned(handle);
  if (GetFileType(handle) != FILE_TYPE_DISK) Fail(path, "it is not a regular file; nothing was flashed");
  for (const std::string& input : inputs) {
    if (SameFile(handle, input)) Fail(path, "it is the firmware file; nothing was flashed");
  }
  handle_ = reinterpret_cast<std::intptr_t>(owned.Release());
}

BoardLog::~BoardLog() {
  if (handle_ != 0) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void BoardLog::Append(std::string_view line) {
  const auto handle = reinterpret_cast<HANDLE>(handle_);
  DWORD written = 0;
  if (!WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
    Fail(path_, win32::SystemText(GetLastError()));
  }
  if (written != line.size()) Fail(path_, "the disk took only part of the line");
  if (!FlushFileBuffers(handle)) Fail(path_, win32::SystemText(GetLastError()));
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
