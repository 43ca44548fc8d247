#!/bin/sh
# fwupgrade as help2man runs it (FWUP_PROGRAM names the program): its own --help and --version,
# with layout changes that help2man reads as meant: the second usage line as "or:", a blank line
# between each command's description and its options, so that they become a list, and between
# the examples, so that each keeps its own line.
[ "$1" = "--help" ] || exec "$FWUP_PROGRAM" "$@"
"$FWUP_PROGRAM" --help | awk '
  after_usage && /^ +fwupgrade / { sub(/^ +/, "  or: ") }
  { after_usage = /^Usage:/ }
  command_line { print; print ""; command_line = 0; next }
  /^fwupgrade [a-z]+ / { command_line = 1 }
  examples > 1 && /^ / { print "" }
  examples { examples++ }
  /^Examples:/ { examples = 1 }
  { print }
'
