#include "upgrade/upgrade_run.hpp"

#include "upgrade/load_firmware_image.hpp"
#include "upgrade/program_device.hpp"
#include "upgrade/query_device_info.hpp"
#include "upgrade/session.hpp"

namespace fwup {

void RunUpgrade(Session& session) {
  RunOutcome& outcome = session.outcome;
  outcome = RunOutcome{};
  Firmware& firmware = session.firmware;
  const UpgradeHooks& hooks = session.hooks;
  if (session.settings.StopRequested()) {
    outcome.step = RunStep::Interrupted;
  } else if (const auto info = QueryDeviceInfo(session.connection, session.settings, firmware.FirmwareImage,
                                               session.shown, outcome)) {
    session.DeviceInfo = *info;
    const std::uint32_t loaded =
        hooks.load_image ? hooks.load_image(firmware, session.shown) : LoadFirmwareImage(firmware, session.shown);
    if (loaded != kStageSuccess) {
      outcome.step = RunStep::LoadImage;
    } else if (hooks.approve_erase && !hooks.approve_erase(firmware, session.DeviceInfo)) {
      outcome.step = RunStep::Refused;
    } else if (session.settings.StopRequested()) {
      outcome.step = RunStep::Interrupted;
    } else {
      outcome = ProgramDevice(session.connection, session.settings, firmware.FirmwareImage, session.DeviceInfo,
                              session.shown);
    }
  }
  firmware.FirmwareFile.Close();
  session.connection.link.Close();
}

}  // namespace fwup
