#!/usr/bin/env bash
# Installs what is missing, checks the layers of the sources, builds everything and runs every
# test (Qt 5, build/); builds it all again with Qt 6 (build-qt6/) and runs every test there; then
# builds the suite again with assertions on (Debug), AddressSanitizer, UndefinedBehavior-
# Sanitizer and the libFuzzer targets (build-check/), runs it there too and runs every fuzz target
# for a minute on its seed corpus. Prints the time of each stage; fails on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${RUVO_FUZZ_SECONDS:-60}

stage_started=$SECONDS
stage() {
  echo "== $1: $((SECONDS - stage_started)) s"
  stage_started=$SECONDS
}

bash scripts/install_deps.sh clang libclang-rt-14-dev
bash scripts/check_layers.sh
stage "dependencies and layer check"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
stage "build"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)
stage "tests"

cmake -S . -B build-qt6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUVO_QT_MAJOR=6
cmake --build build-qt6 -j2
stage "Qt 6 build"
(cd build-qt6 && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)
stage "tests with Qt 6"

CC=clang CXX=clang++ cmake -S . -B build-check -DCMAKE_BUILD_TYPE=Debug -DRUVO_SANITIZE=ON -DRUVO_FUZZ=ON
cmake --build build-check -j2
stage "assertion-and-sanitizer build"
(cd build-check && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)
stage "tests with assertions and sanitizers"

bash scripts/fuzz.sh --build build-check "$fuzz_seconds"
stage "fuzz targets, ${fuzz_seconds} s each"
