// The firmware file parsed into the 64 KiB image: the signature, then the records, each rule of
// the format in one place. It knows nothing of devices, views or traces, so every caller (the
// upgrade stage, check, image, flash, the fuzzer) parses a file the same way, once.
#pragma once

#include <bitset>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "image/firmware_image.hpp"

namespace fwup {

// How reading a firmware file ended.
enum class LoadOutcome {
  NotRun,
  Loaded,       // an end record was obeyed
  ProbeFailed,  // the file cannot be opened (missing, no access, held elsewhere)
  OpenFailed,   // the stream cannot be opened
  BadSignature,
  EmptyFile,
  MissingEndRecord,  // the file ends without an end record and without a defect
  DefectiveRecord,   // a defect came before any end record
  ReadError,
};

struct RecordFault {
  unsigned line = 0;  // 1-based; the signature is line 1
  std::string reason;
};

struct LoadReport {
  LoadOutcome outcome = LoadOutcome::NotRun;
  std::uint32_t error_code = 0;    // of the probe or the stream open
  bool signature_matched = false;  // records were read
  unsigned checksum_errors = 0;    // records whose checksum did not match, in file order
  std::optional<RecordFault> first_defect;
  unsigned end_record_line = 0;
  std::bitset<kImageSize> written;  // addresses that data records set
  // Data bytes of obeyed records at addresses from 64 KiB up, which the image cannot hold.
  std::uint32_t bytes_above_image = 0;
  bool lone_carriage_returns = false;  // some line ends in CR alone
};

// A firmware file's bytes as one read took them: the whole file, or what came before a read error.
struct FirmwareBytes {
  std::vector<std::uint8_t> bytes;
  bool read_failed = false;
};

// More than any firmware file for a 64 KiB image could hold; a larger file is not read whole.
inline constexpr std::size_t kMaxFirmwareFileSize = 64u << 20;

// The signature, then records up to an obeyed end record or the end of the file; a read that
// failed part way is a read error where the parse reaches it. Stores data bytes into `image`,
// which the caller has erased; nothing else of it is touched.
LoadReport ParseFirmwareBytes(const FirmwareBytes& file, ImageBuffer& image);

// Reads `stream` whole from where it stands, and parses those bytes.
LoadReport ParseFirmwareFile(std::FILE* stream, ImageBuffer& image);

// Probes, opens, reads whole into `read` and parses the file at `path` into `image` (erased
// first). For callers with no device: check, image, and flash before it touches one. A file
// larger than kMaxFirmwareFileSize is left unparsed (outcome NotRun, more bytes in `read` than
// the limit).
LoadReport LoadFirmwareFile(const std::filesystem::path& path, ImageBuffer& image, FirmwareBytes& read);

}  // namespace fwup
