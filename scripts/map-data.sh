#!/usr/bin/env bash
# Puts the world map's country outlines, Natural Earth's 1:110m countries as Debian's
# python3-geopandas ships them, into the folder given, with the two-letter code of each
# outline's country beside them (one line an outline, in the outlines' order; empty where the
# country has none), so that a position can be told its country. The package's own copy is used
# when it is installed; otherwise the package is fetched with apt-get download (Debian's
# archive, as every other dependency) and only its files of the outlines are taken out of it,
# without installing it or what it depends on. A fetched copy is kept in the source tree's
# .cache/mapdata, so that every build folder uses the one download. The codes come from the
# outlines' three-letter codes through the ISO 3166 list of Debian's iso-codes.
set -euo pipefail

out=${1:?usage: map-data.sh OUTPUT-FOLDER}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=$root/.cache/mapdata
name=naturalearth_lowres
inside=usr/lib/python3/dist-packages/geopandas/datasets/naturalearth_lowres
mkdir -p "$out"
[ -s "$out/$name.shp" ] && [ -s "$out/$name.codes" ] && exit 0

if [ -s "/$inside/$name.shp" ] && [ -s "/$inside/$name.dbf" ]; then
    source=/$inside
else
    if [ ! -s "$cache/$name.shp" ] || [ ! -s "$cache/$name.dbf" ]; then
        mkdir -p "$cache"
        work=$(mktemp -d)
        trap 'rm -rf "$work"' EXIT
        (cd "$work" && apt-get download -q python3-geopandas >/dev/null 2>&1) || {
            echo "map-data: apt-get download python3-geopandas failed; run scripts/install-deps.sh" \
                "(it updates the package lists) and try again" >&2
            exit 1
        }
        for kind in dbf shp; do
            dpkg-deb --fsys-tarfile "$work"/python3-geopandas_*.deb \
                | tar -xO "./$inside/$name.$kind" >"$cache/$name.$kind.part"
            mv "$cache/$name.$kind.part" "$cache/$name.$kind"
        done
    fi
    source=$cache
fi

# The attribute table (dBase) holds iso_a3 for each outline; Kosovo, which ISO 3166 leaves
# out, goes by the code the lookup services give it.
python3 - "$source/$name.dbf" /usr/share/iso-codes/json/iso_3166-1.json \
    >"$out/$name.codes.part" <<'PYTHON'
import json, struct, sys
table = open(sys.argv[1], 'rb').read()
count, header, length = struct.unpack('<IHH', table[4:12])
fields, at = [], 32
while table[at] != 0x0D:
    fields.append((table[at:at + 11].split(b'\0')[0].decode(), table[at + 16]))
    at += 32
alpha2 = {c['alpha_3']: c['alpha_2'] for c in json.load(open(sys.argv[2]))['3166-1']}
for record in range(count):
    values, at = {}, header + record * length + 1
    for field, size in fields:
        values[field] = table[at:at + size].decode('utf-8', 'replace').strip()
        at += size
    code = alpha2.get(values.get('iso_a3', ''), '')
    if not code and values.get('name') == 'Kosovo':
        code = 'XK'
    print(code)
PYTHON
cp "$source/$name.shp" "$out/$name.shp.part"
mv "$out/$name.shp.part" "$out/$name.shp"
mv "$out/$name.codes.part" "$out/$name.codes"
