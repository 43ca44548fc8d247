#include "upgrade/upgrade_run.hpp"

#include "upgrade/load_firmware_image.hpp"
#include "upgrade/program_device.hpp"
#include "upgrade/query_device_info.hpp"
#include "upgrade/session.hpp"

namespace fwup {

void RunUpgrade(Session& session) {
  session.outcome = RunOutcome{};
  if (session.StopRequested()) {
    session.outcome.step = RunStep::Interrupted;
  } else if (QueryDeviceInfo(session) == kStageSuccess) {
    const std::uint32_t loaded = session.load_image ? session.load_image(session) : LoadFirmwareImage(session);
    if (loaded != kStageSuccess) {
      session.outcome.step = RunStep::LoadImage;
    } else if (session.approve_erase && !session.approve_erase(session)) {
      session.outcome.step = RunStep::Refused;
    } else if (session.StopRequested()) {
      session.outcome.step = RunStep::Interrupted;
    } else {
      (void)ProgramDevice(session);
    }
  }
  session.FirmwareFile.Close();
  session.link.Close();
}

}  // namespace fwup
