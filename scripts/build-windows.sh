#!/usr/bin/env bash
# Cross-builds the plain C++ core and vornbsl-cli.exe for 64-bit Windows with mingw-w64
# into build-windows/ (or $VORN_WINDOWS_BUILD_DIR), and packs vornbsl-cli-windows-x64.zip
# there: the .exe, a short README for Windows users and the licences of the runtime linked
# into it. With VORN_WINDOWS_TESTS=ON the Qt-free unit tests are built too (GoogleTest from
# Debian's source). Installs the cross compiler when it is missing (quiet when it is
# there). Arguments go to the build tool, e.g. `-j 2`.
# The window needs Qt for Windows, which Debian does not ship: it is built on Windows.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_WINDOWS_BUILD_DIR:-$here/build-windows}

PACKAGES=(cmake ninja-build mingw-w64 g++-mingw-w64-x86-64-posix googletest)
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
      echo "build-windows: need root or sudo to install: ${missing[*]}" >&2; exit 1
    fi
  fi
  echo "build-windows: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Configured each time: the tests may be asked for now and not before.
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DVORN_BUILD_GUI=OFF -DVORN_BUILD_TESTS="${VORN_WINDOWS_TESTS:-OFF}" >/dev/null
# The core's layers with their link checks, the command-line updater (and the tests).
cmake --build "$build" "$@"

# The zip for Windows users.
pack=$build/pack/vornbsl-cli
rm -rf "$build/pack"
mkdir -p "$pack"
# Without the debugging sections the .exe is a tenth of its size.
x86_64-w64-mingw32-strip -o "$pack/vornbsl-cli.exe" "$build/cli/vornbsl-cli.exe"
cp "$here/scripts/windows/README-Windows.txt" "$pack/README.txt"
# The GCC runtime (libstdc++, libgcc) and the mingw-w64 runtime (winpthreads among it)
# are linked into the .exe: their licence texts go with it.
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$pack/LICENSE-gcc-runtime.txt"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$pack/LICENSE-mingw-w64-runtime.txt"
zip=$build/vornbsl-cli-windows-x64.zip
rm -f "$zip"
(cd "$build/pack" && cmake -E tar cf "$zip" --format=zip vornbsl-cli)
echo "build-windows: $build/cli/vornbsl-cli.exe and $zip"
