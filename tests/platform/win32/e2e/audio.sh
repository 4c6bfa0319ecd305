#!/usr/bin/env bash
# End-to-end checks of the volume keys under Wine, on a private PulseAudio as Wine's sound
# server: the winmm mixer with --os-version 5 (Wine keeps its level in the process, so every
# step reads back what the one before left), and Core Audio by default, whose level Wine
# refuses to set while it keeps the mute.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/../audio/pulse.sh"
trap stop_pulse EXIT
start_pulse || { fail "no sound server for Wine"; finish; }

key() { veskosd post 786 "$1" 0; }
DOWN=259 MUTE=260 UP=261
fields='s["MajorVersion"], s["VolumeCount"], s["fVolumeMute"]'

# The mixer: read at start from the level Wine starts with (full), then each step from the
# level the step before set.
start_daemon --os-version 5 || fail "no status with --os-version 5"
[ "$(status_field "$fields")" = "5 100 0" ] && pass "mixer path: starts at 100, sound on" ||
  fail "mixer path at start: $(status_field "$fields")"
key $DOWN && wait_for 's["VolumeCount"]' 99 && key $DOWN && wait_for 's["VolumeCount"]' 98 &&
  pass "two steps down: 98" || fail "steps down on the mixer"
key $UP && wait_for 's["VolumeCount"]' 99 && pass "post 786 261 0 raises VolumeCount to 99" ||
  fail "a step up on the mixer"
key $MUTE && wait_for "$fields" "5 99 1" && pass "mute: the mixer's level still reads 99" ||
  fail "mute on the mixer"
# The mixer path does not unmute: the step takes the mute state from the mixer, where it stays.
key $UP && wait_for "$fields" "5 100 1" && pass "a step up keeps the mixer's mute" ||
  fail "a step up while muted on the mixer"
stop_daemon

# Core Audio: Wine reads the level as 1.0 and refuses to set it; the mute stays in the process.
start_daemon || fail "no status on the default version"
[ "$(status_field "$fields")" = "6 100 0" ] && pass "endpoint path: starts at 100, sound on" ||
  fail "endpoint path at start: $(status_field "$fields")"
# A refused step is not done: no count, and no OSD of its own. The volume OSD posted after it
# shows the count as the step left it.
key $DOWN && veskosd post 1281 512 32 &&
  wait_for 's["bOSDShowVolume"], s["VolumeCount"], s["szVolumeCount"]' "1 100 100" &&
  pass "a refused step down leaves 100" || fail "a refused step down on Core Audio"
key $MUTE && wait_for "$fields" "6 100 1" && pass "mute on the endpoint" ||
  fail "mute on Core Audio"
key $UP && wait_for 's["fVolumeMute"]' 0 && key $MUTE && wait_for "$fields" "6 100 1" &&
  pass "a step up unmutes the endpoint, which mute then finds unmuted" ||
  fail "unmute by a step up on Core Audio"

finish
