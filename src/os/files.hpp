// The files the shell writes: one replaced whole or not at all, and a log that several processes
// append to a line at a time. A FileError's text ends the shell's message ("cannot write ...: <text>").
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fwup::os {

struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// `path` and `other` (UTF-8) are one file, whatever names they go by; false when either is missing.
bool SameFile(const std::string& path, const std::string& other);

// What a path names that is not a regular file, for messages: "a folder", "a device", ...
std::string KindOf(std::filesystem::file_type type);

// A file to be replaced is checked in two steps, the shell refusing its own inputs in between: what
// `path` names (nothing, or a regular file, on Windows not read-only), then whether it and its
// folder may be written.
void CheckFileKind(const std::string& path);
void CheckWritable(const std::string& path);

// Writes `bytes` to a temporary file beside `path`, synced, and renames it over `path` only when
// whole. A failure leaves `path` as it was, and removes only that temporary file.
void WriteWhole(const std::string& path, std::span<const std::uint8_t> bytes);

// A file open for appending, created when missing. Every process appending to it holds one
// exclusive lock on it around its append, and a line the disk took only part of is cut back off
// under that lock, so that the file holds whole lines. Nothing in it is removed or rewritten.
class AppendFile {
 public:
  explicit AppendFile(const std::string& path);  // refuses what is not a regular file
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Locks and unlocks it once: a file system without locks is found before the first line.
  void CheckLock();

  // Appends `line` (ending in a newline) and syncs it, after a newline of its own when the file
  // does not end in one. Safe from several threads and processes. A failure leaves the file as it
  // was, unless a program that ignores the lock wrote to it meanwhile: the text then says what is left.
  void Append(std::string_view line);

 private:
  // The platform's part: each returns the system's reason, empty when done.
  std::string Lock(bool exclusive);  // false: unlock
  std::string Size(std::int64_t& size);
  std::string ReadByte(std::int64_t at, char& byte);
  std::string Write(std::string_view text, std::size_t& put);  // at the end, as an append-only handle
  std::string Sync();
  std::string CutBack(std::int64_t size);

  std::intptr_t handle_;
  std::mutex mutex_;  // the threads of this process share the handle, and so its file lock
};

}  // namespace fwup::os
