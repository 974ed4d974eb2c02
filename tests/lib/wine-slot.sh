#!/usr/bin/env bash
# CTest's emulator for the Windows tests: runs the program under Wine in the
# environment of the slot that CTest gave the test (resource "wine", whose
# slots test.sh brings up with varnix_wine_slots_up under
# $VARNIX_WINE_SLOTS), so tests that run side by side never share a prefix,
# a wineserver or an X display: the debug channel, windows found by class,
# atoms and registry values stay each test's own. Without slots brought up
# (a plain ctest, test discovery) it runs in the environment the caller
# exported.
set -euo pipefail
if [[ -n "${CTEST_RESOURCE_GROUP_COUNT:-}" && -n "${VARNIX_WINE_SLOTS:-}" ]]; then
  # "id:<slot>,slots:1"
  slot="${CTEST_RESOURCE_GROUP_0_WINE:?the test asks for no wine slot}"
  slot="${slot#id:}"
  slot="${slot%%,*}"
  # shellcheck source=/dev/null
  source "${VARNIX_WINE_SLOTS:?VARNIX_WINE_SLOTS names no slots folder}/slot-$slot/env.sh"
fi
exec wine "$@"
