#include "os/standard_output.hpp"

#include <utility>

namespace fwup::os {

StandardOutput::StandardOutput(Write write, Buffering buffering) : write_(std::move(write)), buffering_(buffering) {}

std::string StandardOutput::FailureText() const {
  const std::lock_guard lock(mutex_);
  return failure_ && !failure_->reader_gone ? failure_->why : std::string();
}

StandardOutput::int_type StandardOutput::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return Put(std::string_view(&byte, 1)) ? c : traits_type::eof();
}

std::streamsize StandardOutput::xsputn(const char* text, std::streamsize count) {
  return Put(std::string_view(text, static_cast<std::size_t>(count))) ? count : 0;
}

int StandardOutput::sync() {
  const std::lock_guard lock(mutex_);
  return Drain() ? 0 : -1;
}

bool StandardOutput::Put(std::string_view bytes) {
  const std::lock_guard lock(mutex_);
  if (failure_) return false;  // what follows a lost piece would mislead
  pending_.append(bytes);
  if (buffering_ == Buffering::kNone || pending_.size() >= kBufferSize ||
      (buffering_ == Buffering::kLines && bytes.find('\n') != std::string_view::npos)) {
    return Drain();
  }
  return true;
}

bool StandardOutput::Drain() {
  if (failure_) return false;
  if (pending_.empty()) return true;
  failure_ = write_(pending_);
  pending_.clear();
  return !failure_;
}

}  // namespace fwup::os
