#!/usr/bin/env bash
# with-window-manager.sh COMMAND...: runs COMMAND on the current X display
# with openbox managing its windows (frames, maximising, placement), as on a
# desktop. Run it inside xvfb-run.
set -u
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
# The manager is up once it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
"$@"
rc=$?
kill "$wm" 2>/dev/null
wait "$wm" 2>/dev/null
exit $rc
