#include "upgrade/outcome_names.hpp"

namespace fwup {

std::string_view NameOf(LoadOutcome outcome) {
  switch (outcome) {
    case LoadOutcome::NotRun:
      return "not-run";
    case LoadOutcome::Loaded:
      return "loaded";
    case LoadOutcome::ProbeFailed:
      return "cannot-open";
    case LoadOutcome::OpenFailed:
      return "cannot-open-stream";
    case LoadOutcome::BadSignature:
      return "bad-signature";
    case LoadOutcome::EmptyFile:
      return "empty-file";
    case LoadOutcome::MissingEndRecord:
      return "missing-end-record";
    case LoadOutcome::DefectiveRecord:
      return "defective-record";
    case LoadOutcome::ReadError:
      return "read-error";
  }
  return "unknown";
}

std::string_view NameOf(RunStep step) {
  switch (step) {
    case RunStep::NotRun:
      return "not-run";
    case RunStep::DeviceInfo:
      return "device-info";
    case RunStep::LoadImage:
      return "load-image";
    case RunStep::Refused:
      return "refused";
    case RunStep::Erase:
      return "erase";
    case RunStep::ActiveCheck:
      return "active-check";
    case RunStep::ProgramWrite:
      return "program-write";
    case RunStep::ProgramEnd:
      return "program-end";
    case RunStep::CrcSend:
      return "crc-send";
    case RunStep::CrcResponse:
      return "crc-response";
    case RunStep::Reset:
      return "reset";
    case RunStep::Interrupted:
      return "interrupted";
    case RunStep::Done:
      return "done";
  }
  return "unknown";
}

std::string_view NameOf(Verdict verdict) {
  switch (verdict) {
    case Verdict::None:
      return "none";
    case Verdict::Match:
      return "match";
    case Verdict::Mismatch:
      return "mismatch";
    case Verdict::NoVerdict:
      return "no-verdict";
  }
  return "unknown";
}

}  // namespace fwup
