// Standard output as the program writes it: held here and handed to the platform's write in
// pieces, with the first failure kept, so that the end of a run can tell a reader that went away
// (never a failure of the run: the upgrades go on) from a write the system refused (a full disk:
// said, and the run fails). Safe from several threads, as the standard streams are: the stream
// keeps no buffer of its own, every character comes here under the lock.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

namespace fwup::os {

class StandardOutput : public std::streambuf {
 public:
  struct Failure {
    bool reader_gone = false;  // a closed pipe
    std::string why;           // the system's words
  };
  // Writes all of `bytes`, or says why it could not.
  using Write = std::function<std::optional<Failure>(std::string_view bytes)>;

  // How long bytes wait here: until 8 KiB are held (as the C library buffers a file or a pipe),
  // until their line ends (a terminal), or not at all (a Windows console).
  enum class Buffering { kBlocks, kLines, kNone };
  StandardOutput(Write write, Buffering buffering);

  // Why a write failed; empty when none did or when the reader went away.
  std::string FailureText() const;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  bool Put(std::string_view bytes);
  bool Drain();  // with the lock held

  static constexpr std::size_t kBufferSize = 8192;
  const Write write_;
  const Buffering buffering_;
  mutable std::mutex mutex_;
  std::string pending_;
  std::optional<Failure> failure_;
};

}  // namespace fwup::os
