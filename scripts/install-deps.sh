#!/usr/bin/env bash
# Installs the Debian 12 packages that building and running Tempomere need, when any of them is
# missing; with --tests also what building and running its tests need. Run as root (or with
# sudo available). It never installs or removes a time service: the tests' NTP server is
# unpacked into the build folder instead of installed (see below).
set -euo pipefail
cd "$(dirname "$0")/.."

for_tests=false
[ "${1:-}" = "--tests" ] && for_tests=true

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  fp-utils            # chmcmd, which compiles the help file
  kchmviewer          # the viewer that Help > Contents opens the compiled help with
  scdoc               # the manual pages
  librsvg2-bin        # the icon's PNG sizes
  libssl-dev          # TLS and AES-SIV for Network Time Security
  libcli11-dev nlohmann-json3-dev  # the query tool's options and JSON (header-only)
  libsqlite3-dev      # the journal of runs
)
if $for_tests; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth          # running the window where no display is
    fonts-dejavu-core   # text in the offscreen widget tests
    clang-format
    openssl             # the NTS tests' CA and certificates, and a plain TLS server
    clang libclang-rt-dev  # libFuzzer and the sanitizers' run-times for the fuzz targets
    locales tzdata      # the suite also runs under another locale and other time zones
    desktop-file-utils appstream man-db dpkg-dev  # checking the installed tree and the package
    file                # cpack's DEB generator reads the binaries' dependencies with it
    # chronyd's own libraries, for the server unpacked below
    libcap2 libedit2 libgnutls30 libnettle8 libseccomp2
    # the time service's tests: a private bus and python-dbusmock's services on it. Neither
    # package holds a system bus service or starts a daemon (Debian's "dbus" package, the
    # system bus, is not pulled in), and nothing here touches the machine's time service.
    dbus-daemon python3-dbusmock
    # the Windows cross build and its tests: mingw-w64, Wine, GoogleTest's sources
    g++-mingw-w64-x86-64-posix wine64 googletest
  )
fi

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

apt_updated=false
if [ ${#missing[@]} -gt 0 ]; then
  echo "== Installing Debian packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  apt_updated=true
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "== Debian packages: all present"
fi

$for_tests || exit 0

# The suite runs once more under a German locale (comma as the decimal separator); generate it
# when the machine lacks it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "== Generating the de_DE.UTF-8 locale"
  "${sudo_cmd[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen ||
    echo 'de_DE.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi

# The client's tests run a real NTP server, chronyd, on loopback ports. Installing Debian's
# chrony package would replace the machine's own time service (it conflicts with
# systemd-timesyncd) and start a system chronyd that disciplines the clock, so its binary is
# unpacked into the build folder instead, where the tests look for it.
build_dir=${BUILD_DIR:-build}
chrony_dir="$build_dir/chrony"
if [ ! -x "$chrony_dir/usr/sbin/chronyd" ]; then
  echo "== Unpacking chronyd for the tests into $chrony_dir (the chrony package is not installed)"
  mkdir -p "$chrony_dir"
  download=$(mktemp -d)
  $apt_updated || "${sudo_cmd[@]}" apt-get update -qq
  (cd "$download" && apt-get download -qq chrony >/dev/null 2>&1) ||
    (cd "$download" && chmod 777 . && "${sudo_cmd[@]}" apt-get download -qq chrony >/dev/null)
  dpkg-deb -x "$download"/chrony_*.deb "$chrony_dir"
  rm -rf "$download"
fi
