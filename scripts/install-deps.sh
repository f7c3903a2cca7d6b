#!/usr/bin/env bash
# Installs what a fresh Debian or Ubuntu machine lacks to build, test and run Quilo ReadOut.
# Idempotent: when every package is present it does nothing and asks for no privileges.
# Usage: scripts/install-deps.sh [run|all]   run: what building and running the programs needs
# (`make run`); all (the default): also the tests', sanitizers', fuzzers' and package's tools.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev libqt6svg6 qt6-tools-dev-tools
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  libgl-dev
  libqt6sql6-sqlite libqt6sql6-psql qt6-charts-dev libqt6charts6 libqt6opengl6-dev zlib1g-dev
  help2man librsvg2-bin
  libssl-dev  # TLS for network ports (tcp+tls://, rfc2217+tls://); the programs link libssl3
  # quilo serve: its HTTP server (with TLS) and its password hashes
  libcpp-httplib-dev libsodium-dev
)
if [[ "${1:-all}" != run ]]; then
  packages+=(
    postgresql clang libclang-rt-14-dev
    xvfb xauth valgrind shared-mime-info desktop-file-utils
    man-db bash-completion dpkg-dev file
    # systemd-analyze: the package check verifies the collection's service and timer
    systemd
    ser2net openssl  # the network-port tests serve the simulated unit with ser2net, make certificates with openssl
    # the office site's browser tests: Chromium driven through WebDriver, and a certificate made for TLS
    chromium chromium-driver python3-selenium openssl
  )
fi

if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
  echo "This is not a Debian or Ubuntu system. Install these (or your system's equivalents) and run again:" >&2
  echo "  C++20 compiler, CMake >= 3.25, Ninja, Qt 6 (Core, Gui, Widgets, PrintSupport, SerialPort, Svg," >&2
  echo "  Sql with SQLite and PostgreSQL drivers, Charts, Test, Linguist tools), clang with its" >&2
  echo "  sanitizer/fuzzer runtime, Xvfb, valgrind, a PostgreSQL server, help2man, rsvg-convert," >&2
  echo "  man, bash-completion, OpenSSL 3 (libssl); for the tests ser2net and the openssl program" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null 2>&1 || { echo "Run as root or install sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
