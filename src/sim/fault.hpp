// Faults a test can switch on in a simulated boot loader. A fault hits one transfer, named
// either by its number (1-based, writes and reads counted together from the first request the
// device gets) or by the request it concerns: the n-th request with a command code. Faults on
// reads then hit the read of that request's answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ports/hid.hpp"

namespace fwup::sim {

enum class FaultKind {
  FailWrite,        // the write call fails with `error` (0: FALSE with last error 0); nothing is sent
  FailRead,         // the read call fails with `error`; the answer is lost
  NoAnswer,         // the device never answers: the read gives up
  LateAnswer,       // the answer comes only after the read gave up, and stays queued
  WrongAnswerCode,  // the answer's code byte is `value`
  Verdict,          // the checksum answer's verdict byte is `value`, whatever the memory holds
  Disconnect,       // the device is gone from this transfer on
};

struct Fault {
  FaultKind kind = FaultKind::FailWrite;
  std::uint32_t at = 0;                 // transfer number; 0 when `command` names the request
  std::optional<std::uint8_t> command;  // or: the request with this code ...
  std::uint32_t occurrence = 1;         // ... the n-th one
  std::uint32_t error = kErrorGenFailure;
  std::uint8_t value = 0;
};

// "KIND@WHERE[:VALUE]", for instance "fail-write@12:31", "no-answer@crc", "fail-read@crc:0",
// "verdict:55", "wrong-code@app-version:00", "disconnect@program#300". WHERE is a transfer number
// or a command name (ready, app-version, boot-version, info, erase, program, end, crc, reset)
// with an optional "#n" for its n-th request. VALUE is hex (an error code in decimal).
std::optional<Fault> ParseFault(std::string_view text, std::string* why = nullptr);

// "[N=]FAULT": a fault for simulated device N of `count`, device 1 when N is not given.
// `what` and `from` name the devices in a message ("the board number must be 1 to 5 (--sim-arrivals
// 5@100)"); nothing, with `why` set, for a text that is wrong.
struct NumberedFault {
  std::uint32_t device = 1;
  Fault fault;
};
std::optional<NumberedFault> ParseNumberedFault(std::string_view text, unsigned count, std::string_view what,
                                                std::string_view from, std::string* why);

// The accepted forms, for a shell's help.
std::string_view FaultSyntaxHelp();

}  // namespace fwup::sim
