#!/bin/bash
# The Debian package as built: its control fields (name, the project's version, the declared
# libraries), exactly the expected files with their modes, the shipped files equal to the
# sources, and a man page that covers every command of the program's --help.
#
# check_deb.sh --deb DEB --version VERSION --source DIR --program FWUPGRADE
set -uo pipefail
while [ $# -gt 0 ]; do
  case $1 in
  --deb) deb=$2 ;; --version) version=$2 ;; --source) source=$2 ;; --program) program=$2 ;;
  *) echo "check_deb: unknown option $1"; exit 2 ;;
  esac
  shift 2
done

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
[ -f "$deb" ] || { echo "FAILED: no package $deb"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb --info "$deb"
dpkg-deb -x "$deb" "$work/root" || { echo "FAILED: dpkg-deb cannot unpack $deb"; exit 1; }

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = fwupgrade ] || fail "package name $(field Package)"
[ "$(field Version)" = "$version" ] || fail "version $(field Version), the project's is $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture $(field Architecture)"
depends=$(field Depends)
for library in libhidapi-hidraw0 libudev1 libssl3 libc6; do
  echo "$depends" | grep -Eq "(^|, )$library( |,|$)" || fail "Depends ($depends) lacks $library"
done

# The files, no more and no fewer, with the modes Debian expects.
(cd "$work/root" && find . -type f -printf '%m %p\n' | sort -k2) >"$work/files.txt"
cat >"$work/expected-files.txt" <<LIST
755 ./usr/bin/fwupgrade
644 ./usr/lib/udev/rules.d/70-fwupgrade.rules
644 ./usr/share/doc/fwupgrade/README.md
644 ./usr/share/doc/fwupgrade/changelog.gz
644 ./usr/share/doc/fwupgrade/copyright
644 ./usr/share/doc/fwupgrade/examples/sample-firmware.hex
644 ./usr/share/man/man1/fwupgrade.1.gz
LIST
diff -u --label expected --label packaged "$work/expected-files.txt" "$work/files.txt" || fail "the package's files"
odd_dirs=$(cd "$work/root" && find . -type d ! -perm 755)
[ -z "$odd_dirs" ] || fail "directories not 755: $odd_dirs"

cmp "$source/packaging/udev/70-fwupgrade.rules" "$work/root/usr/lib/udev/rules.d/70-fwupgrade.rules" ||
  fail "the udev rule is not the source's"
cmp "$source/README.md" "$work/root/usr/share/doc/fwupgrade/README.md" || fail "the README is not the source's"
cmp "$source/examples/sample-firmware.hex" "$work/root/usr/share/doc/fwupgrade/examples/sample-firmware.hex" ||
  fail "the sample firmware is not the source's"
zcat "$work/root/usr/share/doc/fwupgrade/changelog.gz" | head -1 | grep -qF "fwupgrade ($version) " ||
  fail "the changelog's last entry is not version $version"

# The packaged program is the built one, stripped.
packaged="$work/root/usr/bin/fwupgrade"
[ "$("$packaged" --version)" = "fwupgrade $version" ] || fail "packaged --version: $("$packaged" --version)"
cmp -s <("$program" --help) <("$packaged" --help) || fail "the packaged program's --help is not the built one's"
file "$packaged" | grep -q ', stripped' || fail "the packaged program is not stripped: $(file "$packaged")"

# The man page: made from this version's --help, every command in it, and the FILES section.
zcat "$work/root/usr/share/man/man1/fwupgrade.1.gz" | sed 's/\\-/-/g' >"$work/page.man"
grep -Eq "^\.TH FWUPGRADE \"1\" .*\"fwupgrade $version\"" "$work/page.man" || fail "man page header: $(grep '^\.TH' "$work/page.man")"
commands=$("$program" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && /^  [a-z]/ {print $1}')
[ -n "$commands" ] || fail "no commands found in --help"
for command in $commands; do
  grep -q "fwupgrade $command " "$work/page.man" || fail "the man page lacks 'fwupgrade $command'"
done
grep -q '^\.SH FILES' "$work/page.man" || fail "the man page lacks its FILES section"
grep -q '70-fwupgrade.rules' "$work/page.man" || fail "the man page does not name the udev rule"

[ $failures -eq 0 ] && echo "package $(basename "$deb") as expected"
exit $((failures > 0))
