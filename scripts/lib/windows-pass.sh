#!/usr/bin/env bash
# The Windows ctest pass, run by scripts/test inside the run's test network
# namespace: the Wine session starts here, so Wine's interface tables show
# only the namespace's links and every DNS query goes to its dnsmasq.
#
# windows-pass.sh MAIN_LOG DPI_LOG MAIN_REPORT DPI_REPORT (JUnit reports, absolute paths)
set -uo pipefail
cd "$(dirname "$0")/../.."

. scripts/lib/wine-session.sh
trap wine_session_stop EXIT
wine_session_start "$PWD/build/wine"
ctest --preset windows -j 2 --timeout 600 $KILNA_CTEST_OUTPUT --output-junit "$3" -LE dpi144 2>&1 | tee "$1"

# The tests that need a 144-DPI screen, after the rest.
if wine_session_set_dpi 144; then
  ctest --preset windows --timeout 600 $KILNA_CTEST_OUTPUT --output-junit "$4" -L dpi144 2>&1 | tee "$2"
else
  echo "could not set the prefix to 144 DPI" | tee "$2"
fi
