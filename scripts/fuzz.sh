#!/usr/bin/env bash
# Coverage-guided fuzzing of the text entry point: scripts/fuzz.sh [SECONDS] [libFuzzer flags...]
#
# Installs clang and libFuzzer when they are missing, builds the fuzz target with
# AddressSanitizer and UndefinedBehaviorSanitizer, seeds it from the test data, the saved fuzz
# inputs and the MIT/BSD files of ../shared/corpus, and runs it for SECONDS (default 60). Exits
# non-zero on any finding (a sanitizer report, an exception other than hs::Fault, invalid UTF-8 or
# JSON, a hang, too much memory) and names the file that holds the input. The corpus that the run
# grows is kept in build/fuzz/corpus for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_TO_RUN=${1:-60}
shift $(($# > 0 ? 1 : 0))
CLANG_VERSION=19
CXX=${FUZZ_CXX:-clang++-$CLANG_VERSION}
MAX_LEN=8192  # a few hands: room for every line kind and for the resumption after a bad hand

if ! command -v "$CXX" >/dev/null 2>&1 ||
   [ ! -f "/usr/lib/llvm-$CLANG_VERSION/lib/clang/$CLANG_VERSION/lib/linux/libclang_rt.fuzzer-x86_64.a" ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    "clang-$CLANG_VERSION" "libclang-rt-$CLANG_VERSION-dev" cmake >/dev/null
fi

GEN=()
command -v ninja >/dev/null 2>&1 && GEN=(-G Ninja)
BUILD=build/fuzz
cmake -S . -B "$BUILD" "${GEN[@]}" -DCMAKE_CXX_COMPILER="$CXX" -DHANDSCRIBE_PYTHON=OFF \
  -DHANDSCRIBE_FUZZ=ON -DHANDSCRIBE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target fuzz_parse

# Seeds, rebuilt every run (the test data, the saved findings, the hands written as seeds for the
# layouts whose real files may not be copied here): whole files would make every input as long
# as the longest one, so each file is cut at blank lines into pieces of about half the length
# limit.
SEEDS=$BUILD/seeds
rm -rf "$SEEDS"
mkdir -p "$SEEDS" "$BUILD/corpus" "$BUILD/findings"
cut_into_seeds() {  # FILE NAME
  LC_ALL=C awk -v out="$SEEDS/$2" -v max=$((MAX_LEN / 2)) '
    { piece = piece $0 "\n" }
    /^\r?$/ && length(piece) >= max { n++; printf "%s", piece > (out "." n); close(out "." n); piece = "" }
    END { if (piece != "") { n++; printf "%s", piece > (out "." n) } }' "$1"
}
while IFS= read -r -d '' f; do
  cut_into_seeds "$f" "${f//\//_}"
done < <(find tests/data tests/fuzz/regressions tests/fuzz/seeds -type f ! -name '*.md' ! -name '.*' -print0)
CORPUS=../shared/corpus
if [ -f "$CORPUS/MANIFEST.tsv" ]; then
  # Only the files whose licence allows copying them (column 5: MIT or BSD).
  while IFS=$'\t' read -r path _ _ _ licence _; do
    case "$licence" in
      MIT* | BSD*) cut_into_seeds "$CORPUS/$path" "corpus_${path//\//_}" ;;
    esac
  done < <(tail -n +2 "$CORPUS/MANIFEST.tsv")
else
  echo "fuzz: $CORPUS not found; seeding from the test data only" >&2
fi

echo "== Fuzzing for $SECONDS_TO_RUN s ($(find "$SEEDS" -type f | wc -l) seed pieces)"
status=0
"$BUILD/fuzz_parse" "$BUILD/corpus" "$SEEDS" -dict=tests/fuzz/handscribe.dict \
  -max_len=$MAX_LEN -timeout=10 -max_total_time="$SECONDS_TO_RUN" -print_final_stats=1 \
  -print_funcs=0 -artifact_prefix="$BUILD/findings/" "$@" 2>&1 | grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE) ' ||
  status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  echo "fuzz: FINDING (exit $status). The input is in $BUILD/findings/ (named above);" >&2
  echo "replay it with $BUILD/fuzz_parse FILE. Once mended, keep it as a regression test in" >&2
  echo "tests/fuzz/regressions/ (replayed by the C++ test test_fuzz_check)." >&2
  exit "$status"
fi
