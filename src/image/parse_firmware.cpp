#include "image/parse_firmware.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <span>

#include "image/firmware_file.hpp"

namespace fwup {
namespace {

// The digit value of every byte: 0-9, A-F and a-f as hex digits, any other byte its signed value
// minus 48, modulo 65,536.
constexpr std::array<std::uint16_t, 256> kHexDigits = [] {
  std::array<std::uint16_t, 256> digits{};
  for (int byte = 0; byte < 256; ++byte) {
    const int as_signed = byte < 128 ? byte : byte - 256;
    digits[byte] = static_cast<std::uint16_t>(as_signed - 48);
    if (byte >= 'A' && byte <= 'F') digits[byte] = static_cast<std::uint16_t>(byte - 'A' + 10);
    if (byte >= 'a' && byte <= 'f') digits[byte] = static_cast<std::uint16_t>(byte - 'a' + 10);
  }
  return digits;
}();

// Value of a field of hex digits, most significant first. Every character of `text` is taken,
// whatever it is: a non-hex byte counts as its signed value minus 48, modulo 65,536, and the
// arithmetic wraps at 32 bits. Callers hand it exactly the characters of the field.
std::uint32_t ParseHexField(std::span<const std::uint8_t> text) {
  std::uint32_t value = 0;
  // The same sum as weights 1, 16, 256, ... from the last character, modulo 2^32.
  for (const std::uint8_t character : text) value = value * 16 + kHexDigits[character];
  return value;
}

enum class RecordType : std::uint32_t {
  Data = 0x00,
  EndOfFile = 0x01,
  ExtendedLinearAddress = 0x04,
};

// One record line of the firmware file: its fields at their fixed positions, and the checksum
// test. A line shorter than its fields is reported as such and nothing past its end is read.
struct HexRecord {
  bool starts_with_colon = false;
  // The line holds every field its count calls for (11 + 2N characters). When it does not, the
  // fields past its end are not decoded and the record must not be obeyed.
  bool complete = false;
  std::uint32_t count = 0;
  std::uint32_t address = 0;
  std::uint32_t type = 0;
  std::uint32_t checksum = 0;               // as written in the line
  std::uint32_t expected_checksum = 0;      // what the other fields call for
  std::span<const std::uint8_t> data_text;  // 2N characters, when complete
  // Position in the line of the first field character that is not a hex digit, 0 when there is
  // none. The field decoder gives such a character a value, so its checksum can even pass; the
  // record is refused all the same.
  std::size_t bad_digit_at = 0;

  bool ChecksumMatches() const { return complete && checksum == expected_checksum; }
  // Data byte k: the low 8 bits of its two characters' value.
  std::uint8_t DataByte(std::uint32_t k) const {
    return static_cast<std::uint8_t>(ParseHexField(data_text.subspan(2 * std::size_t{k}, 2)));
  }
};

// How a line was read, for telling why it was refused.
struct LineContext {
  bool continues_longer_line = false;       // a piece after the first 259 characters of a line
  bool without_line_feed = false;           // the piece ends without its LF
  bool after_short_signature_line = false;  // the first record, after a signature line not ended by CR LF
};

constexpr std::size_t kCountAt = 1;
constexpr std::size_t kAddressAt = 3;
constexpr std::size_t kTypeAt = 7;
constexpr std::size_t kDataAt = 9;
constexpr std::size_t kFixedFields = 11;  // ':', count, address, type, checksum

std::uint32_t Field(std::span<const std::uint8_t> line, std::size_t at, std::size_t length) {
  return ParseHexField(line.subspan(at, length));
}

std::size_t FirstNonHexDigit(std::span<const std::uint8_t> line, std::size_t from, std::size_t to) {
  for (std::size_t at = from; at < to && at < line.size(); ++at) {
    if (!std::isxdigit(line[at])) return at;
  }
  return 0;
}

// A CR inside the line, not followed by its LF: the file's lines end in CR alone.
bool HasLoneCarriageReturn(std::span<const std::uint8_t> line) {
  for (std::size_t at = 0; at + 1 < line.size(); ++at) {
    if (line[at] == '\r' && line[at + 1] != '\n') return true;
  }
  return false;
}

HexRecord DecodeRecord(std::span<const std::uint8_t> line) {
  HexRecord record;
  record.starts_with_colon = !line.empty() && line[0] == ':';
  record.bad_digit_at = FirstNonHexDigit(line, kCountAt, kDataAt);
  if (line.size() < kDataAt) return record;  // not even the count, address and type

  record.count = Field(line, kCountAt, 2);
  record.address = Field(line, kAddressAt, 4);
  record.type = Field(line, kTypeAt, 2);
  const std::uint64_t needed = kFixedFields + 2 * std::uint64_t{record.count};
  if (line.size() < needed) return record;
  // Fits: the line is at least this long.
  if (record.bad_digit_at == 0) record.bad_digit_at = FirstNonHexDigit(line, kDataAt, static_cast<std::size_t>(needed));

  record.complete = true;
  record.data_text = line.subspan(kDataAt, 2 * std::size_t{record.count});
  record.checksum = Field(line, kDataAt + record.data_text.size(), 2);
  // Count, the two address bytes, type and the data bytes, each from its two characters.
  std::uint32_t sum = 0;
  for (std::size_t at = kCountAt; at < kDataAt + record.data_text.size(); at += 2) sum += Field(line, at, 2);
  record.expected_checksum = (256 - sum % 256) % 256;
  return record;
}

// Why a record line was refused, for a user who has to mend the file.
std::string DescribeDefect(const HexRecord& record, std::span<const std::uint8_t> line, const LineContext& context) {
  std::size_t line_length = line.size();
  while (line_length > 0 && (line[line_length - 1] == '\n' || line[line_length - 1] == '\r')) --line_length;
  char text[200];
  if (HasLoneCarriageReturn(line)) {
    std::snprintf(text, sizeof text, "its lines end in CR alone; save the file with CR LF line ends");
  } else if (context.continues_longer_line || (context.without_line_feed && line.size() == kLinePieceLimit)) {
    std::snprintf(text, sizeof text,
                  "line longer than %zu characters (a record holds at most 123 data bytes); the rest of the line is "
                  "read as a line of its own",
                  kLinePieceLimit);
  } else if (context.after_short_signature_line) {
    std::snprintf(text, sizeof text,
                  "the signature line does not end in CR LF, so this record lost its first character; save the file "
                  "with CR LF line ends");
  } else if (line_length == 0 || (line_length <= 2 && !record.starts_with_colon)) {
    std::snprintf(text, sizeof text, "blank line");
  } else if (!record.starts_with_colon) {
    std::snprintf(text, sizeof text, "line does not begin with ':'");
  } else if (!record.complete && !(record.bad_digit_at != 0 && record.bad_digit_at < kAddressAt)) {
    // A count that is no number calls for no length: its bad digit is said below instead.
    std::snprintf(text, sizeof text, "record too short: %zu characters where its count calls for %llu", line_length,
                  11ull + 2ull * record.count);
  } else if (record.bad_digit_at != 0) {
    const std::uint8_t c = line[record.bad_digit_at];
    if (c == ' ') {
      std::snprintf(text, sizeof text, "a space at column %zu is not a hex digit", record.bad_digit_at + 1);
    } else if (c > ' ' && c < 0x7F) {
      std::snprintf(text, sizeof text, "'%c' at column %zu is not a hex digit", static_cast<char>(c),
                    record.bad_digit_at + 1);
    } else {
      std::snprintf(text, sizeof text, "byte 0x%02X at column %zu is not a hex digit", static_cast<unsigned>(c),
                    record.bad_digit_at + 1);
    }
  } else {
    std::snprintf(text, sizeof text, "checksum %02X, record sums to %02X", record.checksum & 0xFFu,
                  (256u - record.expected_checksum) % 256u);
  }
  return text;
}

constexpr std::array<std::uint8_t, 7> FirmwareSignature = {'T', 'A', 'L', 'V', 'O', 'R', 'K'};
// The signature and the two bytes of its line end.
constexpr std::uint64_t kFirstRecordOffset = 9;

enum class LineRead { Line, EndOfFile, Error };

// The line that starts at `offset`: up to its LF, or a piece of kLinePieceLimit bytes of a
// longer one.
LineRead ReadLine(const FirmwareBytes& file, std::uint64_t offset, std::span<const std::uint8_t>& line) {
  line = {};
  const std::span<const std::uint8_t> rest =
      std::span(file.bytes).subspan(static_cast<std::size_t>(std::min<std::uint64_t>(offset, file.bytes.size())));
  const std::size_t limit = std::min(rest.size(), kLinePieceLimit);
  const void* const lf = std::memchr(rest.data(), '\n', limit);
  const std::size_t length =
      lf == nullptr ? limit : static_cast<std::size_t>(static_cast<const std::uint8_t*>(lf) - rest.data()) + 1;
  // A piece cut short by the end of what was read, not by its LF or its limit, met the error.
  if (file.read_failed && lf == nullptr && length == rest.size() && length < kLinePieceLimit) return LineRead::Error;
  if (length == 0) return LineRead::EndOfFile;
  line = rest.first(length);
  return LineRead::Line;
}

// Appends what `stream` holds to `file`, until it ends or fails or `file` holds more than `limit`
// bytes.
void ReadStream(std::FILE* stream, FirmwareBytes& file, std::size_t limit) {
  constexpr std::size_t kChunk = 1u << 16;
  for (;;) {
    const std::size_t have = file.bytes.size();
    file.bytes.resize(have + kChunk);
    const std::size_t got = std::fread(file.bytes.data() + have, 1, kChunk, stream);
    file.bytes.resize(have + got);
    file.read_failed = std::ferror(stream) != 0;
    if (file.read_failed || got < kChunk || file.bytes.size() > limit) return;
  }
}

class RecordLoader {
 public:
  RecordLoader(const FirmwareBytes& file, ImageBuffer& image, LoadReport& report, bool signature_ends_in_cr_lf)
      : file_(file), image_(image), report_(report), signature_ends_in_cr_lf_(signature_ends_in_cr_lf) {}

  // Reads from the line after the signature to an obeyed end record, or to the end of the file.
  LoadOutcome Run() {
    std::span<const std::uint8_t> line;
    unsigned line_number = 1;     // the signature's
    bool line_continues = false;  // the last piece ended without its LF
    for (;;) {
      const LineRead read = ReadLine(file_, RecordOffset, line);
      if (read == LineRead::Error) return LoadOutcome::ReadError;
      if (read == LineRead::EndOfFile) return defect_ ? LoadOutcome::DefectiveRecord : LoadOutcome::MissingEndRecord;
      RecordOffset += line.size();
      if (!line_continues) ++line_number;
      const LineContext context{line_continues, line.back() != '\n',
                                line_number == 2 && !line_continues && !signature_ends_in_cr_lf_};
      line_continues = line.back() != '\n';
      if (HasLoneCarriageReturn(line)) report_.lone_carriage_returns = true;
      if (line[0] == 0) continue;  // a line that starts with NUL is skipped
      if (Handle(line, line_number, context)) {
        report_.end_record_line = line_number;
        return LoadOutcome::Loaded;
      }
    }
  }

 private:
  // True when the line was an obeyed end record.
  bool Handle(std::span<const std::uint8_t> line, unsigned line_number, const LineContext& context) {
    const HexRecord record = DecodeRecord(line);
    if (!record.starts_with_colon || !record.complete) {
      NoteDefect(record, line, line_number, context);
      if (!record.complete) return false;
    }
    if (!record.ChecksumMatches()) {
      ++report_.checksum_errors;
      NoteDefect(record, line, line_number, context);
      return false;
    }
    // A character that is no hex digit was given a value that no tool that made the file meant.
    if (record.bad_digit_at != 0) NoteDefect(record, line, line_number, context);
    if (defect_) return false;  // nothing is obeyed after a defect
    switch (static_cast<RecordType>(record.type)) {
      case RecordType::Data:
        StoreData(record);
        return false;
      case RecordType::EndOfFile:
        return true;
      case RecordType::ExtendedLinearAddress:
        if (record.count < 2) {
          // Its four digits would come from beyond its data; placing the data that follows on
          // a guess could write the wrong addresses.
          NoteDefect(line_number, "extended address record with fewer than 2 data bytes");
          return false;
        }
        UpperAddress = ParseHexField(record.data_text.first(4));
        return false;
      default:
        return false;  // other record types change nothing
    }
  }

  void StoreData(const HexRecord& record) {
    // UpperAddress * 65,536 + address, without wrap-around: while UpperAddress is 1 or more
    // every address lies above the image and nothing is stored.
    if (UpperAddress != 0) {
      report_.bytes_above_image += record.count;
      return;
    }
    for (std::uint32_t k = 0; k < record.count; ++k) {
      const std::uint32_t address = record.address + k;
      if (address >= kImageSize) {
        report_.bytes_above_image += record.count - k;
        break;
      }
      image_[address] = record.DataByte(k);
      report_.written.set(address);
    }
  }

  void NoteDefect(const HexRecord& record, std::span<const std::uint8_t> line, unsigned line_number,
                  const LineContext& context) {
    if (!defect_) NoteDefect(line_number, DescribeDefect(record, line, context));
  }

  void NoteDefect(unsigned line_number, std::string reason) {
    if (!defect_) report_.first_defect = RecordFault{line_number, std::move(reason)};
    defect_ = true;
  }

  const FirmwareBytes& file_;
  ImageBuffer& image_;
  LoadReport& report_;
  const bool signature_ends_in_cr_lf_;
  std::uint64_t RecordOffset = kFirstRecordOffset;  // where the next line is read
  bool defect_ = false;                             // RecordDefect
  std::uint32_t UpperAddress = 0;
};

}  // namespace

LoadReport ParseFirmwareFile(std::FILE* stream, ImageBuffer& image) {
  FirmwareBytes file;
  // Bounded, so that a wrong pick (a disk image, an endless device) is never held whole: what lies
  // past the limit is taken as unreadable, which only a file with no end record by then reaches.
  ReadStream(stream, file, kMaxFirmwareFileSize);
  if (file.bytes.size() > kMaxFirmwareFileSize) {
    file.bytes.resize(kMaxFirmwareFileSize);
    file.read_failed = true;
  }
  return ParseFirmwareBytes(file, image);
}

LoadReport ParseFirmwareBytes(const FirmwareBytes& file, ImageBuffer& image) {
  LoadReport report;
  const std::span<const std::uint8_t> head =
      std::span(file.bytes).first(std::min<std::size_t>(file.bytes.size(), kFirstRecordOffset));
  // A read that failed part way fails where reading the open file would have: at the end of
  // what was read.
  if (head.size() < kFirstRecordOffset && file.read_failed) {
    report.outcome = LoadOutcome::ReadError;
  } else if (head.empty()) {
    // Nothing to load: reading the records of an empty file would find none, and an empty
    // image must never reach the erase.
    report.outcome = LoadOutcome::EmptyFile;
  } else if (head.size() < FirmwareSignature.size() ||
             !std::equal(FirmwareSignature.begin(), FirmwareSignature.end(), head.begin())) {
    report.outcome = LoadOutcome::BadSignature;
  } else {
    report.signature_matched = true;
    // The two bytes after the signature are skipped unread.
    const bool ends_in_cr_lf = head.size() == kFirstRecordOffset && head[7] == '\r' && head[8] == '\n';
    report.outcome = RecordLoader(file, image, report, ends_in_cr_lf).Run();
  }
  return report;
}

LoadReport LoadFirmwareFile(const std::filesystem::path& path, ImageBuffer& image, FirmwareBytes& read) {
  read = FirmwareBytes{};
  image.fill(kErasedByte);
  LoadReport report;
  report.error_code = ProbeFirmwareFile(path);
  if (report.error_code != 0) {
    report.outcome = LoadOutcome::ProbeFailed;
    return report;
  }
  FirmwareStream stream;
  if (const int error = stream.Open(path); error != 0) {
    report.outcome = LoadOutcome::OpenFailed;
    report.error_code = static_cast<std::uint32_t>(error);
    return report;
  }
  // Read once, whole: these bytes are the ones parsed, and the ones a shell hashes and logs.
  ReadStream(stream.Stream(), read, kMaxFirmwareFileSize);
  if (read.bytes.size() > kMaxFirmwareFileSize) return report;  // NotRun: the caller refuses it whole
  return ParseFirmwareBytes(read, image);
}

}  // namespace fwup
