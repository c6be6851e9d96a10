#!/usr/bin/env bash
# Memory while a Flash video plays in the player page: the proportional set size (PSS, so pages
# the processes share count once) of the program and every process below it (the web engine's
# helpers, the converter), summed from /proc/PID/smaps_rollup, a few seconds into playback of
# an H.264 clip and of a Sorenson one that is converted first. Prints "name: value" lines.
#   bench/app/player_memory.sh [build]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
program="$build/vandrel"
work=$(mktemp -d)
cleanup() {
  "$here/scripts/test-env" stop "$work/env" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"$here/scripts/test-env" start "$work/env" >/dev/null
display=$(cat "$work/env/display")
media="$work/env/media"

# Every process below $1, and $1.
tree() {
  local pid=$1 child
  echo "$pid"
  for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do tree "$child"; done
}
# The sum of field $2 (Pss, Rss) over the processes of tree $1, in KiB.
sum_kib() {
  local sum=0 pid kib
  for pid in $(tree "$1"); do
    kib=$(awk -v f="$2:" '$1 == f { print $2 }' /proc/"$pid"/smaps_rollup 2>/dev/null || true)
    sum=$((sum + ${kib:-0}))
  done
  echo "$sum"
}

# One run in a sandbox of its own, playing $2 for $3 seconds; prints the PSS in MiB.
measure() {
  local name=$1 clip=$2 seconds=$3 root="$work/$1" pid kib
  mkdir -p "$root"/{home,config/Vandrel,data,cache,tmp,bin}
  mkdir -m 700 "$root/runtime"
  printf '[General]\nAffID=bench\nLastUpdate=%s\n' "$(date +%Y%m%d)" > "$root/config/Vandrel/Vandrel.conf"
  # No program of the user's for Flash video, so the page plays it.
  printf '#!/bin/sh\nexit 0\n' > "$root/bin/xdg-mime"
  chmod +x "$root/bin/xdg-mime"
  cp "$media/$clip" "$root/home/$clip"
  (cd "$root/home" && HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" \
    XDG_CACHE_HOME="$root/cache" XDG_RUNTIME_DIR="$root/runtime" TMPDIR="$root/tmp" \
    PATH="$root/bin:$PATH" DISPLAY="$display" exec "$program" --player="$clip" \
    >"$root/out.txt" 2>&1) &
  pid=$!
  sleep "$seconds"
  [ -z "${SHOT:-}" ] || DISPLAY="$display" import -window root "$SHOT-$name.png"
  echo "${name}_pss_mib: $(($(sum_kib "$pid" Pss) / 1024))"
  echo "${name}_rss_mib: $(($(sum_kib "$pid" Rss) / 1024))"
  echo "${name}_processes: $(tree "$pid" | wc -l)"
  kill -TERM "$pid"
  wait "$pid" || true
}

measure player_h264_flv clip.flv 12
measure player_sorenson_flv sorenson.flv 12
# Three minutes at 2 Mbit/s: more than the page's player reads ahead.
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=640x360:rate=25 \
  -f lavfi -i sine=frequency=440:sample_rate=44100 -t 180 -vf noise=alls=20:allf=t \
  -c:v libx264 -preset ultrafast -b:v 2000k -maxrate 2000k -bufsize 2000k -c:a aac -b:a 128k \
  "$media/long.flv"
measure player_long_h264_flv long.flv 12
