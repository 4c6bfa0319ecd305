#!/usr/bin/env bash
# End-to-end checks of the button configuration read through XmlLite: a file in the data folder
# whose values show in status, and one with a DOCTYPE refused as not well-formed.
set -euo pipefail
. "$(dirname "$0")/lib.sh"

data=$WINEPREFIX/drive_c/veskosd-data
mkdir -p "$data"
# CRLF line ends and a Windows command line, as an administrator's editor would leave them.
printf '%s\r\n' '<?xml version="1.0" encoding="UTF-8"?>' '<QZSystemConfiguration>' \
  '  <Buttons>' \
  '    <Button Id="VolumeUpButton" Enabled="true" Action="LaunchExecutable" ActionValue="C:\Tools\a b.exe /x" AutoRepeatEnabled="true" AutoRepeatInterval="250"/>' \
  '    <Button Id="VolumeMuteButton" Enabled="false"/>' \
  '  </Buttons>' '</QZSystemConfiguration>' >"$data/QZConfiguration.xml"

start_daemon || fail "no status from the instance"
up=$(status_field '"|".join(str(s["VolumeUpButton"][k]) for k in ("Enabled", "Action", "ActionValue", "AutoRepeatEnabled", "AutoRepeatInterval"))')
[ "$up" = '1|1|C:\Tools\a b.exe /x|1|250' ] && pass "the up button as configured: $up" ||
  fail "VolumeUpButton: '$up'"
[ "$(status_field 's["VolumeMuteButton"]["Enabled"], s["VolumeDownButton"]["Action"]')" = "0 4" ] &&
  pass "mute switched off, down left at its default" || fail "mute or down not as configured"
[ "$(status_field 'len(s["eventLog"]), s["dwElementCount"]')" = "0 4" ] &&
  pass "nothing reported, four elements counted" ||
  fail "event log or count: $(status_field 's["eventLog"], s["dwElementCount"]')"
stop_daemon

# The same file behind a DOCTYPE: refused whole, the defaults stay.
{ printf '<?xml version="1.0"?>\r\n<!DOCTYPE QZSystemConfiguration>\r\n'; tail -n +2 "$data/QZConfiguration.xml"; } \
  >"$data/doctype.xml"
mv "$data/doctype.xml" "$data/QZConfiguration.xml"
start_daemon || fail "no status from the instance with a DOCTYPE"
[ "$(status_field '",".join(e["id"] for e in s["eventLog"])')" = 0xC0020102 ] &&
  pass "a DOCTYPE is reported as not well-formed" ||
  fail "event log with a DOCTYPE: $(status_field 's["eventLog"]')"
[ "$(status_field 's["VolumeUpButton"]["Action"], s["VolumeMuteButton"]["Enabled"]')" = "3 1" ] &&
  pass "the defaults stay" || fail "not the defaults after a DOCTYPE"

rm -f "$data/QZConfiguration.xml"
finish
