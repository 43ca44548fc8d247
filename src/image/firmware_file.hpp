// The firmware file on disk: the access probe, the binary stream, and its line reader.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>

namespace fwup {

// An open binary stream on the firmware file; empty until the loader opens it.
class FirmwareStream {
 public:
  bool IsOpen() const { return stream_ != nullptr; }
  std::FILE* Stream() const { return stream_.get(); }
  // 0, or the run-time library's error number.
  int Open(const std::filesystem::path& path);
  void Close() { stream_.reset(); }

 private:
  struct Closer {
    void operator()(std::FILE* stream) const noexcept { std::fclose(stream); }
  };
  std::unique_ptr<std::FILE, Closer> stream_;
};

// Checks that the file can be opened for reading by us alone; 0 or a platform error code.
// Shells on a platform with a probe of its own install that one in the session.
std::uint32_t ProbeFirmwareFile(const std::filesystem::path& path);

// A line ends after its LF; a longer line comes in pieces of this many characters, each read as
// a line of its own. CR is an ordinary character.
inline constexpr std::size_t kLinePieceLimit = 259;

enum class LineRead { Line, EndOfFile, Error };

// Room for one piece and the terminating NUL that the C library adds.
using LineBuffer = std::array<char, kLinePieceLimit + 1>;

// Reads the line that starts at `offset` into `buffer`; `line` then holds its bytes, NULs in it
// included.
LineRead ReadLineAt(std::FILE* stream, std::uint64_t offset, LineBuffer& buffer, std::span<const std::uint8_t>& line);

}  // namespace fwup
