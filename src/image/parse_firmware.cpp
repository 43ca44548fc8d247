#include "image/parse_firmware.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>

#include "image/firmware_file.hpp"
#include "image/hex_record.hpp"
#include "image/parse_hex_field.hpp"

namespace fwup {
namespace {

constexpr std::array<std::uint8_t, 7> FirmwareSignature = {'T', 'A', 'L', 'V', 'O', 'R', 'K'};
// The signature and the two bytes of its line end.
constexpr std::uint64_t kFirstRecordOffset = 9;

enum class SignatureCheck { Matched, Mismatched, Empty, ReadError };

struct Signature {
  SignatureCheck check;
  bool ends_in_cr_lf;  // the two bytes after it, which are skipped unread
};

// Where the loader's bytes come from: the open stream, as the dialog reads it, or the bytes a
// shell read from the file once, so that what it parses is what it hashes and logs.
class Source {
 public:
  virtual ~Source() = default;
  // The first bytes of the file, up to `head`'s size; nothing after a read error.
  virtual std::optional<std::size_t> ReadHead(std::span<std::uint8_t> head) = 0;
  virtual LineRead ReadLine(std::uint64_t offset, LineBuffer& buffer, std::span<const std::uint8_t>& line) = 0;
};

class StreamSource final : public Source {
 public:
  explicit StreamSource(std::FILE* stream) : stream_(stream) {}
  std::optional<std::size_t> ReadHead(std::span<std::uint8_t> head) override {
    const std::size_t read = std::fread(head.data(), 1, head.size(), stream_);
    if (std::ferror(stream_)) return std::nullopt;
    return read;
  }
  LineRead ReadLine(std::uint64_t offset, LineBuffer& buffer, std::span<const std::uint8_t>& line) override {
    return ReadLineAt(stream_, offset, buffer, line);
  }

 private:
  std::FILE* stream_;
};

// The stream's rules over bytes in memory: a read that failed part way fails where the stream's
// would have, at the end of what was read.
class BytesSource final : public Source {
 public:
  explicit BytesSource(const FirmwareBytes& file) : file_(file) {}
  std::optional<std::size_t> ReadHead(std::span<std::uint8_t> head) override {
    const std::size_t read = std::min(head.size(), file_.bytes.size());
    if (read < head.size() && file_.read_failed) return std::nullopt;
    std::copy_n(file_.bytes.begin(), read, head.begin());
    return read;
  }
  // The line is taken where it lies; `buffer` is for the stream's copy only.
  LineRead ReadLine(std::uint64_t offset, LineBuffer&, std::span<const std::uint8_t>& line) override {
    line = {};
    const std::span<const std::uint8_t> rest =
        std::span(file_.bytes).subspan(std::min<std::uint64_t>(offset, file_.bytes.size()));
    const std::size_t limit = std::min(rest.size(), kLinePieceLimit);
    const void* const lf = std::memchr(rest.data(), '\n', limit);
    const std::size_t length =
        lf == nullptr ? limit : static_cast<std::size_t>(static_cast<const std::uint8_t*>(lf) - rest.data()) + 1;
    // A piece cut short by the end of what was read, not by its LF or its limit, met the error.
    if (file_.read_failed && lf == nullptr && length == rest.size() && length < kLinePieceLimit) return LineRead::Error;
    if (length == 0) return LineRead::EndOfFile;
    line = rest.first(length);
    return LineRead::Line;
  }

 private:
  const FirmwareBytes& file_;
};

Signature CheckSignature(Source& source) {
  std::array<std::uint8_t, kFirstRecordOffset> head{};
  const std::optional<std::size_t> got = source.ReadHead(head);
  if (!got) return {SignatureCheck::ReadError, false};
  const std::size_t read = *got;
  if (read == 0) return {SignatureCheck::Empty, false};
  const bool matched =
      read >= FirmwareSignature.size() && std::equal(FirmwareSignature.begin(), FirmwareSignature.end(), head.begin());
  return {matched ? SignatureCheck::Matched : SignatureCheck::Mismatched,
          read == head.size() && head[7] == '\r' && head[8] == '\n'};
}

class RecordLoader {
 public:
  RecordLoader(Source& source, ImageBuffer& image, LoadReport& report)
      : source_(source), image_(image), report_(report) {}

  // Reads from RecordOffset to an obeyed end record, or to the end of the file.
  LoadOutcome Run() {
    LineBuffer buffer;
    std::span<const std::uint8_t> line;
    unsigned line_number = first_line_number_;
    bool line_continues = false;  // the last piece ended without its LF
    for (;;) {
      const LineRead read = source_.ReadLine(RecordOffset, buffer, line);
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

  void StartAfterSignature(bool signature_ends_in_cr_lf) {
    RecordOffset = kFirstRecordOffset;
    first_line_number_ = 1;
    signature_ends_in_cr_lf_ = signature_ends_in_cr_lf;
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

  Source& source_;
  ImageBuffer& image_;
  LoadReport& report_;
  std::uint64_t RecordOffset = 0;  // where the next line is read
  unsigned first_line_number_ = 0;
  bool signature_ends_in_cr_lf_ = true;
  bool defect_ = false;  // RecordDefect
  std::uint32_t UpperAddress = 0;
};

LoadReport Parse(Source& source, ImageBuffer& image) {
  LoadReport report;
  RecordLoader loader(source, image, report);
  const Signature signature = CheckSignature(source);
  switch (signature.check) {
    case SignatureCheck::Mismatched:
      report.outcome = LoadOutcome::BadSignature;
      return report;
    case SignatureCheck::Empty:
      // Nothing to load: reading the records of an empty file would find none, and an empty
      // image must never reach the erase.
      report.outcome = LoadOutcome::EmptyFile;
      return report;
    case SignatureCheck::ReadError:
      report.outcome = LoadOutcome::ReadError;
      return report;
    case SignatureCheck::Matched:
      report.signature_matched = true;
      loader.StartAfterSignature(signature.ends_in_cr_lf);
      break;
  }
  report.outcome = loader.Run();
  return report;
}

}  // namespace

LoadReport ParseFirmwareFile(std::FILE* stream, ImageBuffer& image) {
  StreamSource source(stream);
  return Parse(source, image);
}

LoadReport ParseFirmwareBytes(const FirmwareBytes& file, ImageBuffer& image) {
  BytesSource source(file);
  return Parse(source, image);
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
  constexpr std::size_t kChunk = 1u << 16;
  for (;;) {
    const std::size_t have = read.bytes.size();
    read.bytes.resize(have + kChunk);
    const std::size_t got = std::fread(read.bytes.data() + have, 1, kChunk, stream.Stream());
    read.bytes.resize(have + got);
    read.read_failed = std::ferror(stream.Stream()) != 0;
    if (read.read_failed || got < kChunk || read.bytes.size() > kMaxFirmwareFileSize) break;
  }
  if (read.bytes.size() > kMaxFirmwareFileSize) return report;  // NotRun: the caller refuses it whole
  return ParseFirmwareBytes(read, image);
}

}  // namespace fwup
