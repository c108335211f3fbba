#!/bin/sh
# Every source file, and every test, includes only headers of its own folder
# and of the folders its library names, directly or through them; tests may
# also include the test helpers (tests/support), and no product file does.
# Usage: layering.sh SOURCE_DIR LAYERS_FILE, where each line of LAYERS_FILE
# is a folder followed by the folders it may reach. The helpers named in
# tests/homes.txt are declared and defined in their home folder alone.
# With --no-widgets PROGRAM...: the programs that run jobs without a window
# need neither Qt's widgets nor its print support, directly or through a
# library.
set -eu
if [ "${1:-}" = --no-widgets ]; then
    shift
    status=0
    for program in "$@"; do
        found=$(ldd "$program" | grep -Eo 'libQt6(Widgets|PrintSupport)[^ ]*' | sort -u | tr '\n' ' ')
        [ -z "$found" ] || { echo "$program needs $found"; status=1; }
    done
    [ "$status" = 0 ] && echo "no widgets in $*"
    exit "$status"
fi
root=$1
layers=$2
status=0
while read -r folder reach; do
    for dir in "$root/$folder" "$root/tests/$folder"; do
        [ -d "$dir" ] || continue
        helpers=
        [ "$dir" = "$root/$folder" ] || helpers=support
        for file in "$dir"/*.cpp "$dir"/*.h; do
            [ -e "$file" ] || continue
            sed -n 's/^#include "\([^"]*\)\/[^/"]*"/\1/p' "$file" | sort -u | while read -r used; do
                case " $folder $reach $helpers " in
                    *" $used "*) ;;
                    *) echo "${file#"$root"/} includes from $used, above or beside $folder"; exit 1 ;;
                esac
            done || status=1
        done
    done
done < "$layers"
folders=$(cut -d' ' -f1 "$layers")
while read -r name home; do
    case "$name" in ''|'#'*) continue ;; esac
    # A class of that name, or a function of that name after its type.
    pattern="^ *(class|struct) $name\\>[^;]*\$|(^|[^A-Za-z0-9_])(bool|int|void|auto|[A-Z][A-Za-z0-9_:<>]*) +([A-Za-z_][A-Za-z0-9_]*::)?$name *\\("
    for folder in $folders; do
        [ "$folder" = "$home" ] && continue
        for dir in "$root/$folder" "$root/tests/$folder"; do
            [ -d "$dir" ] || continue
            for file in "$dir"/*.h "$dir"/*.cpp; do
                [ -e "$file" ] || continue
                if grep -Eq "$pattern" "$file"; then
                    echo "${file#"$root"/} declares or defines $name, whose home is $home"
                    status=1
                fi
            done
        done
    done
done < "$root/tests/homes.txt"
[ "$status" = 0 ] && echo "layering holds"
exit "$status"
