# Sourced by the scripts that run Windows programs: the project's own Wine prefix, never
# ~/.wine. QEL_PREFIX picks the prefix folder (tests use their own).
QEL_ROOT=${QEL_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${QEL_PREFIX:-$QEL_ROOT/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Creates the prefix once; later calls return at once.
qel_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
}
