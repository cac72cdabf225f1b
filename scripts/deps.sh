# Sourced by the scripts: makes sure the Debian packages a step needs are installed.
# As root it installs what is missing with apt-get; otherwise it prints the exact line to run.

# FFmpeg's libraries and giflib give the headless runner its video and GIF output (it builds
# without them); ffmpeg's own ffprobe and ffmpeg decode the videos in the tests.
PIXBRK_PLAY_PACKAGES="cmake ninja-build g++ pkg-config libsdl2-dev libpng-dev zlib1g-dev \
libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libgif-dev"
# The Hall of fame server (pixbrk-server); its tests start a PostgreSQL 15 of their own, and its
# benchmarks load it with wrk.
PIXBRK_SERVER_PACKAGES="libboost-dev libsqlite3-dev libpq-dev libssl-dev nlohmann-json3-dev"
PIXBRK_SERVER_BENCH_PACKAGES="wrk python3"
PIXBRK_TEST_PACKAGES="$PIXBRK_PLAY_PACKAGES $PIXBRK_SERVER_PACKAGES postgresql-15 python3 ffmpeg libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev \
xvfb xauth x11-utils x11-apps xdotool openbox imagemagick libgl1 libgl1-mesa-dri libx11-dev libxtst-dev pulseaudio pulseaudio-utils \
g++-mingw-w64-x86-64 python3-pefile wine64 wine"
# The browser build (./scripts/web) and its tests in Chromium, Firefox and WebKitGTK (its WebDriver
# and MiniBrowser, under Xvfb with openbox; a PulseAudio of the tests' own gives them a sound
# device). Node.js and npm come from Debian unless a Node.js with npm is installed already
# (another one's nodejs package carries npm itself and conflicts with Debian's npm).
PIXBRK_WEB_PACKAGES="emscripten python3"
PIXBRK_WEB_TEST_PACKAGES="$PIXBRK_WEB_PACKAGES chromium firefox-esr webkit2gtk-driver xvfb x11-utils openbox pulseaudio"
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  PIXBRK_WEB_TEST_PACKAGES="$PIXBRK_WEB_TEST_PACKAGES nodejs npm"
fi

# scripts/release: every download (the Windows programs and installer, the page, the .deb), and
# what its stage of the tests checks them with.
PIXBRK_RELEASE_PACKAGES="$PIXBRK_PLAY_PACKAGES git python3 dpkg-dev g++-mingw-w64-x86-64 nsis emscripten"
PIXBRK_RELEASE_TEST_PACKAGES="$PIXBRK_RELEASE_PACKAGES lintian appstream desktop-file-utils diffoscope unzip"

pixbrk_need_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq || true
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || {
      echo "apt-get install failed for: ${missing[*]}" >&2
      return 1
    }
  else
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    return 1
  fi
}
