#!/usr/bin/env bash
# Runs a Win32 test program under Wine with a private PulseAudio server as Wine's sound server.
set -euo pipefail
. "$(dirname "$0")/pulse.sh"
trap stop_pulse EXIT
start_pulse
wine "$@"
