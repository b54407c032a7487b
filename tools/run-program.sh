#!/usr/bin/env bash
# Starts the staged program under the project's Wine prefix (build/wineprefix). Without a
# display it runs on a virtual one and says so.
set -euo pipefail
install_dir=${1:?usage: run-program.sh INSTALL_DIR [ARGS...]}
shift
source "$(dirname "$0")/wine-env.sh"
qel_wine_prefix

# The program uses its default data folders here; drop overrides a test run may have left.
wine reg delete 'HKLM\Software\QelSMS' /f >/dev/null 2>&1 || true
# QEL_DISCOVERY=host:port sends the search for phone modems to a responder (README).
if [ -n "${QEL_DISCOVERY:-}" ]; then
    wine reg add 'HKLM\Software\QelSMS\Lite' /v ModemDiscoveryServer /t REG_SZ /d "$QEL_DISCOVERY" /f >/dev/null
fi

if [ -z "${DISPLAY:-}" ]; then
    echo "run-program: no display; running on a virtual display (xvfb-run)."
    exec xvfb-run -a -s "-screen 0 1024x768x24" \
        sh -c 'wine "$0/QELCONF.EXE" "$@"; status=$?; wineserver -w; exit $status' "$install_dir" "$@"
fi
wine "$install_dir/QELCONF.EXE" "$@"
