# Fuzzes the score file reader and the replay loader with libFuzzer for a short while each.
# Longer runs: FUZZ_SECONDS=600 bash scripts/test.d/30-fuzz.sh
# A crash leaves its input in build/fuzz/crash-*; replay it with build/fuzz/fuzz_<target> <file>.
set -euo pipefail
seconds=${FUZZ_SECONDS:-20}
dir=$(pwd)/build/fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DPIXBRK_FUZZ=ON -DPIXBRK_BENCH=OFF -DPIXBRK_SDL=OFF >/dev/null
cmake --build "$dir" --target fuzz_score_file fuzz_replay_load
for pair in score_file:score replay_load:replay; do
  area=${pair%%:*}
  seeds=$(pwd)/tests/fuzz/corpus/${pair##*:}
  work="$dir/corpus-$area"
  mkdir -p "$work"
  echo "--- fuzz_$area for ${seconds} s"
  if ! "$dir/fuzz_$area" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$dir/crash-$area-" "$work" "$seeds" >"$dir/fuzz_$area.log" 2>&1; then
    tail -n 40 "$dir/fuzz_$area.log"
    echo "fuzz_$area found a crash: see $dir/crash-$area-*"
    exit 1
  fi
  grep -E "^stat::number_of_executed_units|^Done" "$dir/fuzz_$area.log" || true
done
