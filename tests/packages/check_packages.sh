#!/usr/bin/env bash
# Checks the Debian packages in BUILD/packages as a user meets them: lintian finds no error,
# libprc.so.0 carries its SONAME, every program unpacked from the packages answers --version
# and --help without a display, every manual page renders without a warning, and an unpacked
# Tarnhollow started in an empty folder finds the packaged catalogue and components, both beside
# its installation and, moved away from it, through XDG_DATA_DIRS.
set -euo pipefail
build=$(cd "${1:?usage: check_packages.sh BUILD_DIR}" && pwd)
version=$(sed -n 's/^#define PALM_FLASH_TOOLS_VERSION "\(.*\)"$/\1/p' \
    "$build/generated/palm_flash_tools_version.h")
tools_deb=$build/packages/palm-flash-tools_${version}_$(dpkg --print-architecture).deb
dev_deb=$build/packages/libprc-dev_${version}_$(dpkg --print-architecture).deb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "check_packages: $*" >&2
    exit 1
}

echo "== lintian"
lintian_output=$(lintian --fail-on error --tag-display-limit 0 "$tools_deb" "$dev_deb" 2>&1 |
    grep -v '^running with root privileges' || true)
[ -z "$lintian_output" ] || echo "$lintian_output"
if grep -q '^E:' <<<"$lintian_output"; then
    fail "lintian reports errors"
fi

echo "== contents"
root=$work/root
mkdir -p "$root"
dpkg-deb -x "$tools_deb" "$root"
dpkg-deb -x "$dev_deb" "$root"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
libdir=$root/usr/lib/$multiarch
objdump -p "$libdir/libprc.so.0" | grep -Eq '^\s+SONAME\s+libprc\.so\.0$' ||
    fail "libprc.so.0 has no SONAME libprc.so.0"
[ "$(readlink "$libdir/libprc.so")" = libprc.so.0 ] || fail "libprc.so does not link to libprc.so.0"
for path in usr/include/prc.h "usr/lib/$multiarch/pkgconfig/prc.pc" \
    usr/lib/udev/rules.d/60-palm-handhelds.rules usr/share/applications/ostervane.desktop \
    usr/share/applications/tarnhollow.desktop usr/share/man/man3/libprc.3.gz \
    usr/share/tarnhollow/SourcePRCs/PayLoad.prc; do
    [ -e "$root/$path" ] || fail "$path is not in the packages"
done
ls "$root"/usr/share/tarnhollow/Devices/*.txt >/dev/null || fail "no catalogue is packaged"
dpkg-deb -I "$tools_deb" postinst | grep -q 'udevadm control --reload-rules' ||
    fail "palm-flash-tools does not reload the udev rules"

# Programs run from the unpacked root find libprc there; no display, so the window programs
# must answer before they open one.
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY LD_LIBRARY_PATH="$libdir" "$@"
}

echo "== programs"
programs=(ostervane ostervane-cli tarnhollow tarnhollow-cli handheld-sim prcdump)
[ "$(ls "$root/usr/bin" | sort)" = "$(printf '%s\n' "${programs[@]}" | sort)" ] ||
    fail "usr/bin holds $(ls "$root/usr/bin" | tr '\n' ' ')"
mkdir "$work/empty"
cd "$work/empty"
for program in "${programs[@]}"; do
    first=$(run "$root/usr/bin/$program" --version | head -n 1)
    [ "$first" = "$program $version" ] || fail "$program --version printed \"$first\""
    run "$root/usr/bin/$program" --help >"$work/help.txt" || fail "$program --help failed"
    grep -q "$program" "$work/help.txt" || fail "$program --help does not name the program"
    page=$root/usr/share/man/man1/$program.1.gz
    [ -f "$page" ] || fail "no manual page for $program"
    echo "$program $version: --version, --help and $(basename "$page")"
done
for page in "$root"/usr/share/man/man1/*.gz "$root"/usr/share/man/man3/*.gz; do
    warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

echo "== building against libprc-dev"
# A program built with the packaged header, pkg-config file and link reads a packaged database.
cat >"$work/reader.c" <<'PROGRAM'
#include <prc.h>
#include <stdio.h>

int main(int argc, char **argv) {
    prc_t *prc = prcopen(argv[argc - 1], PRC_OPEN_READ);
    if (prc == NULL) {
        fprintf(stderr, "%s\n", prcstrerror(prcgeterrno()));
        return 1;
    }
    printf("%s\n", prc->name);
    prcdestroy(prc);
    return 0;
}
PROGRAM
flags=$(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$libdir/pkgconfig pkg-config --cflags --libs prc)
# shellcheck disable=SC2086 # the flags are words
cc -Wall -Wextra -Werror "$work/reader.c" $flags -o "$work/reader" || fail "cannot build against libprc"
name=$(run "$work/reader" "$root/usr/share/tarnhollow/SourcePRCs/PayLoad.prc") ||
    fail "the program built against libprc cannot read PayLoad.prc"
echo "PayLoad.prc read through the packaged libprc: \"$name\""

echo "== installed data"
share=$root/usr/share/tarnhollow
for program in tarnhollow tarnhollow-cli; do
    found=$(run "$root/usr/bin/$program" --version)
    grep -qxF "Device catalogue: $share/Devices" <<<"$found" ||
        fail "$program beside its installation: $found"
    grep -qxF "Component databases: $share/SourcePRCs" <<<"$found" ||
        fail "$program beside its installation: $found"
done
# Moved away from its installation, the program finds the data through XDG_DATA_DIRS only.
mkdir -p "$work/moved/bin" "$work/data-home"
cp "$root/usr/bin/tarnhollow" "$root/usr/bin/tarnhollow-cli" "$work/moved/bin/"
moved() {
    run env XDG_DATA_HOME="$work/data-home" XDG_DATA_DIRS="$work/nowhere:$root/usr/share" "$@"
}
for program in tarnhollow tarnhollow-cli; do
    found=$(moved "$work/moved/bin/$program" --version)
    grep -qxF "Device catalogue: $share/Devices" <<<"$found" || fail "moved $program: $found"
    grep -qxF "Component databases: $share/SourcePRCs" <<<"$found" || fail "moved $program: $found"
done
# And builds a package from them: the catalogue's device, the components' sizes in its summary.
summary=$(moved "$work/moved/bin/tarnhollow-cli" build Pkg.prc --device "Example Handheld" \
    --remove Clock --language English)
grep -qx "Available Expansion ROM: 16192K" <<<"$summary" || fail "build printed: $summary"
[ -f Pkg.prc ] && [ -f Pkg-Uninstaller.prc ] || fail "build wrote no package"
moved "$work/moved/bin/tarnhollow-cli" inspect Pkg.prc | grep -q '"m_deviceIds": \["EXMP"\]' ||
    fail "the built package does not read back"
echo "All package checks passed."
