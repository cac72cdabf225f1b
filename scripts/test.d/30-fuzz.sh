# Fuzzes every loader with libFuzzer for a short while each: the resource pack, CHR and PCM
# entries, touch scripts, the pack tool's PNG and WAV import, the score file, replay files and
# the server's submission check.
# Longer runs: FUZZ_SECONDS=600 bash scripts/test.d/30-fuzz.sh, or a number of executions per
# target: FUZZ_RUNS=10000000 nice -n 10 bash scripts/test.d/30-fuzz.sh. FUZZ_TARGETS="pack_dir
# script" runs only those. Each target's statistics go to build/fuzz/fuzz_<target>.log.
# A crash leaves its input in build/fuzz/crash-*; replay it with build/fuzz/fuzz_<target> <file>.
set -euo pipefail
seconds=${FUZZ_SECONDS:-10}
runs=${FUZZ_RUNS:-}
src=$(pwd)/tests/fuzz
dir=$(pwd)/build/fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
# target:corpus area:longest input
all="pack_dir:pack:4096 chr_pcm:chr_pcm:16384 script:script:4096 pixpack_import:pixpack:4096
score_file:score:4096 replay_load:replay:4096 submission:submission:4096"
wanted=${FUZZ_TARGETS:-$(for t in $all; do echo "${t%%:*}"; done)}

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DPIXBRK_FUZZ=ON -DPIXBRK_BENCH=OFF -DPIXBRK_SDL=OFF >/dev/null
cmake --build "$dir" --target $(for t in $wanted; do echo "fuzz_$t"; done)

for entry in $all; do
  target=${entry%%:*}
  rest=${entry#*:}
  area=${rest%%:*}
  max_len=${rest#*:}
  case " $(echo $wanted) " in *" $target "*) ;; *) continue ;; esac
  work="$dir/corpus-$target"
  mkdir -p "$work"
  limit=(-max_total_time="$seconds")
  [ -n "$runs" ] && limit=(-runs="$runs")
  dict=()
  [ -f "$src/dict/$area.dict" ] && dict=(-dict="$src/dict/$area.dict")
  echo "--- fuzz_$target (${runs:-$seconds s}${runs:+ runs})"
  if ! "$dir/fuzz_$target" "${limit[@]}" "${dict[@]}" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$dir/crash-$target-" "$work" "$src/corpus/$area" \
      >"$dir/fuzz_$target.log" 2>&1; then
    tail -n 40 "$dir/fuzz_$target.log"
    echo "fuzz_$target found a crash: see $dir/crash-$target-*"
    exit 1
  fi
  grep -E "^stat::number_of_executed_units|^stat::average_exec_per_sec|^Done" "$dir/fuzz_$target.log" || true
done
