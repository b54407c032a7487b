#!/usr/bin/env bash
# Benchmark, run by hand: each message viewer over 6000 files in its folder and three
# sub-folders, in one Wine session.
#  - opening: the viewer's first reading against a baseline that only finds, opens, reads and
#    closes the files such a reader must read, with plain Win32 calls. Goal: at most 1.2
#    times the baseline, memory under 64 MB.
#  - refresh: one refresh of the unchanged folder against a bare enumeration of the same
#    folders. Goal: at most 2 times (no file is opened when nothing changed).
#   make windows && tools/bench-viewer.sh [outbound-sms|outbound-mms|received-sms|received-mms|all] [ROUNDS]
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
which=${1:-all}
rounds=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
testbin=${QEL_WIN_BUILD:-$root/build/win32}/testbin
export QEL_PREFIX=${QEL_PREFIX:-$root/build/wineprefix-bench}
source "$root/tools/wine-env.sh"
qel_wine_prefix

work=$(mktemp -d /tmp/qel-bench.XXXXXX)
trap 'wine reg delete "HKLM\Software\QelSMS" /f >/dev/null 2>&1 || true; wineserver -k || true; rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/private"
python3 - "$work/data" <<'PY'
import os, sys
data = sys.argv[1]
subs = ['', 'Sub1', 'Sub2', 'Sub3']

def write(folder, sub, name, body):
    path = os.path.join(data, folder, sub)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), 'w', newline='') as f:
        f.write(body)

for i in range(6000):
    sub = subs[i % 4]
    body = ('[SMS]\r\nPhoneNumber=+44%08d\r\nSubmitUser=user%d\r\nSender=Gateway\r\n'
            'Data=Message number %d with some text in it\r\n' % (i, i % 17, i))
    if i % 5 == 0:
        body += '[ErrorDetail]\r\nRetryCount=%d\r\nLastErrorInfo=Modem error %d\r\n' % (i % 13, i)
    write('Q', sub, 'R%05d.REQ' % i, body)
    write('SMS-IN', sub, 'S%05d.%s' % (i, ('IN', 'REC', 'SMS')[i % 3]),
          '[SMS-IN]\r\nSender=+44%08d\r\nPhoneNumber=+4400\r\nData=Received message %d\r\n' % (i, i))
    write('MMS-IN', sub, 'M%05d.HDR' % i,
          'From: +44%08d/TYPE=PLMN\r\nTo: +4400/TYPE=PLMN\r\nSubject: Picture %d\r\n'
          'X-QelMMS-Content-Location: M%05d\\image.jpg;image/jpeg\r\n' % (i, i, i))
    write('VASPQ', sub, 'V%05d.MMS' % i, 'x' * 2000)
    control = '[Routing]\r\nSenderAddress=+44%08d\r\n' % i
    if i % 5 == 0:
        control += 'RetryCount=%d\r\nLastErrorInfo=Route error\r\n' % (i % 13)
    write('VASPQ', sub, 'V%05d.INI' % i, control + '[Recipients]\r\nTo1=+4411/TYPE=PLMN\r\nTo2=+4422\r\n')
PY
winpath() { printf 'Z:%s\\' "$(printf '%s' "$1" | sed 's#/#\\#g')"; }
wine reg add 'HKLM\Software\QelSMS\Lite' /v DataDirectory /d "$(winpath "$work/data")" /f >/dev/null
wine reg add 'HKLM\Software\QelSMS\Lite' /v PrivateDataDirectory /d "$(winpath "$work/private")" /f >/dev/null

wineserver -p </dev/null >/dev/null 2>&1 || true
cd "${QEL_WIN_BUILD:-$root/build/win32}/install/QelSMS" # viewer_host.exe finds GWCORE.DLL here

bench() { # viewer folder read-patterns list-patterns
    local viewer=$1 folder
    folder=$(winpath "$work/data/$2")
    read -r -a reads <<<"$3"
    read -r -a lists <<<"$4"
    for i in $(seq "$rounds"); do
        wine "$testbin/queue_baseline.exe" "$folder" "${reads[@]}" </dev/null 2>/dev/null || true
        wine "$testbin/viewer_host.exe" --bench "$viewer" </dev/null 2>/dev/null || true
        wine "$testbin/queue_baseline.exe" --list-only "$folder" "${lists[@]}" </dev/null 2>/dev/null || true
        wine "$testbin/viewer_host.exe" --bench-refresh "$viewer" </dev/null 2>/dev/null || true
    done | tr -d '\r' | awk -v viewer="$viewer" '
        /baseline-ms/ { base += $2; nb++ }
        /viewer-ms/ { view += $2; nv++ }
        /listing-ms/ { list += $2; nl++ }
        /refresh-ms/ { refresh += $2; nr++ }
        /peak-working-set-kb/ { if ($2 > peak) peak = $2 }
        END {
            printf "%s: opening %.0f ms against baseline %.0f ms, ratio %.2f (goal 1.2); ", viewer, view/nv, base/nb, (view/nv)/(base/nb)
            printf "refresh %.0f ms against listing %.0f ms, ratio %.2f (goal 2); peak working set %.1f MB\n", refresh/nr, list/nl, (refresh/nr)/(list/nl), peak/1024
        }'
}

case $which in outbound-sms|all) bench outbound-sms Q "*.REQ" "*.REQ" ;; esac
case $which in outbound-mms|all) bench outbound-mms VASPQ "*.INI" "*" ;; esac
case $which in received-sms|all) bench received-sms SMS-IN "*.IN *.REC *.SMS" "*.IN *.REC *.SMS" ;; esac
case $which in received-mms|all) bench received-mms MMS-IN "*.HDR" "*.HDR" ;; esac
