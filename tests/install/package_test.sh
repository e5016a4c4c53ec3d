#!/usr/bin/env bash
# Builds the Debian package from a built tree, checks what it declares and holds, unpacks it into
# a scratch root and runs the programs installed there: pelmaro-cli builds and searches a small
# generated tree, pelmaro answers --help, --version and a wrong call without a display.
#
#   package_test.sh CPACK CPACK_CONFIG VERSION
set -euo pipefail

cpack=$1
config=$2
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Runs a command, expecting `status` and a stdout equal to `out`; stderr must be empty for 0.
expect() {
    local status=$1 out=$2
    shift 2
    local got=0
    "$@" >"$work/out" 2>"$work/err" || got=$?
    [[ $got == "$status" ]] || fail "$* exited $got, not $status: $(cat "$work/err")"
    [[ $(cat "$work/out") == "$out" ]] || fail "$* printed \"$(cat "$work/out")\", not \"$out\""
    if [[ $status == 0 && -s $work/err ]]; then
        fail "$* complained: $(cat "$work/err")"
    fi
    return 0
}

"$cpack" --config "$config" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.log")"
debs=("$work"/package/pelmaro_"$version"_*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "no single package in: $(ls "$work/package")"
deb=${debs[0]}
echo "built $(basename "$deb")"

# Declared: the libraries the programs link, as Debian packages.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6webenginewidgets6; do
    [[ ,$depends, =~ [,\ ]"$package"[\ ,] ]] || fail "Depends lacks $package"
done
# Every dependency is met by the packages installed here, versions included: the programs below
# run against what the package asks for.
IFS=',' read -ra groups <<<"$depends"
for group in "${groups[@]}"; do
    met=false
    IFS='|' read -ra choices <<<"$group"
    for choice in "${choices[@]}"; do
        read -r name relation wanted <<<"$(tr -d '()' <<<"$choice")"
        installed=$(dpkg-query -W -f='${Status} ${Version}' "$name" 2>/dev/null || true)
        [[ $installed == "install ok installed "* ]] || continue
        if [[ -z ${relation:-} ]] ||
            dpkg --compare-versions "${installed##* }" "$relation" "$wanted"; then
            met=true
        fi
    done
    $met || fail "dependency not met here: $group"
done
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "version $(dpkg-deb -f "$deb" Version)"

# Held: the programs, the menu entry, the icon, the description, the type, the manuals, the
# licence and the changelog.
dpkg-deb -x "$deb" "$work/root"
for file in usr/bin/pelmaro usr/bin/pelmaro-cli \
    usr/share/applications/org.pelmaro.Pelmaro.desktop \
    usr/share/icons/hicolor/scalable/apps/org.pelmaro.Pelmaro.svg \
    usr/share/metainfo/org.pelmaro.Pelmaro.metainfo.xml \
    usr/share/mime/packages/pelmaro.xml \
    usr/share/man/man1/pelmaro.1.gz usr/share/man/man1/pelmaro-cli.1.gz \
    usr/share/doc/pelmaro/copyright usr/share/doc/pelmaro/changelog.gz; do
    [[ -f $work/root/$file ]] || fail "the package lacks /$file"
done
[[ -x $work/root/usr/bin/pelmaro && -x $work/root/usr/bin/pelmaro-cli ]] || fail "not executable"
# As installed, the description finds its desktop entry, and the entry its icon.
appstreamcli validate-tree --no-net "$work/root" >"$work/tree.log" 2>&1 ||
    fail "appstreamcli validate-tree: $(cat "$work/tree.log")"
icon=$(sed -n 's/^Icon=//p' "$work/root/usr/share/applications/org.pelmaro.Pelmaro.desktop")
[[ -f $work/root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "no icon \"$icon\""
gzip -t "$work/root/usr/share/man/man1/pelmaro.1.gz" "$work/root/usr/share/man/man1/pelmaro-cli.1.gz"
# The licence as the description declares it, in the format Debian's tools read; the changelog's
# newest entry is this version.
doc=$work/root/usr/share/doc/pelmaro
grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$" \
    "$doc/copyright" || fail "copyright is not in the machine-readable format"
grep -q "^License: GPL-3.0+$" "$doc/copyright" || fail "copyright names no GPL-3.0+"
grep -q "<project_license>GPL-3.0-or-later</project_license>" \
    "$work/root/usr/share/metainfo/org.pelmaro.Pelmaro.metainfo.xml" ||
    fail "the description names no GPL-3.0-or-later"
[[ $(zcat "$doc/changelog.gz" | head -1) == "pelmaro ($version) "* ]] ||
    fail "the changelog starts: $(zcat "$doc/changelog.gz" | head -1)"
# Debian's own check of the package, where it is installed: errors fail, the rest is shown.
if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 ||
        fail "lintian: $(cat "$work/lintian.log")"
    grep -v "^running with root privileges" "$work/lintian.log" || true
fi

bin=$work/root/usr/bin
# The programs link the system's libraries, all found; the command line needs no Qt.
ldd "$bin/pelmaro" "$bin/pelmaro-cli" >"$work/ldd" 2>&1 || fail "ldd: $(cat "$work/ldd")"
! grep -q "not found" "$work/ldd" || fail "$(grep "not found" "$work/ldd")"
! ldd "$bin/pelmaro-cli" | grep -qi qt || fail "pelmaro-cli links Qt"

# pelmaro-cli, as installed, on a small tree.
expect 0 "pelmaro-cli $version" "$bin/pelmaro-cli" --version
mkdir -p "$work/tree/guide"
printf '<html><head><title>Welcome</title></head><body>start here</body></html>\n' \
    >"$work/tree/index.htm"
printf '<title>Install guide</title>\nrun the installer\n' >"$work/tree/guide/install.html"
printf 'Release notes\nnothing to install\n' >"$work/tree/notes.txt"
expect 0 "3 entries" "$bin/pelmaro-cli" build "$work/tree"
[[ -f $work/tree/pelmaropath.title && -f $work/tree/pelmaropath.path ]] ||
    fail "build stored no catalogue"
expect 0 "Install guide|0" "$bin/pelmaro-cli" titles "$work/tree/pelmaropath.path" guide
expect 0 $'Install guide|0\nRelease notes|1' \
    "$bin/pelmaro-cli" search "$work/tree/pelmaropath.path" install
expect 1 "" "$bin/pelmaro-cli" search "$work/tree/pelmaropath.path" absent
expect 2 "" "$bin/pelmaro-cli" build

# pelmaro, as installed: what it answers before it needs a display.
expect 0 "pelmaro $version" env -u DISPLAY -u WAYLAND_DISPLAY "$bin/pelmaro" --version
env -u DISPLAY -u WAYLAND_DISPLAY "$bin/pelmaro" --help >"$work/help" ||
    fail "pelmaro --help failed"
grep -q "^usage: pelmaro \[FOLDER | CATALOGUE.path\]$" "$work/help" || fail "help: $(cat "$work/help")"
expect 2 "" env -u DISPLAY -u WAYLAND_DISPLAY "$bin/pelmaro" "$work/none"
grep -q "^usage: pelmaro" "$work/err" || fail "no usage line for a wrong call: $(cat "$work/err")"
echo "ok: package"
