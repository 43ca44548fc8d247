// The files on Windows: the same rules as on Linux, with the names taken as UTF-8.
#include <windows.h>

#include <algorithm>
#include <string>

#include "os/files.hpp"
#include "win32/unique_handle.hpp"
#include "win32/wide_text.hpp"

namespace fwup::os {
namespace {

[[noreturn]] void Fail(DWORD error) { throw FileError(win32::SystemText(error)); }

// An OVERLAPPED that names file offset `offset`; -1 is the end of the file at the time of the write.
OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return at;
}

// Every process appending to the file locks this byte around its append and its undo. It lies far
// beyond any data, so that readers of the file (jq, an editor) are never blocked.
OVERLAPPED LockRange() { return At(0x7FFF'FFFF'FFFF'FFF0); }

}  // namespace

void CheckFileKind(const std::string& path) {
  const std::wstring wide = win32::Widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (const DWORD error = GetLastError(); error != ERROR_FILE_NOT_FOUND) Fail(error);
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) throw FileError("it is a folder");
  const win32::UniqueHandle handle(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};  // a file whose identity cannot be read is refused with the reason
  if (!handle.Valid() || !GetFileInformationByHandle(handle.Get(), &info)) Fail(GetLastError());
  if (GetFileType(handle.Get()) != FILE_TYPE_DISK) throw FileError("it is a device, not a regular file");
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) throw FileError("it is read-only");
}

// Read-only files are refused with their kind, before the shell's own checks.
void CheckWritable(const std::string&) {}

void WriteWhole(const std::string& utf8, std::span<const std::uint8_t> bytes) {
  const std::wstring path = win32::Widen(utf8);
  const std::size_t name = path.find_last_of(L"\\/") + 1;  // 0 without a folder
  const std::wstring temporary = path.substr(0, name) + L"~" + path.substr(name) + L"." +
                                 std::to_wstring(GetCurrentProcessId()) + L".fwupgrade-tmp";
  DWORD error = ERROR_SUCCESS;
  {
    const win32::UniqueHandle out(
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid()) Fail(GetLastError());
    std::span<const std::uint8_t> rest = bytes;
    while (!rest.empty() && error == ERROR_SUCCESS) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 20));
      if (!WriteFile(out.Get(), rest.data(), chunk, &written, nullptr)) {
        error = GetLastError();
      } else {
        rest = rest.subspan(written);
      }
    }
    if (error == ERROR_SUCCESS && !FlushFileBuffers(out.Get())) error = GetLastError();
  }
  if (error == ERROR_SUCCESS &&
      !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    DeleteFileW(temporary.c_str());  // the tool's own temporary file, never the target
    Fail(error);
  }
}

AppendFile::AppendFile(const std::string& path) : handle_(0) {
  // Read and write access beside append: the last byte says whether the file ends in a newline,
  // and a line the disk took only part of is cut back off. Others may still read and append.
  win32::UniqueHandle handle(
      CreateFileW(win32::Widen(path).c_str(), FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.Valid()) Fail(GetLastError());
  if (GetFileType(handle.Get()) != FILE_TYPE_DISK) throw FileError("it is not a regular file");
  handle_ = reinterpret_cast<std::intptr_t>(handle.Release());
}

AppendFile::~AppendFile() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

std::string AppendFile::Lock(bool exclusive) {
  const auto handle = reinterpret_cast<HANDLE>(handle_);
  OVERLAPPED range = LockRange();
  const BOOL done =
      exclusive ? LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range) : UnlockFileEx(handle, 0, 1, 0, &range);
  return done ? "" : win32::SystemText(GetLastError());
}

std::string AppendFile::Size(std::int64_t& size) {
  LARGE_INTEGER value{};
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &value)) return win32::SystemText(GetLastError());
  size = value.QuadPart;
  return {};
}

std::string AppendFile::ReadByte(std::int64_t at, char& byte) {
  OVERLAPPED from = At(at);
  DWORD got = 0;
  const bool done = ReadFile(reinterpret_cast<HANDLE>(handle_), &byte, 1, &got, &from) && got == 1;
  return done ? "" : win32::SystemText(GetLastError());
}

std::string AppendFile::Write(std::string_view text, std::size_t& put) {
  OVERLAPPED end = At(-1);  // the end, whatever the file holds by then
  DWORD written = 0;
  const BOOL done =
      WriteFile(reinterpret_cast<HANDLE>(handle_), text.data(), static_cast<DWORD>(text.size()), &written, &end);
  put = written;
  if (!done) return win32::SystemText(GetLastError());
  return written != text.size() ? "the disk took only part of the line" : "";
}

std::string AppendFile::Sync() {
  return FlushFileBuffers(reinterpret_cast<HANDLE>(handle_)) ? "" : win32::SystemText(GetLastError());
}

std::string AppendFile::CutBack(std::int64_t size) {
  const auto handle = reinterpret_cast<HANDLE>(handle_);
  LARGE_INTEGER at{};
  at.QuadPart = size;
  return SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) && SetEndOfFile(handle) ? ""
                                                                                   : win32::SystemText(GetLastError());
}

}  // namespace fwup::os
