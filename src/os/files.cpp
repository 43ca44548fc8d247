// What the files share on every platform: the same-file check, the words for a kind of file, and
// the rules of the append.
#include "os/files.hpp"

namespace fwup::os {

bool SameFile(const std::string& path, const std::string& other) {
  // Names are UTF-8 everywhere; as char8_t they reach Windows as UTF-16 and POSIX unchanged.
  const auto name = [](const std::string& text) {
    return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
  };
  std::error_code error;
  return std::filesystem::equivalent(name(path), name(other), error) && !error;
}

std::string KindOf(std::filesystem::file_type type) {
  using enum std::filesystem::file_type;
  if (type == directory) return "a folder";
  if (type == fifo) return "a FIFO";
  if (type == character || type == block) return "a device";
  return type == socket ? "a socket" : "not a regular file";
}

void AppendFile::CheckLock() {
  std::string why = Lock(true);
  if (why.empty()) why = Lock(false);
  if (!why.empty()) throw FileError("it cannot be locked (" + why + ")");
}

void AppendFile::Append(std::string_view line) {
  static constexpr const char* kNotWritten = "; the line was not written and the log is as it was";
  const std::lock_guard threads(mutex_);
  if (const std::string why = Lock(true); !why.empty()) throw FileError("cannot lock it: " + why + kNotWritten);
  const struct Unlock {
    AppendFile& file;
    ~Unlock() { (void)file.Lock(false); }
  } unlock{*this};

  std::int64_t before = 0;
  if (const std::string why = Size(before); !why.empty()) throw FileError(why + kNotWritten);
  char last = '\n';
  if (const std::string why = before > 0 ? ReadByte(before - 1, last) : ""; !why.empty()) {
    throw FileError("cannot read its last byte: " + why + kNotWritten);
  }
  // A last line without its newline keeps its bytes and gets one, so that this line stands alone.
  std::string text = last == '\n' ? std::string() : std::string("\n");
  text += line;

  std::size_t put = 0;
  std::string why = Write(text, put);
  if (why.empty()) why = Sync();
  if (why.empty()) return;
  if (put == 0) throw FileError(why + kNotWritten);

  // Cut back only what this write put there: a size other than that means a program that ignores
  // the lock appended meanwhile, and its bytes are not ours to cut.
  std::int64_t after = 0;
  if (const std::string size = Size(after); !size.empty()) {
    why += "; its size cannot be read (" + size + ")";
  } else if (after != before + static_cast<std::int64_t>(put)) {
    why += "; something else wrote to it at the same time";
  } else if (const std::string cut = CutBack(before); !cut.empty()) {
    why += "; it cannot be cut back (" + cut + ")";
  } else {
    (void)Sync();
    throw FileError(why + kNotWritten);
  }
  throw FileError(why + ", so " + std::to_string(put) + " bytes of the line are left in it");
}

}  // namespace fwup::os
