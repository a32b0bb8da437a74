#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. gcc, warnings as errors, optimised: all tests;
#   2. gcc Release (-O3), warnings as errors: the libraries, the image and
#      document tests, the console tool and the desktop application are built,
#      not run, so that the build users make stays clean;
#   3. clang, warnings as errors, AddressSanitizer + UndefinedBehaviorSanitizer:
#      all tests again, plus each libFuzzer target for a few seconds.
# Before any of them, every C++ file must already be in the repository's format.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "== format check (clang-format) =="
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z '*.cpp' '*.h'
else
  find app bench document image panes sd tests tools view \( -name '*.cpp' -o -name '*.h' \) -print0
fi | xargs -0 clang-format --dry-run -Werror

echo "== gcc build (warnings as errors) =="
cmake -S . -B build/gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTOR_TESTS=ON \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build build/gcc -j"$jobs"
echo "== gcc tests =="
(cd build/gcc && ctest --output-on-failure -j"$jobs" --timeout 900)

echo "== gcc Release build (libraries and tests, not run) =="
cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILTOR_BENCH=OFF -DQUILTOR_TESTS=ON \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build build/rel -j"$jobs" --target quiltor-cli quiltor image_tests document_tests tools_tests sd_tests

echo "== clang build with AddressSanitizer, UndefinedBehaviorSanitizer and fuzz targets =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILTOR_TESTS=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILTOR_SANITIZE=ON -DQUILTOR_FUZZ=ON -DQUILTOR_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
echo "== sanitizer tests and short fuzz runs =="
(cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" --timeout 900)
