#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it and checks what a user gets:
# control fields, the file list, the desktop entry, the man pages, the udev rule, the unpacked
# programs and lintian's verdict.
# Usage: PackageTest.sh BUILD_DIR DEB_VERSION "PROGRAM..."
set -uo pipefail
build=$1
version=$2
read -r -a programs <<<"$3"

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAILED: cpack" >&2
  exit 1
fi
deb="$work/out/vxktool_${version}_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
  ls "$work/out" >&2
  echo "FAILED: no $deb" >&2
  exit 1
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vxktool ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Section)" = electronics ] || fail "Section is '$(field Section)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)'"
depends=$(field Depends)
needs_of() { readelf -d "$1" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'; }
tool_needs=$(needs_of "$build/vxktool")
expected_deps=(qt6-qpa-plugins libqt6widgets6 libqt6dbus6 libqt6keychain1 libsecret-1-0
              libhidapi-libusb0)
grep -q '^libzip' <<<"$tool_needs" && expected_deps+=(libzip4)
grep -q '^libpng' <<<"$tool_needs" && expected_deps+=(libpng16-16)
for dep in "${expected_deps[@]}"; do
  [[ ", $depends," == *", $dep "* || ", $depends," == *", $dep,"* ]] || fail "Depends lacks $dep: $depends"
done

# The file list, exactly: nothing forgotten, nothing installed by accident.
root="$work/root"
dpkg-deb -x "$deb" "$root"
expected=(
  usr/lib/udev/rules.d/70-vxkeeper.rules
  usr/share/applications/vxktool.desktop
  usr/share/doc/vxktool/changelog.Debian.gz
  usr/share/doc/vxktool/copyright
  usr/share/doc/vxktool/examples/haproxy.cfg
  usr/share/icons/hicolor/256x256/apps/vxktool.png
  usr/share/icons/hicolor/scalable/apps/vxktool.svg
)
for p in "${programs[@]}"; do
  expected+=("usr/bin/$p" "usr/share/man/man1/$p.1.gz")
  [[ $p == vxkctl ]] && expected+=(usr/share/bash-completion/completions/vxkctl)
done
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) \
  || fail "file list (< expected, > packaged)"
file "$root/usr/share/icons/hicolor/256x256/apps/vxktool.png" | grep -q '256 x 256' || fail "icon size"

desktop-file-validate "$root/usr/share/applications/vxktool.desktop" || fail "desktop entry"
grep -qx 'Exec=vxktool' "$root/usr/share/applications/vxktool.desktop" || fail "desktop Exec"

for p in "${programs[@]}"; do
  page="$root/usr/share/man/man1/$p.1.gz"
  warnings=$(LC_ALL=C MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$work/$p.txt")
  [ -z "$warnings" ] || fail "man page of $p: $warnings"
  lexgrog "$page" | grep -q "\"$p - " || fail "man page of $p has no NAME line lexgrog reads"
  # Every option of the help is in the page.
  for opt in $(grep -o -- ' -[-a-z]*[a-z]' "$build/packaging/man/$p.help" | sort -u); do
    grep -q -- "$opt" "$work/$p.txt" || fail "man page of $p lacks $opt"
  done
done
grep -q dialout "$work/vxktool.txt" || fail "man page of vxktool says nothing of dialout"

rule="$root/usr/lib/udev/rules.d/70-vxkeeper.rules"
for subsystem in usb hidraw; do
  grep -E "^SUBSYSTEM==\"$subsystem\".*\{idVendor\}==\"16d0\".*\{idProduct\}==\"064e\".*TAG\+=\"uaccess\"" \
    "$rule" >/dev/null || fail "udev rule for the $subsystem node"
done

# The unpacked programs run and end by themselves after their help.
bin="$root/usr/bin"
out=$(timeout 20 "$bin/vxktool" -help <&-) || fail "vxktool -help exit status $?"
grep -q '^ -server=PORT' <<<"$out" || fail "vxktool -help printed: $out"
out=$(timeout 20 "$bin/vxksim" --help </dev/null) || fail "vxksim --help exit status $?"
grep -q -- '--tcp HOST:PORT' <<<"$out" || fail "vxksim --help printed: $out"
out=$(timeout 20 "$bin/vxksim" --version </dev/null) || fail "vxksim --version exit status $?"
[ "$out" = "vxksim ${version%-*}" ] || fail "vxksim --version printed '$out'"

# lintian: warnings are listed, errors fail.
if ! lintian --fail-on error --tag-display-limit 0 "$deb"; then
  fail "lintian reports errors"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package $(basename "$deb") checked"
