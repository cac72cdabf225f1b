# A 100,000-frame soak under the sanitizers (scripts/soak; the full run is a million frames).
set -euo pipefail
scripts/soak 100000
