#!/usr/bin/env bash
# A screenshot of a local HTML page taken with headless Chromium.
#     page-screenshot.sh PAGE.html SHOT.png [WIDTH HEIGHT]
# Chromium gets a profile of its own in a temporary folder, which is removed
# afterwards; the page is read from disk and nothing goes to the network.
set -euo pipefail
page=$(realpath "$1")
shot=$(realpath -m "$2")
width=${3:-1040}
height=${4:-900}
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
# Chromium refuses its sandbox to root; the page is our own report.
sandbox=()
[ "$(id -u)" -ne 0 ] || sandbox=(--no-sandbox)
# Where we may, Chromium runs in a network namespace of its own, without a
# link; it resolves no name in any case.
isolate=()
unshare -n true 2>/dev/null && isolate=(unshare -n)
rm -f "$shot"
"${isolate[@]}" chromium --headless "${sandbox[@]}" --disable-gpu --hide-scrollbars --no-first-run \
  --no-default-browser-check --disable-extensions --disable-background-networking --disable-component-update \
  --disable-sync --host-resolver-rules="MAP * ~NOTFOUND" --user-data-dir="$profile" \
  --window-size="$width,$height" --screenshot="$shot" "file://$page" >/dev/null 2>&1 || true
[ -s "$shot" ] || { echo "page-screenshot: chromium left no screenshot of $page" >&2; exit 1; }
