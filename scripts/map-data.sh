#!/usr/bin/env bash
# Puts the world map's country outlines, Natural Earth's 1:110m countries as Debian's
# python3-geopandas ships them, into the folder given. The package's own copy is used when it
# is installed; otherwise the package is fetched with apt-get download (Debian's archive, as
# every other dependency) and only the one file is taken out of it, without installing it or
# what it depends on. A fetched copy is kept in the source tree's .cache/mapdata, so that every
# build folder uses the one download.
set -euo pipefail

out=${1:?usage: map-data.sh OUTPUT-FOLDER}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=$root/.cache/mapdata
name=naturalearth_lowres.shp
inside=usr/lib/python3/dist-packages/geopandas/datasets/naturalearth_lowres/$name
mkdir -p "$out"
[ -s "$out/$name" ] && exit 0

if [ -s "/$inside" ]; then
    source=/$inside
else
    if [ ! -s "$cache/$name" ]; then
        mkdir -p "$cache"
        work=$(mktemp -d)
        trap 'rm -rf "$work"' EXIT
        (cd "$work" && apt-get download -q python3-geopandas >/dev/null 2>&1) || {
            echo "map-data: apt-get download python3-geopandas failed; run scripts/install-deps.sh" \
                "(it updates the package lists) and try again" >&2
            exit 1
        }
        dpkg-deb --fsys-tarfile "$work"/python3-geopandas_*.deb \
            | tar -xO "./$inside" >"$cache/$name.part"
        mv "$cache/$name.part" "$cache/$name"
    fi
    source=$cache/$name
fi
cp "$source" "$out/$name.part"
mv "$out/$name.part" "$out/$name"
