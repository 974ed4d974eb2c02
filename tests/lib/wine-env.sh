# shellcheck shell=bash
# Wine test environment: packages, a private 32-bit prefix and a private X
# server. Sourced by test.sh, demo.sh and (through bash) by the end-to-end
# harness when pytest runs on its own.
#
#   varnix_install_deps    install what the builds and tests need (idempotent)
#   varnix_wine_up DIR     fresh prefix DIR/prefix, own Xvfb, persistent wineserver;
#                          exports WINEPREFIX WINEARCH WINEDEBUG DISPLAY
#                          VARNIX_WINE_DIR VARNIX_XVFB_PID. The prefix is a
#                          32-bit Windows, or a 64-bit one (which runs the
#                          32-bit programs too) when VARNIX_WINE_ARCH=win64
#   varnix_wine_warm_up    start Wine's system processes detached from any
#                          pipe (again after a wineserver restart)
#   varnix_wine_down       stop the wineserver (and every process of the
#                          prefix) and the Xvfb started by varnix_wine_up
#   varnix_i386_native     true when this machine's kernel runs 32-bit x86
#                          code itself (Wine's 32-bit programs need it)
#   varnix_i386_emulation  where it does not: runs 32-bit x86 programs under
#                          qemu-user instead (root; slow, about 20 s a test)
#   varnix_wine_slots_up ROOT N
#                          N more environments ROOT/slot-0 .. ROOT/slot-<N-1>,
#                          brought up side by side, for programs that run in
#                          parallel; each leaves its exports in env.sh there
#   varnix_wine_slots_down ROOT
#                          stop them and remove their folders
#
# A prefix is made once per set-up recipe and kept as a template under
# build/wine-template/<arch>/<key>/ (override with VARNIX_WINE_TEMPLATES); each
# varnix_wine_up copies it (about 1 s instead of about 10 s). The key covers
# the recipe below and the Wine version, so changing either makes a new one.

VARNIX_REPO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

VARNIX_DEB_PACKAGES=(
  wine wine32:i386 wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev xvfb xauth
  fonts-wine
  googletest python3-pytest python3-pytest-xdist zlib1g-dev cmake g++ imagemagick x11-apps
  locales osslsigncode openssl clang-14 libclang-rt-14-dev llvm-14
)

# What varnix_wine_up exports: everything a program needs to run in that
# environment, and what varnix_wine_down needs to end it.
_VARNIX_WINE_EXPORTS=(WINEPREFIX WINEARCH WINEDEBUG DISPLAY VARNIX_WINE_DIR VARNIX_XVFB_PID
  no_proxy NO_PROXY)

_varnix_log() { printf 'wine-env: %s\n' "$*" >&2; }

_VARNIX_BINFMT=/proc/sys/fs/binfmt_misc
_VARNIX_QEMU_ENTRY="$_VARNIX_BINFMT/qemu-i386"
# The 32-bit loader Wine's i386 part starts through; any i386 ELF would do.
_VARNIX_I386_PROBE=/lib/ld-linux.so.2

# Some virtual machines run only 64-bit code: the kernel refuses every 32-bit
# program (exec format error), and Wine's 32-bit side cannot start at all. A
# qemu-user handler registered by varnix_i386_emulation would hide that, so
# it is switched off for the moment of the probe.
varnix_i386_native() {
  local was_on=0 native=1
  [[ -x "$_VARNIX_I386_PROBE" ]] || return 1
  if [[ -f "$_VARNIX_QEMU_ENTRY" ]] && head -1 "$_VARNIX_QEMU_ENTRY" | grep -qx enabled; then
    was_on=1
    echo 0 >"$_VARNIX_QEMU_ENTRY" 2>/dev/null || return 1
  fi
  "$_VARNIX_I386_PROBE" --version >/dev/null 2>&1 || native=0
  if ((was_on)); then echo 1 >"$_VARNIX_QEMU_ENTRY"; fi
  ((native))
}

# Debian's 32-bit Wine comes without the preloader that reserves its address
# space; under qemu-user the loader then spins for ever trying to map its
# shared area. The preloader of the packaged unstable release does the job.
_varnix_install_wine_preloader() {
  local target=/usr/lib/wine/wine-preloader apt_dir deb
  [[ -x "$target" ]] && return 0
  apt_dir="$(mktemp -d)"
  mkdir -p "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/out"
  echo "deb http://deb.debian.org/debian sid main" >"$apt_dir/sources.list"
  local -a options=(-o "Dir::State=$apt_dir/state" -o "Dir::Cache=$apt_dir/cache"
    -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
    -o "APT::Architectures::=i386" -o "Acquire::Check-Valid-Until=false")
  if apt-get "${options[@]}" update -q </dev/null >/dev/null 2>&1 &&
    (cd "$apt_dir/out" && apt-get "${options[@]}" download wine32-preloader:i386 </dev/null >/dev/null 2>&1); then
    deb="$(ls "$apt_dir"/out/*.deb 2>/dev/null | head -1)"
    dpkg -x "$deb" "$apt_dir/root" && install -m 755 "$apt_dir/root/usr/lib/i386-linux-gnu/wine/wine-preloader" "$target"
  fi
  rm -rf "$apt_dir"
  [[ -x "$target" ]] || { _varnix_log "could not install Wine's 32-bit preloader"; return 1; }
}

varnix_i386_emulation() {
  if [[ "$(id -u)" != 0 ]]; then
    _varnix_log "32-bit emulation needs root (binfmt_misc)"
    return 1
  fi
  if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q "ok installed"; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends qemu-user-static \
      </dev/null >/dev/null || return 1
  fi
  _varnix_install_wine_preloader || return 1
  [[ -f "$_VARNIX_BINFMT/register" ]] || mount -t binfmt_misc binfmt_misc "$_VARNIX_BINFMT" || return 1
  if [[ ! -f "$_VARNIX_QEMU_ENTRY" ]]; then
    # F: the interpreter is opened now, so it also serves inside other roots.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >"$_VARNIX_BINFMT/register" || return 1
  fi
  echo 1 >"$_VARNIX_QEMU_ENTRY"
  "$_VARNIX_I386_PROBE" --version >/dev/null 2>&1
}

# Prints the packages of VARNIX_DEB_PACKAGES that are not installed.
_varnix_missing_packages() {
  local pkg status
  for pkg in "${VARNIX_DEB_PACKAGES[@]}"; do
    status="$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)"
    [[ "$status" == "install ok installed" ]] || printf '%s\n' "$pkg"
  done
}

varnix_install_deps() {
  local missing
  mapfile -t missing < <(_varnix_missing_packages)
  if ((${#missing[@]} == 0)); then
    return 0
  fi
  if [[ "$(id -u)" != 0 ]]; then
    _varnix_log "missing packages (${missing[*]}); run as root to install them"
    return 1
  fi
  _varnix_log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q </dev/null
  apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
  mapfile -t missing < <(_varnix_missing_packages)
  if ((${#missing[@]} != 0)); then
    _varnix_log "still missing after install: ${missing[*]}"
    return 1
  fi
}

# The set-up recipe of a prefix. Runs with WINEPREFIX/WINEARCH exported and
# no wineserver of that prefix running; leaves none running. Fails when a
# step fails, so a half-made prefix never becomes a template.
_varnix_make_prefix() {
  # mscoree/mshtml off: a new prefix would otherwise ask to install Mono and
  # Gecko, which nothing here uses. winedbg off: a set-up program that
  # crashes (seen once under qemu-user) would start the debugger, which then
  # keeps the wineserver, and this recipe, waiting for ever.
  WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || return 1
  wineserver -w
  # A fresh prefix lacks Tahoma and Marlett: text would fall back to another
  # font and caption buttons would show letters.
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" || return 1
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
  # Without a window manager every hide or destroy of a visible top-level
  # window blocks for 2 s; unmanaged windows do not wait for one.
  WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
    return 1
  wineserver -w
  # A boot that was cut short can still exit 0 and leave a prefix without
  # its system DLLs, in which no program starts.
  [[ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]]
}

_varnix_wine_arch() { printf '%s\n' "${VARNIX_WINE_ARCH:-win32}"; }

_varnix_template_key() {
  { declare -f _varnix_make_prefix; wine --version; ls /usr/share/wine/fonts; _varnix_wine_arch; } |
    sha256sum | cut -c1-16
}

# Prints the path of a ready prefix template, making it when needed.
_varnix_prefix_template() {
  # One folder per architecture, so making one never clears away the other.
  local root="${VARNIX_WINE_TEMPLATES:-$VARNIX_REPO_ROOT/build/wine-template}/$(_varnix_wine_arch)"
  local key dir staging
  key="$(_varnix_template_key)"
  dir="$root/$key"
  if [[ -f "$dir/ready" ]]; then
    printf '%s\n' "$dir/prefix"
    return 0
  fi
  mkdir -p "$root"
  # Templates of older recipes are useless now, and so are staging folders
  # that an interrupted run left behind (a running one is younger).
  find "$root" -mindepth 1 -maxdepth 1 -not -name "$key" -not -name '.staging.*' \
    -exec rm -rf {} + 2>/dev/null || true
  find "$root" -mindepth 1 -maxdepth 1 -name '.staging.*' -mmin +30 \
    -exec rm -rf {} + 2>/dev/null || true
  staging="$(mktemp -d "$root/.staging.XXXXXX")"
  _varnix_log "making a prefix template (about 10 s)"
  if ! (unset DISPLAY && export WINEPREFIX="$staging/prefix" WINEARCH="$(_varnix_wine_arch)" &&
    _varnix_make_prefix); then
    rm -rf "$staging"
    _varnix_log "wineboot failed"
    return 1
  fi
  touch "$staging/ready"
  # Another run may have made the same template meanwhile; either one will do.
  if ! mv -T "$staging" "$dir" 2>/dev/null; then
    rm -rf "$staging"
  fi
  printf '%s\n' "$dir/prefix"
}

# Starts Xvfb on the first display number from 90 up that nobody uses and
# sets VARNIX_XVFB_PID and DISPLAY.
_varnix_start_xvfb() {
  local dir="$1" n pid tries
  for ((n = 90; n < 190; n++)); do
    [[ -e "/tmp/.X$n-lock" || -e "/tmp/.X11-unix/X$n" ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 </dev/null &
    pid=$!
    for ((tries = 0; tries < 100; tries++)); do
      # The lock file names the server that owns the number: ours, or one
      # that got there first.
      if [[ -S "/tmp/.X11-unix/X$n" && "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" == "$pid" ]]; then
        export VARNIX_XVFB_PID="$pid" DISPLAY=":$n"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    # Lost a race for this number to another server (or it did not start): next one.
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  _varnix_log "no free X display found"
  return 1
}

varnix_wine_up() {
  local dir="${1:?usage: varnix_wine_up DIR}" template
  mkdir -p "$dir"
  dir="$(cd "$dir" && pwd)"
  unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY
  export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost
  template="$(_varnix_prefix_template)" || return 1
  rm -rf "$dir/prefix"
  cp -a "$template" "$dir/prefix"
  export WINEPREFIX="$dir/prefix" WINEARCH="$(_varnix_wine_arch)" WINEDEBUG=-all VARNIX_WINE_DIR="$dir"
  _varnix_start_xvfb "$dir" || return 1
  # A persistent server makes each later program start about ten times faster
  # and keeps global atoms alive between programs.
  wineserver -p >/dev/null 2>&1 </dev/null
  varnix_wine_warm_up
  _varnix_log "prefix $WINEPREFIX, DISPLAY $DISPLAY"
}

# The first program of a new wineserver starts Wine's system processes
# (services.exe, explorer.exe /desktop, ...), which inherit that program's
# stdout and stderr and keep them open for the server's life: whoever reads
# its output through a pipe (CTest's test discovery, a subprocess capture)
# then waits forever. Starting them here attaches them to nothing.
varnix_wine_warm_up() {
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

varnix_wine_down() {
  if [[ -n "${WINEPREFIX:-}" && -n "${VARNIX_WINE_DIR:-}" ]]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  if [[ -n "${VARNIX_XVFB_PID:-}" ]]; then
    kill "$VARNIX_XVFB_PID" 2>/dev/null || true
    # Only a child of this shell can be waited for; otherwise poll until gone.
    wait "$VARNIX_XVFB_PID" 2>/dev/null ||
      for _ in $(seq 50); do kill -0 "$VARNIX_XVFB_PID" 2>/dev/null || break; sleep 0.1; done
    unset VARNIX_XVFB_PID
  fi
}

# The slots come up in parallel: most of a start is waiting for Wine's
# system processes, so two cost little more than one.
varnix_wine_slots_up() {
  local root="${1:?usage: varnix_wine_slots_up ROOT COUNT}"
  local count="${2:?usage: varnix_wine_slots_up ROOT COUNT}" i pid failed=0
  local -a pids=()
  for ((i = 0; i < count; i++)); do
    (
      status=0
      varnix_wine_up "$root/slot-$i" || status=$?
      # Written even after a failure, so varnix_wine_slots_down finds
      # whatever did start.
      if [[ -n "${VARNIX_WINE_DIR:-}" ]]; then
        for name in "${_VARNIX_WINE_EXPORTS[@]}"; do
          printf 'export %s=%q\n' "$name" "${!name:-}"
        done >"$VARNIX_WINE_DIR/env.sh"
      fi
      exit "$status"
    ) </dev/null &
    pids+=("$!")
  done
  for pid in "${pids[@]}"; do
    wait "$pid" || failed=1
  done
  ((failed == 0)) || { _varnix_log "a Wine slot under $root did not come up"; return 1; }
}

varnix_wine_slots_down() {
  local root="${1:?usage: varnix_wine_slots_down ROOT}" env
  for env in "$root"/slot-*/env.sh; do
    [[ -f "$env" ]] || continue
    # shellcheck source=/dev/null
    (source "$env" && varnix_wine_down)
    rm -rf "$(dirname "$env")"
  done
}
