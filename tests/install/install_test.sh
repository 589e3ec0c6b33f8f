#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses it as a user would: a host built outside
# the source tree with find_package and with pkg-config (which must start without
# LD_LIBRARY_PATH and load every library of ours from the prefix, never the system's), and the
# installed xpmimport run from elsewhere. With cpack and dpkg present, the Debian packages are
# built, checked with lintian, their dependencies resolved and their unpacked tree run the
# same way.
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
# expect_prefix_loads WHAT: the LD_DEBUG=libs log in $scratch/loads shows each library of ours
# loaded once, from the prefix.
expect_prefix_loads() {
    for lib in libwinshim.so libvrgdi32.so libxpmfilter.so; do
        loaded=$(sed -n "s/.*calling init: \(.*$lib.*\)/\1/p" "$scratch/loads")
        [ -n "$loaded" ] && [ "$(echo "$loaded" | wc -l)" -eq 1 ] || fail "$1: $lib loaded as: $loaded"
        [[ $(realpath "$loaded") == "$prefix"/* ]] || fail "$1 loaded $loaded"
    done
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/xpmimport include/xpmfilter/xpmfilter.h include/vrgdi32/vrgdi32.h include/winshim/winshim.h \
         share/man/man1/xpmimport.1.gz; do
    [ -e "$prefix/$f" ] || fail "cmake --install did not install $f"
done
libdir=$(dirname "$(find "$prefix" -name 'libwinshim.so.[0-9]*' | head -1)")
compgen -G "$libdir/libvrgdi32.so.[0-9]*" >/dev/null && [ -e "$libdir/xpmfilter/libxpmfilter.so" ] ||
    fail "the libraries are not installed together, the module in its own directory"

# A host built with find_package(xpmfilter).
cmake -S "$source/tests/install/consumer" -B "$scratch/consumer" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
expect_size "the find_package host" "$("$scratch/consumer/consumer_host" "$sample")"

# The same host built with pkg-config: plain paths, and it runs as built.
if command -v pkg-config >/dev/null; then
    export PKG_CONFIG_PATH=$libdir/pkgconfig
    module=$(pkg-config --variable=module xpmfilter)
    flags=$(pkg-config --cflags --libs xpmfilter)
    [[ $flags != *../* && $flags != */./* ]] || fail "pkg-config paths are not normalised: $flags"
    # shellcheck disable=SC2086
    cc -o "$scratch/pc_host" "$source/tests/install/consumer/host.c" \
        -DXPMFILTER_MODULE_PATH="\"$module\"" $flags -ldl
    expect_size "the pkg-config host" "$("$scratch/pc_host" "$sample")"
    LD_DEBUG=libs "$scratch/pc_host" "$sample" 2>"$scratch/loads" >/dev/null
    expect_prefix_loads "the pkg-config host"
fi

# The installed tool, run from another directory through a symlink, and a copy that finds
# the installed module by its configured place or by XPMFILTER_MODULE.
ln -s "$prefix/bin/xpmimport" "$scratch/link"
(cd / && "$scratch/link" --info "$sample") | grep -q "$want" || fail "the installed xpmimport did not run"
cp "$prefix/bin/xpmimport" "$scratch/copy"
(cd / && LD_LIBRARY_PATH=$libdir XPMFILTER_MODULE=$libdir/xpmfilter/libxpmfilter.so "$scratch/copy" --info "$sample") |
    grep -q "$want" || fail "a copied xpmimport did not find the module named by XPMFILTER_MODULE"

# The Debian packages: lintian finds no error and no warning.
if command -v cpack >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
    (cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB >/dev/null) || fail "cpack failed"
    debs=("$scratch"/*.deb)
    [ ${#debs[@]} -eq 4 ] || fail "cpack made ${#debs[@]} packages, want 4: ${debs[*]}"
    command -v lintian >/dev/null || fail "lintian is missing (scripts/install-deps.sh installs it)"
    lintian --fail-on error,warning "${debs[@]}" >"$scratch/lintian.log" 2>&1 ||
        { grep -v 'root privileges' "$scratch/lintian.log"; fail "lintian found errors or warnings"; }
    depends=$(for deb in "${debs[@]}"; do dpkg-deb -f "$deb" Depends; done)
    for lib in libuemf libpng libwinshim; do
        [[ $depends == *"$lib"* ]] || fail "no package depends on $lib: $depends"
    done
    if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
        apt-get install -s -q "${debs[@]}" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; fail "apt-get cannot install ${debs[*]}"; }
    fi
    for deb in "${debs[@]}"; do dpkg -x "$deb" "$scratch/unpacked"; done
    (cd / && "$scratch/unpacked/usr/bin/xpmimport" "$sample" -o "$scratch/out.emf" >/dev/null) ||
        fail "the packaged xpmimport did not convert"
    [ -s "$scratch/out.emf" ] || fail "the packaged xpmimport wrote nothing"
    # With the packages' libraries in the system's own directory too (laid over it in a mount
    # namespace of this test's own, where the system lets root make one), the pkg-config host
    # still loads only the prefix's.
    packaged=$(dirname "$(find "$scratch/unpacked" -name 'libwinshim.so.[0-9]*' | head -1)")
    system=/${packaged#"$scratch/unpacked/"}
    if [ -x "$scratch/pc_host" ] && unshare -m true 2>/dev/null; then
        unshare -m --propagation private sh -c 'mount -t overlay overlay -o "lowerdir=$1:$2" "$2" &&
            ls "$2"/libwinshim.so.* >/dev/null && LD_DEBUG=libs "$3" "$4"' \
            sh "$packaged" "$system" "$scratch/pc_host" "$sample" 2>"$scratch/loads" >/dev/null ||
            fail "the pkg-config host failed beside the packages"
        expect_prefix_loads "the pkg-config host beside the packages"
    else
        echo "note: no mount namespace here: the pkg-config host was not run beside the packages"
    fi
fi
echo "install test passed"
