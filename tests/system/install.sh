#!/usr/bin/env bash
# The Debian package: built with CPack, unpacked into a private root, its launcher and
# metainfo accepted by the desktop's checkers, and the installed program started under X.
# Usage: install.sh PATH_TO_TROVANEL BUILD_DIR
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build=${2:?build folder}

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log" >&2; fail "cpack did not build the package"; }
deb=$(ls "$work"/package/trovanel_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "no .deb was made"
depends=$(dpkg-deb -f "$deb" Depends)
for need in curl libqt6widgets6 libxlsxwriter4; do
    [[ $depends == *$need* ]] || fail "the package does not depend on $need: $depends"
done

root="$work/root"
dpkg -x "$deb" "$root"
for file in usr/bin/trovanel usr/share/applications/trovanel.desktop \
    usr/share/metainfo/io.github.brenvatic.Trovanel.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/trovanel.svg \
    usr/share/icons/hicolor/48x48/apps/trovanel.png; do
    [ -e "$root/$file" ] || fail "the package lacks $file"
done
desktop-file-validate "$root/usr/share/applications/trovanel.desktop" || fail "launcher refused"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.brenvatic.Trovanel.metainfo.xml" \
    >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "metainfo refused"; }

# Every library the program is linked against comes from a package the .deb names (the C and
# C++ runtimes are on every system); a missing one would fail only on a machine without it. The
# sanitizer build links its runtimes and every library it is handed, and is never shipped.
needed=$(readelf -d "$root/usr/bin/trovanel" | awk '/NEEDED/ {gsub(/[][]/, "", $5); print $5}')
if [[ $needed == *libasan* ]]; then
    needed=""
fi
while read -r soname; do
    [ -n "$soname" ] || continue
    # awk reads to the end: leaving early would stop ldconfig with a broken pipe.
    file=$(ldconfig -p | awk -v so="$soname" '$1 == so && !found {print $NF; found = 1}')
    [ -n "$file" ] || fail "no library $soname on this system"
    owner=$(dpkg -S "$(readlink -f "$file")" 2>/dev/null || dpkg -S "$file" 2>/dev/null) \
        || fail "no package owns $file"
    owner=${owner%%:*}
    case $owner in libc6 | libstdc++6 | libgcc-s1) continue ;; esac
    [[ ", $depends," == *", $owner "* || ", $depends," == *", $owner,"* ]] \
        || fail "the program needs $soname from $owner, which the package does not depend on: $depends"
done <<<"$needed"

# The installed program starts, and its autostart entry passes the launcher checker too.
program="$root/usr/bin/trovanel"
preset "StartStopState=Off"
start_program
wait_for 20 has_window || fail "the installed program showed no window"
close_program
echo "1 passed, 0 failed"
