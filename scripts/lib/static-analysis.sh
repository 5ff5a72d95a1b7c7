#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the product's sources
# (native/, runner/ and the headers they include from include/), through the
# compile database of the windows preset. Prints every finding and fails when
# there is one. Usage: scripts/lib/static-analysis.sh [BUILD_DIR [SOURCE...]]
# (build/windows by default, configured so that its compile database exists;
# every product source, or only the product sources named).
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build/windows}"
only=()
for source in "${@:2}"; do only+=("$(realpath "$source")"); done
database="$build/compile_commands.json"
[ -f "$database" ] || { echo "static analysis: no $database (configure the windows preset first)"; exit 1; }

# The database holds MinGW GCC command lines; clang parses them as the MinGW
# target, with the cross compiler's libstdc++ (clang does not find it on its own
# in Debian's versioned "12-posix" folder). Clang's own intrinsics headers stay.
gxx=x86_64-w64-mingw32-g++-posix
cxx_include="$(dirname "$($gxx -print-libgcc-file-name)")/include/c++"
extra=(
  --extra-arg=--target=x86_64-w64-mingw32
  "--extra-arg=-isystem$cxx_include"
  "--extra-arg=-isystem$cxx_include/x86_64-w64-mingw32"
  "--extra-arg=-isystem$cxx_include/backward"
)

# Each product source once, though some are compiled into more than one target.
mapfile -t sources < <(/usr/bin/python3 - "$database" "$root" "${only[@]}" <<'PY'
import json, sys
database, root, only = sys.argv[1], sys.argv[2], set(sys.argv[3:])
seen = sorted({e["file"] for e in json.load(open(database))
               if e["file"].startswith((root + "/native/", root + "/runner/"))
               and (not only or e["file"] in only)})
print("\n".join(seen))
PY
)
[ "${#sources[@]}" -gt 0 ] || { echo "static analysis: no product source in $database"; exit 1; }

# A whole pass that found nothing is not repeated while nothing it reads has
# changed: the checks, the tool, the compile database, and every source and
# header the product is built from (the stand-ins' headers among them).
clean_stamp="$build/static-analysis.clean"
key=""
if [ "${#only[@]}" -eq 0 ]; then
  key=$({ clang-tidy --version; cat "$root/.clang-tidy" "$database"
          find "$root/native" "$root/runner" "$root/include" "$root/standin" -type f -print0 |
            sort -z | xargs -0 sha256sum; } | sha256sum | cut -d' ' -f1)
  if [ -f "$clean_stamp" ] && [ "$(cat "$clean_stamp")" = "$key" ]; then
    echo "static analysis: ${#sources[@]} sources, unchanged since their last pass with no finding"
    exit 0
  fi
fi
rm -f "$clean_stamp"

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
started=$SECONDS
printf '%s\n' "${sources[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet \
    "--header-filter=^$root/(native|runner|include)/" "${extra[@]}" >"$log" 2>&1
status=$?
# A finding is a "file:line:col: warning|error: ... [check]" line and the notes
# under it; one in a header comes once from every source that includes it.
awk '/^[^ ]+:[0-9]+:[0-9]+: (warning|error):/ { keep = !seen[$0]++; if (keep) findings++ }
     /^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$/ { next }
     /^Error while processing / { keep = 1 }
     keep { print }
     END { print findings + 0 > "/dev/stderr" }' "$log" 2>"$log.count"
findings=$(cat "$log.count"); rm -f "$log.count"
echo "static analysis: ${#sources[@]} sources, $findings findings, $((SECONDS - started)) s"
[ "$findings" -eq 0 ] && [ "$status" -eq 0 ] || exit 1
[ -z "$key" ] || echo "$key" >"$clean_stamp"
