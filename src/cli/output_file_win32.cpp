// The output writer on Windows: the same rules as on Linux, with the names taken as UTF-8.
#include <windows.h>

#include <algorithm>
#include <string>

#include "cli/exit_code.hpp"
#include "cli/output_file.hpp"
#include "win32/unique_handle.hpp"
#include "win32/wide_text.hpp"

namespace fwup::cli {
namespace {

[[noreturn]] void Refuse(const OutputFile& file, const std::string& why) {
  throw CliError(ExitCode::kOutputFailed, "cannot write " + std::string(file.what) + " to '" + file.path + "': " + why +
                                              "; nothing was written");
}

[[noreturn]] void RefuseError(const OutputFile& file, DWORD error) { Refuse(file, win32::SystemText(error)); }

bool Identity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info, DWORD& type) {
  const win32::UniqueHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.Valid()) return false;
  type = GetFileType(handle.Get());
  return GetFileInformationByHandle(handle.Get(), &info) != FALSE;
}

std::wstring Check(const OutputFile& file, const std::vector<OutputFile>& inputs) {
  if (file.path.empty()) Refuse(file, "no file name was given");
  const std::wstring path = win32::Widen(file.path);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) RefuseError(file, error);
    return path;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) Refuse(file, "it is a folder");
  BY_HANDLE_FILE_INFORMATION info{};
  DWORD type = FILE_TYPE_UNKNOWN;
  if (!Identity(path, info, type)) RefuseError(file, GetLastError());
  if (type != FILE_TYPE_DISK) Refuse(file, "it is a device, not a regular file");
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) Refuse(file, "it is read-only");
  for (const OutputFile& input : inputs) {
    BY_HANDLE_FILE_INFORMATION other{};
    DWORD other_type = FILE_TYPE_UNKNOWN;
    if (Identity(win32::Widen(input.path), other, other_type) &&
        other.dwVolumeSerialNumber == info.dwVolumeSerialNumber && other.nFileIndexHigh == info.nFileIndexHigh &&
        other.nFileIndexLow == info.nFileIndexLow) {
      Refuse(file, "it is " + std::string(input.what) + " '" + input.path + "' itself; give another name");
    }
  }
  return path;
}

}  // namespace

void CheckOutputFile(const OutputFile& file, const std::vector<OutputFile>& inputs) { (void)Check(file, inputs); }

void WriteOutputFile(const OutputFile& file, std::span<const std::uint8_t> bytes,
                     const std::vector<OutputFile>& inputs) {
  const std::wstring path = Check(file, inputs);
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
  const std::wstring temporary = folder + L"~" + path.substr(slash == std::wstring::npos ? 0 : slash + 1) + L"." +
                                 std::to_wstring(GetCurrentProcessId()) + L".fwupgrade-tmp";
  DWORD error = ERROR_SUCCESS;
  {
    const win32::UniqueHandle out(
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid()) RefuseError(file, GetLastError());
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
    RefuseError(file, error);
  }
}

}  // namespace fwup::cli
