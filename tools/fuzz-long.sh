#!/usr/bin/env bash
# Runs every libFuzzer target for longer than the test command does.
#   tools/fuzz-long.sh [SECONDS_PER_TARGET] [TARGET...]
# Defaults: 300 seconds, every fuzz_* target. Builds the targets (clang,
# AddressSanitizer + UndefinedBehaviorSanitizer) in build/fuzz first. Work
# corpora and crash artifacts stay in build/fuzz/long/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."
secs=${1:-300}
shift || true
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTOR_TESTS=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILTOR_SANITIZE=ON -DQUILTOR_FUZZ=ON -DQUILTOR_BENCH=OFF -DQUILTOR_DOCUMENT=OFF >/dev/null || exit 1
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
cmake --build "$build" -j2 --target "${targets[@]}" || exit 1
corpus=$(cd .. && pwd)/shared/corpus
failed=0
for t in "${targets[@]}"; do
  echo "== $t: ${secs}s =="
  if ! bash tests/fuzz/run-fuzzer.sh "$build/tests/fuzz/$t" "$build/long/$t" "$secs" \
    tests/fuzz/seeds "$corpus"; then
    echo "!! $t failed; artifacts in $build/long/$t/artifacts"
    failed=1
  fi
done
exit $failed
