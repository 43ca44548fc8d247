# The uhid device is destroyed after packet 300 (the cable pulled): the write that follows fails,
# the upgrade stops with the step's failure box within the bounded wait, and nothing claims
# success. uhid queues output reports without flow control, so the host may get a few more
# writes through before the device is gone.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
removed_mid_programming uhid
finish
