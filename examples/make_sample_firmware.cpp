// Makes examples/sample-firmware.hex, the firmware file of the demo: the signature line, then
// Intel HEX records for a 40 KiB application at 0x1000 and a 2 KiB settings table at 0xE800,
// inside the simulated boot loader's region 0x1000-0xEFFF, with a gap of 0xFF between them.
// Everything is derived from fixed seeds, so the file is the same on every run:
//   make_sample_firmware > examples/sample-firmware.hex
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint32_t kApplicationStart = 0x1000;
constexpr std::uint32_t kApplicationSize = 40 * 1024;
constexpr std::uint32_t kSettingsStart = 0xE800;
constexpr std::uint32_t kSettingsSize = 2 * 1024;
constexpr std::size_t kBytesPerRecord = 32;

// xorshift32: the "code" bytes, reproducible without any library.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  std::uint8_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<std::uint8_t>(state_ >> 24);
  }

 private:
  std::uint32_t state_;
};

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutText(std::vector<std::uint8_t>& bytes, std::size_t at, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) bytes[at + i] = static_cast<std::uint8_t>(text[i]);
}

// A vector table of 48 entries pointing into the application, an identification block, then
// code.
std::vector<std::uint8_t> Application() {
  std::vector<std::uint8_t> bytes(kApplicationSize);
  Noise noise(0x5EED1234);
  for (std::uint8_t& byte : bytes) byte = noise.Next();
  PutU32(bytes, 0, 0x20002000);  // initial stack
  for (std::size_t entry = 1; entry < 48; ++entry) {
    PutU32(bytes, entry * 4, kApplicationStart + 0x200 + static_cast<std::uint32_t>(entry) * 0x40 + 1);
  }
  PutText(bytes, 0xC0,
          std::string_view("SAMPLE APPLICATION\0"
                           "2.5.0\0",
                           25));
  return bytes;
}

// Settings: 64 entries of 32 bytes, each its number, a default and a name; the rest erased.
std::vector<std::uint8_t> Settings() {
  std::vector<std::uint8_t> bytes(kSettingsSize, 0xFF);
  for (std::uint32_t entry = 0; entry < 64; ++entry) {
    const std::size_t at = entry * 32;
    PutU32(bytes, at, entry);
    PutU32(bytes, at + 4, entry * 100 + 7);
    char name[24];
    std::snprintf(name, sizeof name, "setting-%02u", static_cast<unsigned>(entry));
    PutText(bytes, at + 8, name);
  }
  return bytes;
}

void Record(std::string& out, std::uint32_t address, std::uint8_t type, const std::uint8_t* data, std::size_t count) {
  char text[16];
  std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(count), static_cast<unsigned>(address),
                static_cast<unsigned>(type));
  out += text;
  unsigned sum = static_cast<unsigned>(count) + (address >> 8) + (address & 0xFF) + type;
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(data[i]));
    out += text;
    sum += data[i];
  }
  std::snprintf(text, sizeof text, "%02X\r\n", (256 - sum % 256) % 256);
  out += text;
}

void DataRecords(std::string& out, std::uint32_t start, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += kBytesPerRecord) {
    const std::size_t count = bytes.size() - at < kBytesPerRecord ? bytes.size() - at : kBytesPerRecord;
    Record(out, start + static_cast<std::uint32_t>(at), 0x00, bytes.data() + at, count);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string out = "TALVORK\r\n";
  const std::uint8_t upper[2] = {0x00, 0x00};
  Record(out, 0, 0x04, upper, 2);  // extended linear address 0: the records below lie in the first 64 KiB
  DataRecords(out, kApplicationStart, Application());
  DataRecords(out, kSettingsStart, Settings());
  Record(out, 0, 0x01, nullptr, 0);

  std::FILE* file = argc > 1 ? std::fopen(argv[1], "wb") : stdout;
  if (file == nullptr) {
    std::fprintf(stderr, "make_sample_firmware: cannot write %s\n", argv[1]);
    return 1;
  }
  const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
  const bool closed = file == stdout ? std::fflush(file) == 0 : std::fclose(file) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "make_sample_firmware: writing failed\n");
    return 1;
  }
  return 0;
}
