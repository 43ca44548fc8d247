// A minimal HidBus over hidapi's hidraw back end, for the guest's own upgrade program only: every
// hidapi device is one interface, its hardware ID built the Windows way from what hidapi reports.
// The command line's hidapi adapter supersedes it once the scenarios run the real tool.
#pragma once

#include <string>

#include "ports/hid.hpp"

namespace fwup::vm {

class HidapiBus : public HidBus {
 public:
  HidapiBus();
  ~HidapiBus() override;
  HidapiBus(const HidapiBus&) = delete;
  HidapiBus& operator=(const HidapiBus&) = delete;

  std::unique_ptr<HidEnumeration> Enumerate() override;
  OpenResult Open(const std::string& path, HidAccess access) override;
};

// hidapi's own view of every present device, one line each, for the scenario's evidence.
std::string DescribeHidapiDevices();

}  // namespace fwup::vm
