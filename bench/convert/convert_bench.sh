#!/usr/bin/env bash
# The carried converter against plain "ffmpeg -y -i in out", on inputs made once from the same
# 60-second clip: time and size ratios, and quality against the input (PSNR from ffmpeg's psnr
# filter for video, the bit rate for audio). Prints "name: value" lines.
#   bench/convert/convert_bench.sh [build]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
convert="$here/resources/payload/convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
now() { date +%s.%N; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# The clip: a moving picture, 640x360 at 25 frames a second, and sound that resembles music
# (a harmonic tone with vibrato up to 10 kHz, a slow swell, a noise burst every half second).
# A plain tone would let LAME's VBR pick a lower rate than any music does.
tone="0.5*(sin(2*PI*220*t*(1+0.01*sin(5*t)))+0.5*sin(2*PI*440*t)+0.33*sin(2*PI*660*t)"
tone="$tone+0.25*sin(2*PI*880*t*(1+0.005*sin(3*t)))+0.2*sin(2*PI*1320*t)+0.15*sin(2*PI*2640*t)"
tone="$tone+0.1*sin(2*PI*5280*t)+0.08*sin(2*PI*7040*t)+0.06*sin(2*PI*10560*t))"
sound="$tone*(0.6+0.4*sin(2*PI*0.5*t))/2.5+0.25*(random(0)-0.5)*exp(-20*mod(t,0.5))"
ff -f lavfi -i "testsrc2=size=640x360:rate=25" \
   -f lavfi -i "aevalsrc='$sound|$sound*0.9':s=44100:c=stereo" \
   -t 60 -c:v libx264 -crf 12 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 256k master.mp4
ff -i master.mp4 -vn -c:a aac -b:a 192k aac.m4a
ff -i master.mp4 -c:v libx264 -crf 23 -preset veryfast -c:a aac -b:a 160k h264.flv
ff -i master.mp4 -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 1500k -c:a libopus -b:a 128k vp9.webm
ff -i h264.flv -c copy h264.mp4

# Average PSNR of the first video stream of $1 against $2 ("inf" for identical pictures). The
# containers place the first picture differently (the AAC encoder's priming shifts the picture
# track of some, and AVI has no time stamps, only picture numbers), so the pictures are paired
# both by time and by number, and the better pairing counts: a wrong pairing only lowers it.
psnr_with() {
  ffmpeg -nostdin -hide_banner -i "$1" -i "$2" -lavfi "$3" -f null - 2>&1 |
    sed -n 's/.*PSNR .* average:\([^ ]*\).*/\1/p' | tail -n 1
}
psnr() {
  local by_time by_number
  by_time=$(psnr_with "$1" "$2" "[0:v][1:v]psnr")
  by_number=$(psnr_with "$1" "$2" "[0:v]settb=1/25,setpts=N[a];[1:v]settb=1/25,setpts=N[b];[a][b]psnr")
  printf '%s\n%s\n' "$by_time" "$by_number" | awk '
    $1 == "inf" { best = "inf" } best != "inf" && (best == "" || $1 + 0 > best + 0) { best = $1 }
    END { print best }'
}
kbps() { ffprobe -v error -show_entries format=bit_rate -of csv=p=0 "$1" | awk '{ printf "%.0f", $1 / 1000 }'; }

# case input output kind
run_case() {
  local name=$1 input=$2 ext=$3 kind=$4
  local t0 t1 t2
  t0=$(now)
  ff -i "$input" "plain.$ext"
  t1=$(now)
  sh "$convert" -y -i "$input" "carried.$ext" >/dev/null 2>&1
  t2=$(now)
  local plain carried
  plain=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  carried=$(awk -v a="$t1" -v b="$t2" 'BEGIN { print b - a }')
  echo "convert.$name.time_ratio_to_plain: $(ratio "$carried" "$plain")"
  echo "convert.$name.size_ratio_to_plain: $(ratio "$(stat -c %s "carried.$ext")" "$(stat -c %s "plain.$ext")")"
  if [ "$kind" = video ]; then
    echo "convert.$name.psnr_db: $(psnr "carried.$ext" "$input")"
    echo "convert.$name.plain_psnr_db: $(psnr "plain.$ext" "$input")"
  else
    echo "convert.$name.kbps: $(kbps "carried.$ext")"
    echo "convert.$name.plain_kbps: $(kbps "plain.$ext")"
  fi
  rm -f "plain.$ext" "carried.$ext"
}

run_case mp3_from_aac aac.m4a mp3 audio
run_case mp4_from_h264_flv h264.flv mp4 video
run_case mp4_from_vp9_webm vp9.webm mp4 video
run_case avi_from_mp4 h264.mp4 avi video
