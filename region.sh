#!/bin/bash
openbox >/dev/null 2>&1 & wm=$!
sleep 1
/work/wt32/build/bin/kpd-host --module /work/wt32/build/lib/libkpd00100.so --server 127.0.0.1:27132 --launch > /tmp/w32/host.log 2>&1 & h=$!
sleep 3
import -window root /tmp/w32/dialog.png
xdotool key Return
sleep 3
xdotool mousemove 72 232 click --repeat 2 --delay 80 1
sleep 3
import -window root /tmp/w32/region-1920.png
xdotool key Next
sleep 3
import -window root /tmp/w32/region-1920-pagedown.png
xdotool key Escape
sleep 1
import -window root /tmp/w32/region-1920-escape.png
kill $h; kill $wm
