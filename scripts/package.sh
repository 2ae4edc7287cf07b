#!/usr/bin/env bash
# Builds the release archive: dist/wexlib-VERSION-windows.zip and its SHA-256
# beside it. In a git checkout it is built from the committed HEAD, whatever
# the working tree holds, and dated to the commit; in a tree without git
# metadata (an unpacked source archive) from the working tree, dated to
# SOURCE_DATE_EPOCH when it is set, else to the newest file of the tree.
# Each DLL is built twice, in two different folders, and must come out byte
# for byte the same, with its import libraries; its exports must match the
# export table and its imports be system DLLs only.
source "$(dirname "$0")/common.sh"
# The top of the tree, set by common.sh (a shellcheck run that does not
# follow sources cannot see that).
: "${top:?}"
wex_setup test

version=$(head -n1 "$top/VERSION")
name=wexlib-$version-windows
work=$top/build/package
dist=$top/dist
rm -rf "$work"
mkdir -p "$work/tree"
if git -C "$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    say "packaging Wexlib $version from commit $(git -C "$top" rev-parse --short HEAD)"
    [ -z "$(git -C "$top" status --porcelain)" ] || say "(uncommitted changes are not part of the archive)"
    git -C "$top" archive --format=tar HEAD | tar -x -C "$work/tree"
    stamp=$(git -C "$top" log -1 --format=%ct HEAD)
else
    # What a source archive holds: the tree without what builds and runs
    # leave in it.
    tar -C "$top" --exclude=./build --exclude='./build-*' --exclude=./dist --exclude=./out -cf - . |
        tar -x -C "$work/tree"
    if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
        stamp=$SOURCE_DATE_EPOCH
        dated="SOURCE_DATE_EPOCH ($(date -u -d "@$stamp" '+%Y-%m-%d %H:%M:%S UTC'))"
    else
        stamp=$(find "$work/tree" -type f -printf '%T@\n' | sort -n | tail -n1 | cut -d. -f1)
        dated="its newest file ($(date -u -d "@$stamp" '+%Y-%m-%d %H:%M:%S UTC'))"
    fi
    say "packaging Wexlib $version from the working tree (no git metadata here), dated to $dated"
fi

# name@bytes @ordinal of the export table, as "name ordinal" lines.
declared=$(sed -nE 's/^[[:space:]]+([A-Za-z_]+)(@[0-9]+)?[[:space:]]+@([0-9]+)[[:space:]]*$/\1 \3/p' \
           "$work/tree/src/frame/wexlib.def" | sort)

check_dll() {  # check_dll DLL OBJDUMP
    local dump exports imports
    dump=$("$2" -p "$1")
    exports=$(awk '/^Ordinal Base/ {base = $3}
                   /\[Ordinal\/Name Pointer\] Table/ {table = 1; next}
                   table && /^\t\[/ {row = $0; sub(/^\t\[ */, "", row); split(row, f, "] "); print f[2], f[1] + base}' \
              <<<"$dump" | sort)
    if [ "$exports" != "$declared" ]; then
        echo "package: the exports of $1 differ from the export table:" >&2
        diff <(echo "$declared") <(echo "$exports") >&2 || true
        return 1
    fi
    imports=$(sed -nE 's/^[[:space:]]*DLL Name: (.*)$/\1/p' <<<"$dump" | tr '[:upper:]' '[:lower:]' | sort -u)
    if grep -vxE 'kernel32.dll|user32.dll|advapi32.dll|wsock32.dll|secur32.dll|crypt32.dll|msvcrt.dll' <<<"$imports"; then
        echo "package: $1 imports more than system DLLs (above)" >&2
        return 1
    fi
}

stage=$work/stage/wexlib-$version
for arch in win32 win64; do
    case $arch in
        win32) toolchain=mingw-i686; folder=x86; objdump=i686-w64-mingw32-objdump ;;
        win64) toolchain=mingw-x86_64; folder=x64; objdump=x86_64-w64-mingw32-objdump ;;
    esac
    for round in 1 2; do
        say "building the $folder DLL and its import libraries (build $round of 2)"
        cmake -S "$work/tree" -B "$work/$arch-$round" -DCMAKE_TOOLCHAIN_FILE="$work/tree/cmake/$toolchain.cmake" \
              -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
        cmake --build "$work/$arch-$round" -j"$(nproc)" --target Wexlib
    done
    for built in bin/Wexlib.dll importlibs/libWexlib.dll.a importlibs/Wexlib.lib; do
        cmp "$work/$arch-1/$built" "$work/$arch-2/$built" ||
            { echo "package: the $folder $built differs between two builds of the same commit" >&2; exit 1; }
    done
    say "the $folder DLL and import libraries are the same from both builds; checking its exports and imports"
    check_dll "$work/$arch-1/bin/Wexlib.dll" "$objdump"
    mkdir -p "$stage/$folder"
    cp "$work/$arch-1/bin/Wexlib.dll" "$work/$arch-1/importlibs/libWexlib.dll.a" \
       "$work/$arch-1/importlibs/Wexlib.lib" "$stage/$folder/"
done

say "assembling $name.zip"
mkdir -p "$stage/include" "$stage/nsis" "$stage/docs" "$stage/examples/nsis"
cp "$work/tree/include/wexlib.h" "$work/tree/include/wexlib_dialogs.h" "$stage/include/"
cp "$work/tree/src/frame/wexlib.def" "$stage/Wexlib.def"
cp "$work/tree/nsis/Wexlib.nsh" "$stage/nsis/"
cp "$work/tree/docs/reference.md" "$stage/docs/"
cp "$work/tree/examples/nsis/provision.nsi" "$stage/examples/nsis/"
sed "s/@VERSION@/$version/" "$work/tree/packaging/README.txt" | sed 's/$/\r/' >"$stage/README.txt"

# The same sources give the same archive: every file dated alike, in one
# order, without extra attributes.
find "$work/stage" -exec touch -h -d "@$stamp" {} +
mkdir -p "$dist"
rm -f "$dist/$name.zip" "$dist/$name.zip.sha256"
(cd "$work/stage" && find "wexlib-$version" -print | LC_ALL=C sort | TZ=UTC zip -q -X -D "$dist/$name.zip" -@)
(cd "$dist" && sha256sum "$name.zip" >"$name.zip.sha256" && sha256sum -c "$name.zip.sha256")
say "dist/$name.zip:"
unzip -l "$dist/$name.zip" | sed -n '4,$p'
