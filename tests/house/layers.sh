#!/bin/sh
# The folders of src stand in layers, each including only from itself and
# the layers below it: base, host, bus, cpu, translate, engine, debug;
# then the C view (c) and the run's inspections (inspect) side by side;
# then the monitor, the adapter and the test runner (tester) side by side;
# the driver on top. Folders side by side never include each other.
# Usage: layers.sh SOURCE_DIR
cd "$1/src" || exit 2
rank() {
    case $1 in
    base) echo 0 ;; host) echo 1 ;; bus) echo 2 ;; cpu) echo 3 ;; translate) echo 4 ;; engine) echo 5 ;;
    debug) echo 6 ;; c | inspect) echo 7 ;; monitor | adapter | tester) echo 8 ;; driver) echo 9 ;; *) echo 99 ;;
    esac
}
status=0
for folder in */; do
    folder=${folder%/}
    [ "$(rank "$folder")" = 99 ] && { echo "src/$folder: a folder of no known layer"; status=1; continue; }
    # Every quoted include of another folder, as "file: folder".
    for line in $(grep -rho '#include "[a-z_]*/' "$folder" | sed 's/#include "//; s#/##' | sort -u); do
        [ "$line" = "$folder" ] && continue
        if [ "$(rank "$line")" -ge "$(rank "$folder")" ]; then
            echo "src/$folder includes from src/$line, a layer not below it:"
            grep -rn "#include \"$line/" "$folder" | sed 's/^/    /'
            status=1
        fi
    done
done
[ $status = 0 ] && echo "every folder includes only from those below it"
exit $status
