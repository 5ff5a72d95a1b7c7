# Sourced by scripts/test and scripts/lib/windows-pass.sh: one preset's ctest
# run, over all its tests or over those that `scripts/test PATTERN` selected
# (scripts/lib/test_selection.py: KILNA_SELECTED=1 and, for each preset,
# PRESET_whole, PRESET_cases and PRESET_filter in the environment). Every JUnit
# report it is about to write is first listed in the file $KILNA_REPORTS, so a
# report that never appears is counted as a failure.

ctest_run() {  # $1: preset, $2: report and log path without extension, then more ctest arguments
  local preset="$1" base="$2"
  shift 2
  if [ "${KILNA_SELECTED:-0}" != 1 ]; then
    _ctest_group "$preset" "$base" "" "" "$@"
    return
  fi
  local whole cases filter
  whole=$(printenv "${preset}_whole")
  cases=$(printenv "${preset}_cases")
  filter=$(printenv "${preset}_filter")
  [ -n "$whole" ] && _ctest_group "$preset" "$base" "$whole" "" "$@"
  [ -n "$cases" ] && _ctest_group "$preset" "$base-cases" "$cases" "$filter" "$@"
  return 0
}

# $1: preset, $2: path without extension, $3: ctest -R expression ("" for every
# test), $4: GTEST_FILTER ("" for none), then more ctest arguments.
_ctest_group() {
  local preset="$1" base="$2" regex="$3" filter="$4"
  shift 4
  local select=() environment=()
  if [ -n "$regex" ]; then
    select=(-R "$regex")
    # Nothing of this group under these labels: no run, no report.
    ctest --preset "$preset" -N "${select[@]}" "$@" | grep -q '^Total Tests: 0$' && return 0
  fi
  [ -n "$filter" ] && environment=("GTEST_FILTER=$filter")
  rm -f "$base.xml"
  echo "$base.xml" >>"$KILNA_REPORTS"
  env "${environment[@]}" ctest --preset "$preset" --timeout 600 $KILNA_CTEST_OUTPUT --output-junit "$base.xml" \
    "${select[@]}" "$@" 2>&1 | tee "$base.log"
}
