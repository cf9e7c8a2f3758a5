#!/usr/bin/env bash
# Runs one test under a fresh Xvfb display with the openbox window manager, the way a desktop activates
# and focuses windows. Offscreen rendering hides the faults these tests look for.
set -u
test_bin=$1; shift
inner=$(mktemp)
cat >"$inner" <<'INNER'
#!/usr/bin/env bash
openbox >/dev/null 2>&1 &
wm=$!
# Wait until the window manager owns the screen.
for _ in $(seq 1 50); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
"$@"
rc=$?
kill $wm 2>/dev/null
wait $wm 2>/dev/null
exit $rc
INNER
chmod +x "$inner"
# KPD_XVFB_SCREEN (WIDTHxHEIGHTxDEPTH) gives the screen a test of the window's fit needs.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 ${KPD_XVFB_SCREEN:-1600x1000x24}" "$inner" "$test_bin" "$@"
rc=$?
rm -f "$inner"
exit $rc
