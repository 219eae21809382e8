#!/usr/bin/env bash
# Runs the Windows test hosts under Wine, sharing one prefix per test run.
#   wine.sh prefix PREFIX                       create the prefix (or reuse a complete one)
#   wine.sh host 32|64 PREFIX BUILD-DIR RUN-DIR OUT.CSV JOURNEY.CSV SCRIPTS.CSV
#               [FILE-BESIDE-THE-DLL...]
#                                               the test host of a Windows build, which also
#                                               runs that build's talvik-sim and talvik-dbgview
#   wine.sh stop PREFIX                         end the prefix's Wine processes
set -uo pipefail

export WINEDEBUG=-all
# No Mono or Gecko prompts and no desktop menu entries: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
# 32-bit Wine runs here under qemu user-mode emulation. qemu 7 reserves the guest's whole 4 GB
# and searches that reservation page by page on every mmap, while Wine's start-up probes the
# space above 2 GB tens of thousands of times: about 70 s per start. A guest space that ends a
# little above 2 GB (Wine wants some memory there) brings a start down to a few seconds.
# Ignored when 32-bit code runs natively.
export QEMU_RESERVED_VA=0x84000000

wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

seconds_since() { echo $(( $(date +%s) - $1 )); }

to_windows_path() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }

# Can this machine execute 32-bit x86 programs at all (natively or through binfmt_misc)?
can_run_32bit() {
    [ -x "$wine32" ] && timeout 120 "$wine32" --version >/dev/null 2>&1
}

# A Japanese locale for the host's check of a double-byte DLL name, compiled beside the prefix:
# Wine takes the ANSI code page (932) and its Unix file names (UTF-8) from it.
japanese_locale() {
    local dir
    dir="$(dirname "$WINEPREFIX")/locale"
    if [ ! -d "$dir/ja_JP.UTF-8" ]; then
        mkdir -p "$dir"
        localedef -i ja_JP -f UTF-8 "$dir/ja_JP.UTF-8" >/dev/null 2>&1 ||
            echo "cannot compile the ja_JP.UTF-8 locale (package locales missing?)"
    fi
    export LOCPATH="$dir" LC_ALL=ja_JP.UTF-8
}

loud() {
    echo "########################################################################"
    for line in "$@"; do echo "### $line"; done
    echo "########################################################################"
}

case "${1:-}" in
prefix)
    export WINEPREFIX; WINEPREFIX=$(realpath -m "$2")
    start=$(date +%s)
    if [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/.complete" ]; then
        what="reused"
    else
        rm -rf "$WINEPREFIX"
        mkdir -p "$(dirname "$WINEPREFIX")"
        # Wine's own processes outlive this script: keep them off the test runner's pipes.
        if ! "$wine64" wineboot --init >"$WINEPREFIX.log" 2>&1; then
            cat "$WINEPREFIX.log"
            echo "wine prefix: wineboot failed"
            exit 1
        fi
        /usr/lib/wine/wineserver -w
        touch "$WINEPREFIX/.complete"
        what="created"
    fi
    echo "wine prefix $what in $(seconds_since "$start") s: $WINEPREFIX"
    ;;
host)
    width=$2
    export WINEPREFIX; WINEPREFIX=$(realpath -m "$3")
    build=$4 run_dir=$5 csv=$6 journey=$7 scripts=$8
    shift 8
    rm -rf "$run_dir" "$csv" "$csv.skipped" "$journey" "$scripts"
    if [ "$width" = 32 ]; then
        loader=$wine32
        if ! can_run_32bit; then
            loud "32-BIT CODE CANNOT RUN ON THIS MACHINE: the 32-bit DLL was NOT run." \
                 "The kernel refuses i386 programs and no qemu-i386 binfmt handler works." \
                 "Run 'tools/setup.sh wine32' as root (installs qemu-user-static, registers it)." \
                 "Only the static checks of the 32-bit DLL ran."
            echo "the 32-bit host could not run: this machine cannot execute 32-bit code" >"$csv.skipped"
            exit 77
        fi
    else
        loader=$wine64
    fi
    mkdir -p "$run_dir"
    beside=()
    for f in "$@"; do [ -e "$f" ] && beside+=("$(to_windows_path "$f")"); done
    start=$(date +%s)
    japanese_locale
    # One start of Wine for everything: the host starts the build's tools itself.
    "$loader" "$build/tests/win/talvik_win_host.exe" \
        --sim "$(to_windows_path "$build/tools/sim/talvik-sim.exe")" \
        --dbgview "$(to_windows_path "$build/tools/dbgview/talvik-dbgview.exe")" \
        --gnuplot "$(to_windows_path "$build/tests/win/gnuplot.exe")" \
        --journey "$(to_windows_path "$journey")" \
        --scripts "$(to_windows_path "$scripts")" \
        "$(to_windows_path "$build/plugin/talvik.dll")" "$(to_windows_path "$run_dir")" \
        "$(to_windows_path "$csv")" "${beside[@]}" >"$run_dir.out" 2>&1 </dev/null
    status=$?
    cat "$run_dir.out"
    echo "wine $width-bit host: exit $status after $(seconds_since "$start") s"
    exit $status
    ;;
stop)
    export WINEPREFIX; WINEPREFIX=$(realpath -m "$2")
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 prefix PREFIX | host 32|64 PREFIX BUILD-DIR RUN-DIR OUT.CSV JOURNEY.CSV SCRIPTS.CSV [FILE...] | stop PREFIX" >&2
    exit 2
    ;;
esac
