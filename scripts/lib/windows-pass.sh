#!/usr/bin/env bash
# The Windows ctest pass, run by scripts/test, inside the run's test network
# namespace when a test needs it: the Wine session starts here, so Wine's
# interface tables show only the namespace's links and every DNS query goes to
# its dnsmasq. The session (Xvfb, prefix, wineserver) starts only when a test
# needs Wine (KILNA_NEEDS_WINE=1), and the 144-DPI pass runs only when one of
# its tests is selected (KILNA_NEEDS_DPI144=1); the selection itself is read
# by scripts/lib/ctest-run.sh. The reports go under build/.
set -uo pipefail
cd "$(dirname "$0")/../.."

. scripts/lib/ctest-run.sh
if [ "${KILNA_NEEDS_WINE:-1}" = 1 ]; then
  . scripts/lib/wine-session.sh
  trap wine_session_stop EXIT
  wine_session_start "$PWD/build/wine"
fi
ctest_run windows "$PWD/build/windows-ctest" -j 2 -LE dpi144

# The tests that need a 144-DPI screen, after the rest.
if [ "${KILNA_NEEDS_DPI144:-1}" = 1 ]; then
  if wine_session_set_dpi 144; then
    ctest_run windows "$PWD/build/windows-dpi144-ctest" -L dpi144
  else
    echo "could not set the prefix to 144 DPI" | tee build/windows-dpi144-ctest.log
    echo "$PWD/build/windows-dpi144-ctest.xml" >>"$KILNA_REPORTS"
  fi
fi
