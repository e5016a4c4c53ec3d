#!/usr/bin/env bash
# Sets up a Debian 12 machine for Pelmaro, builds it, and then either starts the reader or runs
# every test.
#
#   ./setup.sh run    install what is missing, build, start the reader
#   ./setup.sh test   install what is missing, build, run all tests (the window's under Xvfb
#                     when there is no display)
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-}
if [[ $mode != run && $mode != test ]]; then
    echo "usage: $0 run|test" >&2
    exit 2
fi

# dpkg-dev finds the Debian package's dependencies when it is built (README: installing).
packages=(cmake ninja-build g++ libgtest-dev qt6-base-dev qt6-webengine-dev libgl-dev
          libxcb1-dev xvfb xauth fonts-dejavu-core dpkg-dev)
# The tests also check the formatting and order titles of a real documentation tree, check the
# desktop files and manuals with the desktop's own tools, the package with lintian, and run the
# window under a window manager, as a desktop does.
[[ $mode == test ]] && packages+=(clang-format python3.11-doc
                                  desktop-file-utils appstream shared-mime-info groff-base
                                  lintian openbox)
# The fuzz targets build with clang and its libFuzzer runtime.
[[ $mode == test ]] && packages+=(clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=()
    ((EUID == 0)) || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi

jobs=$(nproc)
# Qt WebEngine's sandbox refuses to run as root.
((EUID != 0)) || export QTWEBENGINE_DISABLE_SANDBOX=1

if [[ $mode == run ]]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j "$jobs"
    exec ./build/app/pelmaro
fi

# Every source as .clang-format lays it out.
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# The logic alone, without Qt, with the sanitizers: proves the boundary and catches memory faults.
cmake -S . -B build-logic -G Ninja -DPELMARO_GUI=OFF -DPELMARO_WERROR=ON -DPELMARO_SANITIZE=ON \
    -DPELMARO_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-logic -j "$jobs"
ctest --test-dir build-logic -j "$jobs" --output-on-failure

# Every reader of outside bytes under libFuzzer with the sanitizers, each for a bounded time
# from its seed corpus; a finding fails the run.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DPELMARO_FUZZ=ON -DPELMARO_GUI=OFF \
    -DPELMARO_WERROR=ON -DPELMARO_SANITIZE=ON -DPELMARO_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-fuzz -j "$jobs"
ctest --test-dir build-fuzz -j "$jobs" --output-on-failure
# The logic again under ThreadSanitizer: the build, the searches and the reader's long work run on
# threads of their own.
cmake -S . -B build-tsan -G Ninja -DPELMARO_GUI=OFF -DPELMARO_WERROR=ON -DPELMARO_TSAN=ON \
    -DPELMARO_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-tsan -j "$jobs"
ctest --test-dir build-tsan -j "$jobs" --output-on-failure -R 'TextList|Reader|BuildOnWorkers|SearchFiles|TitleWorkers|CliBuild|CliIndex|BuildIndex|IndexStore|IndexedSearch|TrigramIndex'

# Everything, the window included.
cmake -S . -B build -G Ninja -DPELMARO_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
if [[ -z ${DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build -j "$jobs" --output-on-failure
fi
exec ctest --test-dir build -j "$jobs" --output-on-failure
