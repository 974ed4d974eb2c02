# shellcheck shell=bash
# The demo's update scenario, sourced by demo.sh (which defines DEMO, STUB,
# PACK_TOOL, DEMO_ENGINE, UI_DRIVER, LAUNCHER and say, winpath, shot,
# run_windows). run_update_scenario installs version 1 of a demo product with
# its auto-update agent, starts the product, and lets the agent find version 2
# on a loopback server: the offer is answered as a user would, the download
# shows its progress, the product is closed, the new setup runs, and the
# product is started again on version 2.

UPDATE_DEMO="${DEMO:?}/update"
PRODUCT_WIN='C:\Program Files\Demo Product'
PRODUCT_PROGRAM_WIN="$PRODUCT_WIN\\Product.exe"
AGENT_WIN="$PRODUCT_WIN\\ProdUpdate.exe"
PRODUCT_TOKEN=demo-product-token
TARGET_PROGRAM=build/win/tools/test-helpers/target-program.exe
AGENT_CTL=build/win/tools/test-helpers/agent-ctl.exe
# Generous: Wine under qemu takes minutes where Windows takes seconds.
CYCLE_LIMIT_SECONDS=600

# Waits at most LIMIT seconds until COMMAND succeeds; fails when it never did.
wait_until() {  # LIMIT COMMAND...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

product_folder() { printf '%s/drive_c/Program Files/Demo Product' "$WINEPREFIX"; }
run_log() { printf '%s/X_ProdUpdate.log' "$(product_folder)"; }
# How many of the resident copy's run-log records match the extended regular
# expression (the whole record).
copy_records() { tr -d '\r' <"$(run_log)" 2>/dev/null | grep -cE -- " X $1\$" || true; }
copy_logged() { (($(copy_records "$1") >= ${2:-1})); }

# Linux ids of the Wine processes that run the installed product's program
# (its Windows path follows the Wine loader on their command line).
product_pids() {
  local entry
  for entry in /proc/[0-9]*; do
    tr '\0' '\n' 2>/dev/null <"$entry/cmdline" |
      WANTED="$PRODUCT_PROGRAM_WIN" awk 'loader { gsub(/"/, ""); found = tolower($0) == tolower(ENVIRON["WANTED"]); exit }
        /(^|\/)wine$/ { loader = 1 } END { exit !found }' &&
      echo "${entry#/proc/}"
  done
  return 0
}

# A product process that was not running before the update.
product_restarted() {
  local pid
  for pid in $(product_pids); do
    [[ " $FIRST_PRODUCT_PIDS " == *" $pid "* ]] || return 0
  done
  return 1
}

# A setup of the demo product: the demo engine installs every file of FILES
# into the product's folder. An update run writes the agent made from the
# setup's own package beside those files (the new version's agent), so the
# setup carries the agent's settings too.
pack_product_setup() {  # PORT FILES OUT
  cat >"$(dirname "$2")/project.ini" <<INI
[Package]
Type = setup
Files = $(basename "$2")
Launch = Setup.exe
LaunchArguments = "/INSTALLDIR=$PRODUCT_WIN"

[Flags]
WriteRunLog = 1

[Settings]
$(agent_settings "$1")

[Language English]
s0 = Demo Product Setup
s1 = Extracting Files...
INI
  "$PACK_TOOL" build "$(dirname "$2")/project.ini" --stub "$STUB" --out "$3" --seed 1 >/dev/null
}

agent_settings() {  # PORT
  printf 'ServerUrl = http://127.0.0.1:%s/product/\nInfoFile = Product.info\n' "$1"
  printf 'AgentExe = ProdUpdate.exe\nToken = %s\n' "$PRODUCT_TOKEN"
}

product_files() {  # FOLDER VERSION
  mkdir -p "$1"
  cp "$DEMO_ENGINE" "$1/Setup.exe"
  cp "$TARGET_PROGRAM" "$1/Product.exe"
  printf 'Demo Product version %s\r\n' "$2" >"$1/version.txt"
}

# The record file the product's setup leaves for its agent: version 1, a
# probe due at once, the texts of the agent's boxes.
write_original() {  # PATH
  {
    printf '[OriginalSetup]\r\nVersionOriginal=1\r\nStamp=0\r\nProgramName=Demo Product\r\n'
    printf 'ProbeSecondsInterval=3600\r\nProbeSecondsLast=0\r\n'
    printf 'ReAskSecondsInterval=86400\r\nReAskSecondsLast=0\r\n'
    printf '[Directories]\r\nTargetDir=%s\r\n' "$PRODUCT_WIN"
    printf '[MsgBox]\r\nFontName=Tahoma\r\nFontSize=8\r\n'
    printf '[AutoUpdate]\r\ns11=<B>PROG_NAME 2 is out.</B><P>\r\ns12=Download it now?\r\n'
  } >"$1"
}

pack_agent() {  # PORT OUT
  cat >"$UPDATE_DEMO/agent.ini" <<INI
[Package]
Type = agent

[Flags]
WriteRunLog = 1

[Settings]
$(agent_settings "$1")
INI
  "$PACK_TOOL" build "$UPDATE_DEMO/agent.ini" --stub "$STUB" --out "$2" --seed 1 >/dev/null
}

# Version 1 is installed with its agent and record file; the version-2 setup
# brings the new program (and the agent the update run makes from it).
pack_versions() {  # PORT
  product_files "$UPDATE_DEMO/v1/files" 1
  pack_agent "$1" "$UPDATE_DEMO/v1/files/ProdUpdate.exe"
  write_original "$UPDATE_DEMO/v1/files/Product.original"
  pack_product_setup "$1" "$UPDATE_DEMO/v1/files" "$UPDATE_DEMO/DemoSetup-1.exe"
  product_files "$UPDATE_DEMO/v2/files" 2
  pack_product_setup "$1" "$UPDATE_DEMO/v2/files" "$UPDATE_DEMO/DemoSetup-2.exe"
}

start_server() {
  /usr/bin/python3 demo/update_server.py "$UPDATE_DEMO/server" "$UPDATE_DEMO/DemoSetup-2.exe" \
    "$PRODUCT_PROGRAM_WIN" &
  UPDATE_SERVER=$!
  wait_until 60 test -s "$UPDATE_DEMO/server/port" ||
    { echo "demo: the update server did not start" >&2; return 1; }
}

# The product's program as a user starts it: one window titled with its
# version, up for ten minutes at most.
start_product() {
  VARNIX_CMDLINE="\"$PRODUCT_PROGRAM_WIN\" \"/visible=Demo Product 1\" /life=600000 /ready=$(winpath "$UPDATE_DEMO/product.ready")" \
    wine "$LAUNCHER" </dev/null >/dev/null 2>&1 &
  wait_until 120 test -s "$UPDATE_DEMO/product.ready" ||
    { echo "demo: the product's window did not come" >&2; return 1; }
  FIRST_PRODUCT_PIDS="$(product_pids | tr '\n' ' ')"
  FIRST_PRODUCT_PIDS="${FIRST_PRODUCT_PIDS% }"
}

# The ui-driver waits for the offer, holds still for its screenshot, then
# clicks the first button (Yes).
answer_offer() {
  wine "$UI_DRIVER" VMsgBox "/out=$(winpath "$UPDATE_DEMO/offer.json")" /wait=$((CYCLE_LIMIT_SECONDS * 1000)) \
    "/pause=$(winpath "$UPDATE_DEMO/offer.answer")" /gone=60000 /action=click:1 </dev/null >/dev/null 2>&1 &
  UPDATE_DRIVER=$!
}

# The plain agent as the product starts it: it starts its resident copy,
# whose probe is due at its first tick. Its output goes to a file, not a
# pipe: the copy inherits the handle and keeps it open for its whole life.
start_agent() {
  VARNIX_CMDLINE="\"$AGENT_WIN\" /DELAY=0" wine "$LAUNCHER" </dev/null >"$UPDATE_DEMO/agent-start.txt" 2>/dev/null || true
  tr -d '\r' <"$UPDATE_DEMO/agent-start.txt"
}

shoot_offer_and_download() {
  if wait_until "$CYCLE_LIMIT_SECONDS" test -s "$UPDATE_DEMO/offer.json"; then
    shot update-offer
    echo "the offer as the UI driver saw it:"
    grep -o '"text": *"[^"]*"' "$UPDATE_DEMO/offer.json" || true
  else
    echo "demo: no offer came" >&2
    return 0
  fi
  touch "$UPDATE_DEMO/offer.answer"
  wait_until "$CYCLE_LIMIT_SECONDS" test -e "$UPDATE_DEMO/server/downloading" && shot update-download
}

wait_for_cycle_end() {
  wait_until "$CYCLE_LIMIT_SECONDS" copy_logged "PerformAutoUpdate\(\) - END +Result=[A-Z]+" ||
    echo "demo: the update cycle did not end" >&2
}

# After an update the agent starts itself anew (the new version's agent): a
# new resident copy replaces the old one.
wait_for_agent_restart() {
  wait_until 120 copy_logged "\.\. ReStartAutoUpdateExe\(\) - End" &&
    wait_until 180 copy_logged WinMain 2 ||
    echo "demo: the agent did not start again" >&2
}

show_outcome() {
  say "after the update"
  local record pids
  record="$(tr -d '\r' <"$(product_folder)/Product.original" | grep '^VersionOriginal=' || true)"
  echo "Product.original: ${record:-no VersionOriginal}"
  tr -d '\r' <"$(product_folder)/version.txt"
  wait_until 60 product_restarted || true
  pids="$(product_pids | tr '\n' ' ')"
  echo "product processes before the update: $FIRST_PRODUCT_PIDS; now: ${pids:-none}"
  tr -d '\r' <"$(run_log)" | grep -E 'PerformAutoUpdate\(\) - END|Setup exit code|RunningProcessPath' || true
}

# Every resident copy of the agent is asked to quit (the restart leaves a new
# one), a plain agent still waiting is closed, and a product process still up
# is ended.
stop_agents_and_product() {
  local round
  for round in 1 2 3; do
    wine "$AGENT_CTL" "$AGENT_WIN" /pid </dev/null >/dev/null 2>&1 || break
    wine "$AGENT_CTL" "$AGENT_WIN" /shutdown=0 /gone=30 </dev/null 2>/dev/null | tr -d '\r' |
      sed "s/^/agent copy $round: /" || true
  done
  wine "$AGENT_CTL" /class=.AutoUpdate.ProdUpdate /close /gone=30 </dev/null >/dev/null 2>&1 || true
  # The restarted product has no window to close: its process ends.
  local pid
  for pid in $(product_pids); do kill "$pid" 2>/dev/null || true; done
}

run_update_scenario() {
  mkdir -p "$UPDATE_DEMO/server"
  say "update: packing versions 1 and 2 of a demo product, version 2 served by a loopback web server"
  start_server
  pack_versions "$(cat "$UPDATE_DEMO/server/port")"
  touch "$UPDATE_DEMO/server/published"
  say "update: installing version 1 with its agent into $PRODUCT_WIN and starting the product"
  run_windows "\"$(winpath "$UPDATE_DEMO/DemoSetup-1.exe")\""
  ls "$(product_folder)"
  start_product
  say "update: starting the agent; it probes at once, the UI driver answers its offer"
  answer_offer
  start_agent
  shoot_offer_and_download
  wait_for_cycle_end
  # The product started again by the agent (without switches) ends on its own after a minute.
  show_outcome
  wait_for_agent_restart
  say "update: the agent's run log, $(run_log)"
  tr -d '\r' <"$(run_log)"
  touch "$UPDATE_DEMO/server/stop"
  wait "$UPDATE_SERVER" 2>/dev/null || true
  echo "requests the update server saw:"
  cat "$UPDATE_DEMO/server/requests.txt" 2>/dev/null || true
  stop_agents_and_product
  kill "$UPDATE_DRIVER" 2>/dev/null || true
}
