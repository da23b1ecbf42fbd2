#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test VornBSL.
# Idempotent: when every package and the locale are present it only checks and returns.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6opengl6-dev
  libgtest-dev libgmock-dev
  srecord php-cli shared-mime-info openssl
  xvfb xauth x11-utils imagemagick
  fonts-dejavu-core fonts-liberation2
  locales
  # the zone database: the clock tests run in zones with unusual daylight saving rules
  tzdata
  # clang and its libFuzzer runtime, for the fuzz targets (scripts/fuzz.sh)
  clang libclang-rt-14-dev
  # the icon's PNG sizes; the manual pages' and completion's tests
  librsvg2-bin man-db groff-base bash-completion
)
for option in "$@"; do
  case "$option" in
    # The Windows build and its proof: the mingw-w64 cross compiler (posix threads),
    # GoogleTest's sources and Wine.
    --windows) PACKAGES+=(mingw-w64 g++-mingw-w64-x86-64-posix googletest wine wine64) ;;
    # The Debian package and Debian's checks of it.
    --package) PACKAGES+=(dpkg-dev fakeroot lintian desktop-file-utils appstream) ;;
    *) echo "setup: unknown option $option (--windows, --package)" >&2; exit 2 ;;
  esac
done
# The numeric round trips also run in a locale with a decimal comma.
COMMA_LOCALE=de_DE.UTF-8

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# `locale -a` spells it de_DE.utf8.
# grep reads it all (no -q): an early exit could break the pipe and fail it under pipefail.
have_locale() { locale -a 2>/dev/null | grep -ix "${COMMA_LOCALE%%.*}\.utf-\?8" >/dev/null; }
[ ${#missing[@]} -eq 0 ] && have_locale && exit 0

needs="${missing[*]}"
have_locale || needs="${needs:+$needs and }the locale $COMMA_LOCALE"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then SUDO="sudo"; else
    # Said as the commands to run, so the user can paste them as root.
    echo "setup: installing needs root: $needs. Run as root (or with sudo), then run this again:" >&2
    [ ${#missing[@]} -gt 0 ] && echo "  apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
    have_locale || echo "  echo '$COMMA_LOCALE UTF-8' >> /etc/locale.gen && locale-gen" >&2
    exit 1
  fi
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if ! have_locale; then
  # Enabled in locale.gen rather than built alone, so a later locale-gen keeps it.
  echo "setup: generating the locale $COMMA_LOCALE" >&2
  if ! grep -q "^$COMMA_LOCALE UTF-8" /etc/locale.gen 2>/dev/null; then
    if grep -q "^# *$COMMA_LOCALE UTF-8" /etc/locale.gen 2>/dev/null; then
      $SUDO sed -i "s/^# *\($COMMA_LOCALE UTF-8\)/\1/" /etc/locale.gen
    else
      echo "$COMMA_LOCALE UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
  fi
  $SUDO locale-gen >/dev/null
  have_locale || { echo "setup: the locale $COMMA_LOCALE could not be generated" >&2; exit 1; }
fi
