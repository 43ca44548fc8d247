#include "image/load_firmware_image.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "image/hex_record.hpp"
#include "image/parse_hex_field.hpp"
#include "upgrade/session.hpp"

namespace fwup {
namespace {

constexpr std::array<std::uint8_t, 7> FirmwareSignature = {'T', 'A', 'L', 'V', 'O', 'R', 'K'};
// The signature and the two bytes of its line end.
constexpr std::uint64_t kFirstRecordOffset = 9;

// A failure the user must see before the dialog goes: traced, and shown in a box owned by it.
std::uint32_t FailWithBox(Session& session) {
  session.view.ShowBox({session.trace.TraceBuffer(), "Firmware Upgrade", box_style::kOk, BoxOwner::Dialog});
  return kErrorFunctionFailed;
}

// A refused file once it is open: status text, trace line and box carry the same words.
std::uint32_t Refuse(Session& session, LoadOutcome outcome, const char* text) {
  session.load_report.outcome = outcome;
  session.view.SetStatusText(text);
  session.trace.Format("%s\r\n", text);
  return FailWithBox(session);
}

enum class SignatureCheck { Matched, Mismatched, Empty, ReadError };

struct Signature {
  SignatureCheck check;
  bool ends_in_cr_lf;  // the two bytes after it, which are skipped unread
};

Signature CheckSignature(std::FILE* stream) {
  std::array<std::uint8_t, kFirstRecordOffset> head{};
  const std::size_t read = std::fread(head.data(), 1, head.size(), stream);
  if (std::ferror(stream)) return {SignatureCheck::ReadError, false};
  if (read == 0) return {SignatureCheck::Empty, false};
  const bool matched =
      read >= FirmwareSignature.size() && std::equal(FirmwareSignature.begin(), FirmwareSignature.end(), head.begin());
  return {matched ? SignatureCheck::Matched : SignatureCheck::Mismatched,
          read == head.size() && head[7] == '\r' && head[8] == '\n'};
}

class RecordLoader {
 public:
  explicit RecordLoader(Session& session) : session_(session) {}

  // Reads from RecordOffset to an obeyed end record, or to the end of the file.
  LoadOutcome Run() {
    LineBuffer buffer;
    std::span<const std::uint8_t> line;
    unsigned line_number = first_line_number_;
    bool line_continues = false;  // the last piece ended without its LF
    for (;;) {
      const LineRead read = ReadLineAt(session_.FirmwareFile.Stream(), session_.RecordOffset, buffer, line);
      if (read == LineRead::Error) return LoadOutcome::ReadError;
      if (read == LineRead::EndOfFile) return defect_ ? LoadOutcome::DefectiveRecord : LoadOutcome::MissingEndRecord;
      session_.RecordOffset += line.size();
      if (!line_continues) ++line_number;
      const LineContext context{line_continues, line.back() != '\n',
                                line_number == 2 && !line_continues && !signature_ends_in_cr_lf_};
      line_continues = line.back() != '\n';
      if (HasLoneCarriageReturn(line)) session_.load_report.lone_carriage_returns = true;
      if (line[0] == 0) continue;  // a line that starts with NUL is skipped
      if (Handle(line, line_number, context)) {
        session_.load_report.end_record_line = line_number;
        return LoadOutcome::Loaded;
      }
    }
  }

  void StartAtLine(unsigned line_number, bool signature_ends_in_cr_lf) {
    first_line_number_ = line_number;
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
      session_.trace.Format("Checksum Error\r\n");
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
      session_.load_report.bytes_above_image += record.count;
      return;
    }
    for (std::uint32_t k = 0; k < record.count; ++k) {
      const std::uint32_t address = record.address + k;
      if (address >= kImageSize) {
        session_.load_report.bytes_above_image += record.count - k;
        break;
      }
      session_.FirmwareImage[address] = record.DataByte(k);
      session_.load_report.written.set(address);
    }
  }

  void NoteDefect(const HexRecord& record, std::span<const std::uint8_t> line, unsigned line_number,
                  const LineContext& context) {
    if (!defect_) NoteDefect(line_number, DescribeDefect(record, line, context));
  }

  void NoteDefect(unsigned line_number, std::string reason) {
    if (!defect_) session_.load_report.first_defect = RecordFault{line_number, std::move(reason)};
    defect_ = true;
  }

  Session& session_;
  unsigned first_line_number_ = 0;
  bool signature_ends_in_cr_lf_ = true;
  bool defect_ = false;  // RecordDefect
  std::uint32_t UpperAddress = 0;
};

}  // namespace

std::uint32_t LoadFirmwareImage(Session& session) {
  LoadReport& report = session.load_report;
  report = LoadReport{};

  const std::uint32_t probe_error = session.probe_file(session.ImagePath);
  if (probe_error != 0) {
    report.outcome = LoadOutcome::ProbeFailed;
    report.error_code = probe_error;
    session.trace.Format("Could n't get File Handle = %lu\r\n", static_cast<unsigned long>(probe_error));
    return FailWithBox(session);
  }
  const int open_error = session.FirmwareFile.Open(session.ImagePath);
  if (open_error != 0) {
    report.outcome = LoadOutcome::OpenFailed;
    report.error_code = static_cast<std::uint32_t>(open_error);
    session.trace.Format("Error in File Open err = %lu\r\n", static_cast<unsigned long>(open_error));
    return FailWithBox(session);
  }

  RecordLoader loader(session);
  const Signature signature = CheckSignature(session.FirmwareFile.Stream());
  switch (signature.check) {
    case SignatureCheck::Mismatched:
      // Shown in a box as well: the dialog closes right after a refusal, taking its status text
      // with it before anyone could read it.
      return Refuse(session, LoadOutcome::BadSignature, "Invalid Firmware Signature");
    case SignatureCheck::Empty:
      // Nothing to load: reading the records of an empty file would find none, and an empty
      // image must never reach the erase.
      return Refuse(session, LoadOutcome::EmptyFile, "Invalid Firmware File: Empty");
    case SignatureCheck::ReadError:
      return Refuse(session, LoadOutcome::ReadError, "Firmware File Read Error");
    case SignatureCheck::Matched:
      session.view.SetProgress(10);
      session.view.SetStatusText("Valid Firmware Signature");
      session.RecordOffset = kFirstRecordOffset;
      loader.StartAtLine(1, signature.ends_in_cr_lf);
      break;
  }

  report.outcome = loader.Run();
  switch (report.outcome) {
    case LoadOutcome::Loaded:
      return kStageSuccess;
    case LoadOutcome::ReadError:
      return Refuse(session, LoadOutcome::ReadError, "Firmware File Read Error");
    case LoadOutcome::DefectiveRecord: {
      char text[64];
      std::snprintf(text, sizeof text, "Invalid Firmware Record at Line %u", report.first_defect->line);
      return Refuse(session, LoadOutcome::DefectiveRecord, text);
    }
    default:
      return Refuse(session, LoadOutcome::MissingEndRecord, "Invalid Firmware File: No End Record");
  }
}

}  // namespace fwup
