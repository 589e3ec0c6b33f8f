#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses it as a user would: a host built outside
# the source tree with find_package and with pkg-config, and the installed xpmimport run from
# elsewhere. With cpack and dpkg present, the .deb is built, its dependencies resolved and
# its unpacked tree run the same way.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
sample=$source/samples/smiley.xpm
want="$(sed -n 's/^"\([0-9]*\) \([0-9]*\) .*/\1 x \2/p' "$sample" | head -1)"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_size() {  # expect_size WHAT OUTPUT
    [ "$2" = "$want" ] || fail "$1 printed '$2', want '$want'"
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/xpmimport include/xpmfilter/xpmfilter.h include/vrgdi32/vrgdi32.h include/winshim/winshim.h \
         share/man/man1/xpmimport.1; do
    [ -e "$prefix/$f" ] || fail "cmake --install did not install $f"
done
libdir=$(dirname "$(find "$prefix" -name libxpmfilter.so | head -1)")
[ -n "$libdir" ] && [ -e "$libdir/libvrgdi32.so" ] && [ -e "$libdir/libwinshim.so" ] ||
    fail "the three libraries are not installed together"

# A host built with find_package(xpmfilter).
cmake -S "$source/tests/install/consumer" -B "$scratch/consumer" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
expect_size "the find_package host" "$("$scratch/consumer/consumer_host" "$sample")"

# The same host built with pkg-config.
if command -v pkg-config >/dev/null; then
    export PKG_CONFIG_PATH=$libdir/pkgconfig
    module=$(pkg-config --variable=module xpmfilter)
    # shellcheck disable=SC2046
    cc -o "$scratch/pc_host" "$source/tests/install/consumer/host.c" \
        -DXPMFILTER_MODULE_PATH="\"$module\"" $(pkg-config --cflags --libs xpmfilter) -ldl \
        -Wl,-rpath,"$libdir"
    expect_size "the pkg-config host" "$("$scratch/pc_host" "$sample")"
fi

# The installed tool, run from another directory through a symlink, and a copy that finds
# the installed module by its configured place or by XPMFILTER_MODULE.
ln -s "$prefix/bin/xpmimport" "$scratch/link"
(cd / && "$scratch/link" --info "$sample") | grep -q "$want" || fail "the installed xpmimport did not run"
cp "$prefix/bin/xpmimport" "$scratch/copy"
(cd / && LD_LIBRARY_PATH=$libdir XPMFILTER_MODULE=$libdir/libxpmfilter.so "$scratch/copy" --info "$sample") |
    grep -q "$want" || fail "a copied xpmimport did not find the module named by XPMFILTER_MODULE"

# The Debian package.
if command -v cpack >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
    (cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB >/dev/null) || fail "cpack failed"
    deb=$(ls "$scratch"/xpmfilter_*.deb)
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libuemf libpng; do
        [[ $depends == *"$lib"* ]] || fail "the package does not depend on $lib: $depends"
    done
    if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
        apt-get install -s -q "$deb" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; fail "apt-get cannot install $deb"; }
    fi
    dpkg -x "$deb" "$scratch/unpacked"
    (cd / && "$scratch/unpacked/usr/bin/xpmimport" "$sample" -o "$scratch/out.emf" >/dev/null) ||
        fail "the packaged xpmimport did not convert"
    [ -s "$scratch/out.emf" ] || fail "the packaged xpmimport wrote nothing"
fi
echo "install test passed"
