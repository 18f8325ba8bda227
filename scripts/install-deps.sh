#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Tempomere need, when any
# of them is missing. Run as root (or with sudo available).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  chrony              # a real NTP server for the client's tests
  fp-utils            # chmcmd, which compiles the help file
  xchm                # the viewer that Help > Contents opens the compiled help with
  xvfb xauth          # running the window where no display is
  fonts-dejavu-core   # text in the offscreen widget tests
  clang-format
  clang               # libFuzzer and the sanitizers for the fuzz targets
  locales tzdata      # the suite also runs under another locale and other time zones
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The chrony package starts the system's own server where a service manager runs; the tests
# start private servers of their own and need no system one.

# The suite runs once more under a German locale (comma as the decimal separator); generate it
# when the machine lacks it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "Generating the de_DE.UTF-8 locale"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
