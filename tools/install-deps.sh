#!/bin/sh
# install-deps.sh -- install the Debian packages the engine builds and runs
# with, and only those that are missing. Quiet and idempotent: when nothing is
# missing it touches neither apt nor the network.
set -eu

# lua5.4 serves the benchmarks alone (they time the script engine against
# it); the build and the tests do without it.
PACKAGES="
  cmake make g++ pkg-config
  libsdl2-dev libepoxy-dev libimgui-dev libvorbis-dev libfreetype-dev
  libstb-dev zlib1g-dev libmeshoptimizer-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  lua5.4
  libgl1-mesa-dri libegl1 libegl-mesa0
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-liberation2
"

missing=""
for pkg in $PACKAGES; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $pkg" ;;
  esac
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null 2>&1; then
  SUDO="sudo"
else
  echo "install-deps: missing packages:$missing" >&2
  echo "install-deps: run as root or install sudo" >&2
  exit 1
fi

echo "install-deps: installing$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
