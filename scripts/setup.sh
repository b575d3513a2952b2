#!/usr/bin/env bash
# Installs every Debian package kelvo needs to build, run and test.
# Idempotent and quiet when everything is already there; uses sudo only when
# not root and only when something is missing.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config clang-format
  # fuzzing
  clang libclang-rt-14-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev time
  # window
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-svg-dev qt6-translations-l10n
  # media
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  timgm6mb-soundfont libfluidsynth-dev fluid-soundfont-gm
  # WAVE variants made by an outside encoder in the tests
  sox
  # Japanese UI font
  fonts-ipafont-gothic
  # headless window tests, screenshots and desktop control
  xvfb xauth dbus playerctl
  # a private sound server that the sound test records from
  pulseaudio pulseaudio-utils
  # the Debian package (make package) and its checks (make check-package)
  dpkg-dev file desktop-file-utils appstream man-db
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
