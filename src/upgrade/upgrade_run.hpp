#pragma once

namespace fwup {

struct Session;

// What "Load Image" does: the three stages in order, stopping at the first failure, then the
// firmware file and both device handles are closed. Where it ended is in session.outcome.
void RunUpgrade(Session& session);

}  // namespace fwup
