# A private PulseAudio server with null sinks, the sound server Wine's audio devices stand on.
# Sourced; start_pulse exports PULSE_SERVER and fails loudly when the server does not answer.
pulse_pid= pulse_dir=
start_pulse() {
  pulse_dir=$(mktemp -d /tmp/veskosd-wine-pulse.XXXXXX)
  cat >"$pulse_dir/test.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$pulse_dir/native
load-module module-null-sink sink_name=spk sink_properties='device.description="Speakers"'
load-module module-null-sink sink_name=spdif sink_properties='device.description="Digital"'
set-default-sink spk
PA
  # Off every session bus, or two servers would contend for its name.
  env -u DISPLAY XDG_RUNTIME_DIR="$pulse_dir" HOME="$pulse_dir" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$pulse_dir/no-bus" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no -F "$pulse_dir/test.pa" --log-target="file:$pulse_dir/pa.log" \
    </dev/null >"$pulse_dir/pa.out" 2>&1 &
  pulse_pid=$!
  export PULSE_SERVER=unix:$pulse_dir/native
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "pulseaudio did not start:" >&2
  cat "$pulse_dir/pa.log" "$pulse_dir/pa.out" >&2 2>/dev/null || true
  stop_pulse
  return 1
}
stop_pulse() {
  if [ -n "$pulse_pid" ]; then
    kill "$pulse_pid" 2>/dev/null || true
    wait "$pulse_pid" 2>/dev/null || true
  fi
  [ -n "$pulse_dir" ] && rm -rf "$pulse_dir"
  pulse_pid= pulse_dir=
  unset PULSE_SERVER
}
