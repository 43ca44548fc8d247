#include "image/parse_firmware.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "image/firmware_file.hpp"
#include "image/hex_record.hpp"
#include "image/parse_hex_field.hpp"

namespace fwup {
namespace {

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
