#!/usr/bin/env bash
# Installs what is missing, builds Trovanel with its tests, starts the X test session and runs
# the whole suite in it. The tests get private XDG folders and HOME, so nothing of the user's
# own settings is read or changed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$build" -DTROVANEL_BUILD_TESTS=ON

scratch=$(mktemp -d "${TMPDIR:-/tmp}/trovanel-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config" "$scratch/runtime" "$scratch/home" "$scratch/data"
chmod 0700 "$scratch/runtime"
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/data"
unset CURL_CA_BUNDLE SSL_CERT_FILE SSL_CERT_DIR TROVANEL_SERVICE_URL

"$root/scripts/xsession.sh" ctest --test-dir "$build" --output-on-failure --timeout 300 -j2
