#!/bin/bash
# lintian on the Debian package: any error or warning fails. Informational tags are shown, not
# judged.
# lintian.sh DEB
set -uo pipefail
deb=$1
[ -f "$deb" ] || { echo "FAILED: no package $deb"; exit 1; }
lintian --version
lintian --display-info --fail-on error,warning "$deb"
status=$?
[ $status -eq 0 ] && echo "lintian: no error, no warning" || echo "FAILED: lintian found errors or warnings"
exit $status
