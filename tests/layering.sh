#!/bin/sh
# Every source file, and every test, includes only headers of its own folder
# and of the folders its library names, directly or through them.
# Usage: layering.sh SOURCE_DIR LAYERS_FILE, where each line of LAYERS_FILE
# is a folder followed by the folders it may reach.
set -eu
root=$1
layers=$2
status=0
while read -r folder reach; do
    for dir in "$root/$folder" "$root/tests/$folder"; do
        [ -d "$dir" ] || continue
        for file in "$dir"/*.cpp "$dir"/*.h; do
            [ -e "$file" ] || continue
            sed -n 's/^#include "\([^"]*\)\/[^/"]*"/\1/p' "$file" | sort -u | while read -r used; do
                case " $folder $reach support " in
                    *" $used "*) ;;
                    *) echo "${file#"$root"/} includes from $used, above or beside $folder"; exit 1 ;;
                esac
            done || status=1
        done
    done
done < "$layers"
[ "$status" = 0 ] && echo "layering holds"
exit "$status"
