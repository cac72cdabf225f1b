# Line coverage of every loader by the fuzz corpora: builds build/fuzz-cov with clang's source
# coverage, runs each target once over its saved inputs (tests/fuzz/corpus/<area>) and over what
# the fuzzer has kept (build/fuzz/corpus-<target>), and prints llvm-cov's line figures for the
# loader functions of each target. Run it after a fuzzing run: bash tests/fuzz/coverage.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/deps.sh
pixbrk_need_packages clang libclang-rt-14-dev llvm-14  # llvm-profdata and llvm-cov
src=$(pwd)
dir=$src/build/fuzz-cov
flags="-fprofile-instr-generate -fcoverage-mapping"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DPIXBRK_BENCH=OFF -DPIXBRK_SDL=OFF >/dev/null
# target:corpus area:file=function,function;file=...  (the loader code each target is meant to cover)
loaders="pack_dir:pack:src/pack/pack.cpp=loadbin,findbin;tools/pixpack/packtool.cpp=parse_pack
chr_pcm:chr_pcm:src/engine/screen.cpp=nox_loadchr;src/engine/sound.cpp=nox_loadpcm
script:script:src/headless/script.cpp=parse_script,parse_int
pixpack_import:pixpack:tools/pixpack/media.cpp=read_indexed_png,png_read_raw,read_chunk_fn,read_wav
score_file:score:src/game/ranking.cpp=read_score_file,check_ranking,is_timestamp
replay_load:replay:src/game/slots.cpp=slot_scan,replay_header_usable,load_into_buffer,load_replay_file
submission:submission:src/server/submission.cpp=parse_submission,check_name,bearer_token,parse_query,percent_decode;src/server/verify.cpp=read_replay_facts;src/headless/replay_check.cpp=parse_replay_header"
cmake --build "$dir" --target $(for l in $loaders; do echo "fuzz_${l%%:*}"; done) >/dev/null
rm -rf "$dir/profiles"
mkdir -p "$dir/profiles"
printf '%-16s %-28s %-18s %s\n' target file function "lines covered"
for l in $loaders; do
  target=${l%%:*}
  rest=${l#*:}
  area=${rest%%:*}
  inputs=("$src/tests/fuzz/corpus/$area")
  [ -d "$src/build/fuzz/corpus-$target" ] && inputs+=("$src/build/fuzz/corpus-$target")
  LLVM_PROFILE_FILE="$dir/profiles/$target.profraw" "$dir/fuzz_$target" "${inputs[@]}" >/dev/null 2>&1
  llvm-profdata merge -sparse "$dir/profiles/$target.profraw" -o "$dir/profiles/$target.profdata"
  IFS=';' read -ra files <<<"${rest#*:}"
  for f in "${files[@]}"; do
    file=${f%%=*}
    IFS=',' read -ra functions <<<"${f#*=}"
    report=$(llvm-cov report "$dir/fuzz_$target" -instr-profile="$dir/profiles/$target.profdata" \
      -show-functions -Xdemangler=c++filt "$src/$file")
    for fn in "${functions[@]}"; do
      # Name  Regions  Miss  Cover  Lines  Miss  Cover  Branches ...: one row per function.
      row=$(echo "$report" | awk -v fn="$fn" '{ n = $0; sub(/^[^ (]*:\(anonymous namespace\)::/, "", n);
        sub(/\[abi:cxx11\]/, "", n); if (index(n, fn "(") == 1) { print; exit } }')
      [ -n "$row" ] || { echo "no coverage row for $fn in $file" >&2; exit 1; }
      set -- $(echo "$row" | sed 's/^.*) *//')
      printf '%-16s %-28s %-18s %s of %s (%s)\n' "$target" "$(basename "$file")" "$fn" $(($4 - $5)) "$4" "$6"
    done
  done
done
