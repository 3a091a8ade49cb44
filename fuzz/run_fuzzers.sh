#!/usr/bin/env bash
# Runs the libFuzzer targets for a bounded time each.
#
#   fuzz/run_fuzzers.sh SECONDS [TARGET...]
#
# TARGET is reader_fuzzer or record_fuzzer (both by default). Builds
# build-fuzz first when needed (clang). Each target starts from a copy of
# its seed corpus and the saved regression inputs, so the repository is not
# modified. Exits non-zero on any finding (crash, leak, timeout, abort,
# memory limit), printing the saved input's path. Needs no terminal and
# reads no standard input. BUILD_DIR overrides build-fuzz; KEEP_WORK=1
# keeps the logs and corpora of a run without findings.
set -u

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]] || [ "$1" -eq 0 ]; then
  echo "usage: $0 SECONDS [reader_fuzzer|record_fuzzer ...]" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(reader_fuzzer record_fuzzer)

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-fuzz}

for target in "${targets[@]}"; do
  case $target in
    reader_fuzzer | record_fuzzer) ;;
    *) echo "$0: unknown target '$target'" >&2; exit 2 ;;
  esac
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S "$repo" -B "$build" -DVANDORAK_FUZZ=ON -DVANDORAK_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo </dev/null || { echo "$0: configuring $build failed" >&2; exit 2; }
fi
cmake --build "$build" -j2 --target "${targets[@]}" </dev/null || { echo "$0: building failed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vandorak_fuzz_run.XXXXXX") || exit 2
status=0
for target in "${targets[@]}"; do
  kind=${target%_fuzzer}
  dir=$work/$target
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp "$repo/fuzz/corpus/$kind/." "$dir/corpus/" -R
  corpora=("$dir/corpus")
  [ -d "$repo/tests/fuzz_regressions/$kind" ] && corpora+=("$repo/tests/fuzz_regressions/$kind")
  log=$dir/log.txt
  echo "== $target for ${seconds}s (log $log)"
  "$build/$target" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -dict="$repo/fuzz/listing.dict" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
    "${corpora[@]}" </dev/null >"$log" 2>&1
  rc=$?
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$')
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
  echo "$target: ${executions:-unknown} executions, ${coverage:-no coverage line}, exit status $rc"
  findings=$(find "$dir/artifacts" -type f)
  if [ $rc -ne 0 ] || [ -n "$findings" ]; then
    status=1
    echo "$target: FINDING" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*fuzzer: the two scans differ|.*fuzzer: read_node_record differs|.*ALARM|.*Test unit written)' \
      "$log" | head -n 20 >&2
    for input in $findings; do echo "$target: input saved as $input" >&2; done
  fi
done

if [ $status -ne 0 ] || [ "${KEEP_WORK:-0}" = 1 ]; then
  echo "logs and corpora kept in $work"
else
  rm -rf "$work"
fi
exit $status
