#!/usr/bin/env bash
# Shows the stub at work under Wine on a private X display, unattended. What
# the stub traced is in build/demo/vdebug.log, screens in build/demo/*.png.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=tests/lib/wine-env.sh
source tests/lib/wine-env.sh

DEMO=build/demo
# The stub and the viewer as shipped; the launcher, the UI driver and the demo
# engine come from the Windows tree.
STUB=build/ship/src/varnix-stub.exe
VIEWER=build/ship/tools/vdebug-viewer/vdebug-viewer.exe
PACK_TOOL=build/host/tools/pack/varnix-pack

say() { printf '\ndemo: %s\n' "$*"; }
# shellcheck disable=SC1003 # a single backslash for tr
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
shot() { import -window root "$DEMO/$1.png" && echo "screen saved: $DEMO/$1.png"; }

say "installing what is missing"
varnix_install_deps
if ! varnix_i386_native; then
  say "this machine's kernel runs no 32-bit x86 code: Wine's programs run under qemu-user (slow)"
  varnix_i386_emulation
  # The loopback servers below keep no idle connection then (see tests/e2e/conftest.py).
  export VARNIX_WINE_EMULATION=qemu
fi

say "building"
cmake -S . -B build/host >/dev/null
cmake --build build/host -j2
trap varnix_wine_down EXIT
trap 'exit 130' INT TERM
varnix_wine_up build/wine-demo
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win -j2
cmake -S . -B build/ship -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686-ship.cmake >/dev/null
cmake --build build/ship -j2

rm -rf "$DEMO"
mkdir -p "$DEMO"

say "starting the debug viewer"
wine "$VIEWER" "/log=$(winpath "$DEMO/vdebug.log")" "/ready=$(winpath "$DEMO/viewer.ready")" \
  </dev/null >/dev/null 2>&1 &
for _ in $(seq 200); do
  [[ -f "$DEMO/viewer.ready" ]] && break
  sleep 0.05
done
[[ -f "$DEMO/viewer.ready" ]] || { echo "demo: the debug viewer did not start" >&2; exit 1; }

if [[ ! -f "$STUB" ]]; then
  say "the stub is not ready yet"
  exit 0
fi

LAUNCHER=build/win/tools/test-helpers/launcher.exe

# Runs a Windows command line exactly as given and prints its full exit code.
run_windows() {
  VARNIX_CMDLINE="$1" wine "$LAUNCHER" </dev/null 2>/dev/null | tr -d '\r' || true
}

DEMO_ENGINE=build/win/tools/demo-engine/demo-engine.exe
UI_DRIVER=build/win/tools/test-helpers/ui-driver.exe

# Runs PROGRAM_WIN with "/demo=1" as a user would while the UI driver records
# its window into JSON; the screenshot NAME is taken once the file READY has
# content (waited for at most TENTHS tenths of a second).
run_watched() {  # PROGRAM_WIN JSON READY NAME TENTHS
  local program="$1" json="$2" ready="$3" name="$4" tenths="$5"
  wine "$UI_DRIVER" "$program" "/out=$(winpath "$json")" /action=none /gone=1 </dev/null >/dev/null 2>&1 &
  local driver=$!
  ( for _ in $(seq "$tenths"); do
      [[ -s "$ready" ]] && { shot "$name"; break; }
      sleep 0.1
    done ) &
  local shooter=$!
  run_windows "\"$program\" /demo=1"
  wait "$shooter" 2>/dev/null || true
  kill "$driver" 2>/dev/null || true
}

say "packing a demo installation with varnix-pack"
mkdir -p "$DEMO/setup/files/docs" "$DEMO/setup/files/data"
cp "$DEMO_ENGINE" "$DEMO/setup/files/Setup.exe"
printf 'Welcome to the demo product.\r\n' >"$DEMO/setup/files/docs/readme.txt"
# Some bulk, so that the main window is up long enough to be seen.
/usr/bin/python3 - "$DEMO/setup/files/data" <<'PY'
import random, sys
random.seed(7)
words = [b"varnix", b"setup", b"stub", b"package", b"volume", b"engine", b"window", b"progress"]
for i in range(40):
    with open(f"{sys.argv[1]}/part{i:02d}.txt", "wb") as f:
        f.write(b" ".join(random.choice(words) for _ in range(400000)))
PY
say "making a throwaway code-signing certificate (self-signed, valid for a day)"
mkdir -p "$DEMO/setup/signing"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Varnix Demo Publisher" \
  -keyout "$DEMO/setup/signing/key.pem" -out "$DEMO/setup/signing/cert.pem" 2>/dev/null
# The Sign command runs in the project's folder with the program in $in and
# the signed copy to write in $out.
cat >"$DEMO/setup/project.ini" <<'INI'
[Package]
Type = setup
Files = files
Launch = Setup.exe
LaunchArguments = "/INSTALLDIR=C:\Program Files\Varnix Demo"
EndPointer = 1
Sign = osslsigncode sign -certs signing/cert.pem -key signing/key.pem -n "Varnix Demo" -in "$in" -out "$out"

[Flags]
ShowActivityBar = 1

[Settings]
Token = demo-product-token

[Web]
; What a web stub of this product checks the downloaded file against.
Folder = http://127.0.0.1/unused
FileName = DemoSetup.exe
Token = demo-product-token
Size = 1

[Language English]
s0 = Demo Product Setup
s1 = Extracting Files...

[Language German]
s0 = Demo-Produkt Installation
s1 = Dateien werden entpackt...
INI
"$PACK_TOOL" build "$DEMO/setup/project.ini" --stub "$STUB" --out "$DEMO/setup.exe" --seed 1
"$PACK_TOOL" list "$DEMO/setup.exe" >"$DEMO/setup-listing.txt"
head -n 40 "$DEMO/setup-listing.txt"

say "verifying the signature, with the throwaway certificate as the only trusted one"
osslsigncode verify -CAfile "$DEMO/setup/signing/cert.pem" -in "$DEMO/setup.exe" \
  >"$DEMO/verify.txt" 2>&1 || { cat "$DEMO/verify.txt"; echo "demo: verification failed" >&2; exit 1; }
grep -E "message digest|Subject|Signature verification|Succeeded" "$DEMO/verify.txt"

say "running the setup under Wine: the main window extracts, then the demo engine installs"
SETUP_WIN="$(winpath "$DEMO/setup.exe")"
# The main window is caught (its class is the program's full path) while it extracts.
run_watched "$SETUP_WIN" "$DEMO/main-window.json" "$DEMO/main-window.json" main-window 150
echo "main window as the UI driver saw it:"
head -c 600 "$DEMO/main-window.json" 2>/dev/null; echo
say "the engine's install report"
tr -d '\r' <"$WINEPREFIX/drive_c/Program Files/Varnix Demo/install-report.txt" >"$DEMO/install-report.txt" || true
head -n 20 "$DEMO/install-report.txt"
echo "installed files:"
ls -R "$WINEPREFIX/drive_c/Program Files/Varnix Demo" >"$DEMO/installed-files.txt" || true
head -n 30 "$DEMO/installed-files.txt"

say "packing a web stub of the same product and running it against a loopback web server"
mkdir -p "$DEMO/web"
/usr/bin/python3 - "$DEMO" <<'PY' &
import os, sys, time
from pathlib import Path
sys.path.insert(0, "tests/lib")
from http_server import HttpServer
demo = Path(sys.argv[1])
# Emulated Wine loses processes that keep an idle connection (see tests/e2e/conftest.py).
with HttpServer(keep_alive=os.environ.get("VARNIX_WINE_EMULATION") != "qemu") as server:
    # Served slowly enough for the progress to be seen.
    server.add_route("/product/DemoSetup.exe", "trickle", (demo / "setup.exe").read_bytes(),
                     chunk=256 * 1024, interval=0.2)
    (demo / "web" / "port").write_text(str(server.port))
    # The screenshot is taken while the download runs: a few seconds after
    # the download's request (the second; the first is the warm-up).
    try:
        server.wait_for_requests(2, "/product/DemoSetup.exe", timeout=300)
        time.sleep(3)
    finally:
        (demo / "web" / "downloading").write_text("now")
    while not (demo / "web" / "stop").exists():
        time.sleep(0.2)
    with open(demo / "web" / "requests.txt", "w") as log:
        for r in server.requests():
            log.write(f"{r.method} {r.path} User-Agent: {r.user_agent} Pragma: {r.pragma}\n")
PY
server=$!
for _ in $(seq 100); do [[ -s "$DEMO/web/port" ]] && break; sleep 0.1; done
cat >"$DEMO/web/project.ini" <<INI
[Package]
Type = web

[Flags]
AskBeforeDownload = 0

[Web]
Folder = http://127.0.0.1:$(cat "$DEMO/web/port")/product/
FileName = DemoSetup.exe
AlwaysDownload = 1
Token = demo-product-token
SizeOfFile = $(realpath "$DEMO/setup.exe")

[Language English]
s0 = Demo Product Web Setup
INI
"$PACK_TOOL" build "$DEMO/web/project.ini" --stub "$STUB" --out "$DEMO/web/websetup.exe" --seed 1
WEB_WIN="$(winpath "$DEMO/web/websetup.exe")"
run_watched "$WEB_WIN" "$DEMO/web-window.json" "$DEMO/web/downloading" web-stub-download 3000
touch "$DEMO/web/stop"
wait "$server" 2>/dev/null || true
echo "requests the web server saw:"
cat "$DEMO/web/requests.txt" 2>/dev/null || true

# shellcheck source=demo/update-scenario.sh
source demo/update-scenario.sh
run_update_scenario

sleep 0.5  # let the viewer write the last pieces
say "what the stub traced (without the agent's lines of each timer tick; all in $DEMO/vdebug.log)"
grep -vE '^[0-9]+ (AutoUpdateTimerCount|ShotTimeStatus)=' "$DEMO/vdebug.log" 2>/dev/null || echo "(nothing)"
shot final
