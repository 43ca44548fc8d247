// The firmware file on disk: the access probe and the binary stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

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

}  // namespace fwup
