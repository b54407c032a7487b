#!/usr/bin/env bash
# Benchmark, run by hand: opening the outbound SMS queue viewer over 6000 request files in
# the queue root and three sub-queues, against a baseline that only finds, opens, reads and
# closes the same files with plain Win32 calls, in the same Wine session. Goal: the viewer
# takes at most 1.5 times the baseline and its memory stays under 64 MB.
#   make windows && tools/bench-viewer.sh [ROUNDS]
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
rounds=${1:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
testbin=${QEL_WIN_BUILD:-$root/build/win32}/testbin
export QEL_PREFIX=${QEL_PREFIX:-$root/build/wineprefix-bench}
source "$root/tools/wine-env.sh"
qel_wine_prefix

work=$(mktemp -d /tmp/qel-bench.XXXXXX)
trap 'wine reg delete "HKLM\Software\QelSMS" /f >/dev/null 2>&1 || true; wineserver -k || true; rm -rf "$work"' EXIT
mkdir -p "$work/data/Q" "$work/private"
python3 - "$work/data/Q" <<'PY'
import os, sys
queue = sys.argv[1]
subs = ['', 'Modem1', 'Modem2', 'Modem3']
for sub in subs[1:]:
    os.makedirs(os.path.join(queue, sub), exist_ok=True)
for i in range(6000):
    body = ('[SMS]\r\nPhoneNumber=+44%08d\r\nSubmitUser=user%d\r\nSender=Gateway\r\n'
            'Data=Message number %d with some text in it\r\n' % (i, i % 17, i))
    if i % 5 == 0:
        body += '[ErrorDetail]\r\nRetryCount=%d\r\nLastErrorInfo=Modem error %d\r\n' % (i % 13, i)
    with open(os.path.join(queue, subs[i % 4], 'R%05d.REQ' % i), 'w', newline='') as f:
        f.write(body)
PY
winpath() { printf 'Z:%s\\' "$(printf '%s' "$1" | sed 's#/#\\#g')"; }
wine reg add 'HKLM\Software\QelSMS\Lite' /v DataDirectory /d "$(winpath "$work/data")" /f >/dev/null
wine reg add 'HKLM\Software\QelSMS\Lite' /v PrivateDataDirectory /d "$(winpath "$work/private")" /f >/dev/null

wineserver -p </dev/null >/dev/null 2>&1 || true
queue=$(winpath "$work/data/Q")
for i in $(seq "$rounds"); do
    wine "$testbin/queue_baseline.exe" "$queue" </dev/null 2>/dev/null || true
    wine "$testbin/viewer_host.exe" --bench outbound-sms </dev/null 2>/dev/null || true
done | tr -d '\r' | awk '
    /baseline-ms/ { base += $2; nb++ }
    /viewer-ms/ { view += $2; nv++ }
    /peak-working-set-kb/ { if ($2 > peak) peak = $2 }
    /-ms|peak-working/ { print }
    END { if (nb && nv) printf "mean baseline %.0f ms, mean viewer %.0f ms, ratio %.2f, peak working set %.1f MB\n", base/nb, view/nv, (view/nv)/(base/nb), peak/1024 }'
