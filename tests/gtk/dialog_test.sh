#!/usr/bin/env bash
# The settings dialog as a user meets it, under an Xvfb of its own and driven
# from the keyboard: what OK, Cancel, the reset button, the object list and the
# colour chooser leave in the settings file, where the About box opens, and
# what happens with no display at all.
#
#   dialog_test.sh TELKARIM [SCREENSHOT.png]
#
# With a second argument the freshly opened dialog is also saved there (how
# docs/settings-dialog.png is made). Exit 77 (skipped) when Xvfb, xdotool,
# xwininfo, xprop or import is missing.
set -u
bin=$1
shot=${2:-}
for tool in Xvfb xdotool xwininfo xprop import; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

tmp=$(mktemp -d)
xvfb=
dialog=
cleanup() {
  [ -n "$dialog" ] && kill "$dialog" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
pass=0
fail=0
ok() { pass=$((pass + 1)); }
bad() { fail=$((fail + 1)); echo "FAIL $*"; }

# GTK, fontconfig and the X libraries keep caches for the life of the
# process that the leak checker reports at exit; the dialog's own code is
# covered for leaks by the model's tests, which run without GTK.
export ASAN_OPTIONS=detect_leaks=0
# Under the thread sanitizer, the races inside fontconfig and GLib that it
# cannot see the locks of (tsan.supp says which).
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")" && pwd)/tsan.supp"
# No settings daemon, desktop bus or accessibility bus here, and none started
# for the test: GIO would otherwise launch a session bus on the test's X
# display for the colour chooser's settings.
export NO_AT_BRIDGE=1 DBUS_SESSION_BUS_ADDRESS=disabled: GSETTINGS_BACKEND=memory
export XDG_CONFIG_HOME=$tmp/config

settings() { "$bin" --show-settings --settings-file "$1" 2>/dev/null; }
value() { settings "$1" | sed -n "s/^$2=//p"; }
# A settings file far from the defaults, written by the program itself.
write_unusual() {
  "$bin" --show-settings --settings-file "$1" >/dev/null 2>&1
  cat >"$1" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Telkarim\Telkarim's Screen Saver]
"StarColor"=dword:00123456
"StarVelocity"=dword:00000002
"StarNumber"=dword:00000141
"ObjectColor"=dword:00654321
"ObjectVelocity"=dword:00000009
"FPS"=dword:0000001e
"ThreadPriority"=dword:ffffffff
"Object3"=dword:00000001
EOF
}

# --- No display: one line, status 1, no file made. ---
for args in "--settings" "" "/c"; do
  # shellcheck disable=SC2086
  env -u DISPLAY -u WAYLAND_DISPLAY "$bin" $args --settings-file "$tmp/none.reg" >"$tmp/out" 2>"$tmp/err"
  status=$?
  [ "$status" -eq 1 ] || bad "no display '$args': status $status, wanted 1"
  [ "$(wc -l <"$tmp/err")" -eq 1 ] && grep -q '^telkarim: ' "$tmp/err" || { bad "no display '$args' printed:"; cat "$tmp/err"; }
  [ -e "$tmp/none.reg" ] && bad "no display '$args' made a settings file"
  ok
done

# --- The command loads no GTK: the dialog is a program of its own that it
# starts in its place. Without that program, one line and status 1. ---
ldd "$bin" 2>/dev/null | grep -q 'libgtk' && bad "$bin links GTK, so a saver would load it" || ok
mkdir "$tmp/alone" && cp "$bin" "$tmp/alone/telkarim"
"$tmp/alone/telkarim" --settings --settings-file "$tmp/none.reg" >"$tmp/out" 2>"$tmp/err"
status=$?
[ "$status" -eq 1 ] && [ "$(wc -l <"$tmp/err")" -eq 1 ] && grep -q '^telkarim: the settings dialog is not installed' "$tmp/err" &&
  ok || { bad "without the dialog program: status $status, said:"; cat "$tmp/err"; }

# --- A private X server on a display number it picks itself. ---
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
[ -s "$tmp/display" ] || { echo "FAIL Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n1 "$tmp/display")

# wait_window TITLE-PATTERN [TRIES]: prints the first visible window with that
# title, waiting 50 ms between tries (100 by default); fails if none came.
wait_window() {
  local id
  for _ in $(seq "${2:-100}"); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

# wait_gone TITLE-PATTERN: waits up to ten seconds for no visible window
# with that title.
wait_gone() {
  for _ in $(seq 200); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.05
  done
  return 1
}

# open FILE [ARGS...]: starts the dialog and gives it the keyboard.
open_dialog() {
  local file=$1
  shift
  "$bin" --settings --settings-file "$file" "$@" >"$tmp/out" 2>"$tmp/err" &
  dialog=$!
  window=$(wait_window '^Настройка заставки Telkarim$' 200)
  if [ -z "$window" ]; then bad "the dialog did not open"; cat "$tmp/err"; return 1; fi
  xdotool windowfocus --sync "$window"
}
keys() { xdotool key --delay 30 "$@"; }
# finish NAME: the dialog must end with status 1 within five seconds.
finish() {
  local status=
  for _ in $(seq 100); do
    if ! kill -0 "$dialog" 2>/dev/null; then wait "$dialog"; status=$?; break; fi
    sleep 0.05
  done
  if [ -z "$status" ]; then bad "$1: the dialog is still open"; kill "$dialog"; wait "$dialog"
  elif [ "$status" -ne 1 ]; then bad "$1: status $status, wanted 1"; cat "$tmp/err"
  else ok; fi
  dialog=
  if grep -v '^$' "$tmp/err" | grep -q .; then bad "$1 printed:"; cat "$tmp/err"; fi
}
geometry() {  # WINDOW -> "x y width height"
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /Width:/{w=$NF} /Height:/{h=$NF} END{print x, y, w, h}'
}

# --- Opens on the defaults; OK writes them. Enter is OK while nothing has
# the focus. ---
open_dialog "$tmp/fresh.reg" || exit 1
# Mapped is not yet drawn: wait for the picture to fill in.
for _ in $(seq 40); do
  import -window root "$tmp/root.png"
  colours=$(convert "$tmp/root.png" -format '%k' info: 2>/dev/null || echo 0)
  [ "${colours:-0}" -gt 20 ] && break
  sleep 0.05
done
[ "${colours:-0}" -gt 20 ] && ok || bad "the screen shows $colours colours; the dialog did not draw"
if [ -n "$shot" ]; then
  # The window's own picture, once it is drawn (the root above can be ahead).
  for _ in $(seq 100); do
    import -window "$window" "$shot"
    [ "$(convert "$shot" -format '%k' info: 2>/dev/null || echo 0)" -gt 20 ] && break
    sleep 0.05
  done
fi
keys Return
finish "OK on the defaults"
[ "$(value "$tmp/fresh.reg" StarNumber)" = 200 ] && [ "$(value "$tmp/fresh.reg" FPS)" = 50 ] &&
  [ "$(value "$tmp/fresh.reg" StarColor)" = 0x00ff9070 ] && grep -q '"Object11"=dword:00000000' "$tmp/fresh.reg" &&
  ok || { bad "OK on the defaults stored:"; cat "$tmp/fresh.reg"; }

# --- Escape is Cancel: a moved slider, or a reset, leaves the file as it was. ---
write_unusual "$tmp/keep.reg"
cp "$tmp/keep.reg" "$tmp/keep.before"
open_dialog "$tmp/keep.reg" || exit 1
keys Tab Tab Right Escape
finish "Cancel after a slider"
cmp -s "$tmp/keep.reg" "$tmp/keep.before" && ok || bad "Cancel after a slider changed the settings file"
open_dialog "$tmp/keep.reg" || exit 1
keys shift+Tab shift+Tab space Escape
finish "Cancel after a reset"
cmp -s "$tmp/keep.reg" "$tmp/keep.before" && ok || bad "Cancel after a reset changed the settings file"

# --- A slider moved from the keyboard is stored on OK, and only that one. ---
write_unusual "$tmp/slider.reg"
open_dialog "$tmp/slider.reg" || exit 1
keys Tab Tab Right Right Right Return  # star speed 2 -> 5; Enter on a slider is OK
finish "OK after a slider"
[ "$(value "$tmp/slider.reg" StarVelocity)" = 5 ] && [ "$(value "$tmp/slider.reg" StarNumber)" = 321 ] &&
  [ "$(value "$tmp/slider.reg" ThreadPriority)" = -1 ] && [ "$(value "$tmp/slider.reg" StarColor)" = 0x00123456 ] &&
  [ "$(value "$tmp/slider.reg" Object3)" = 1 ] &&
  ok || { bad "after moving the star speed:"; settings "$tmp/slider.reg"; }

# --- "Сброс настроек" then OK stores the defaults and enables every object. ---
write_unusual "$tmp/reset.reg"
open_dialog "$tmp/reset.reg" || exit 1
keys shift+Tab shift+Tab space  # the reset button: second from the end
keys shift+Tab shift+Tab space  # Отмена, then OK
finish "reset then OK"
settings "$tmp/reset.reg" >"$tmp/reset.txt"
settings "$tmp/fresh.reg" >"$tmp/defaults.txt"
cmp -s "$tmp/reset.txt" "$tmp/defaults.txt" && ok || { bad "reset then OK stored:"; cat "$tmp/reset.txt"; }

# --- The object list: Space switches one entry, whatever its sorted place;
# the entry switched off in the file stays so, and OK stores the kinds. ---
write_unusual "$tmp/objects.reg"
open_dialog "$tmp/objects.reg" || exit 1
keys Tab Tab Tab Tab Tab Tab      # into the list; the cursor starts on the switched-off "Спираль"
keys Home space Down Down Down Down Down Down Down space  # "Атом", first in sorted order, and "Рельеф   ", seventh below it
keys Tab Tab Tab Return           # past "Сброс выбора" and the priority to the frame-rate slider
finish "OK after the object list"
got=$(settings "$tmp/objects.reg" | sed -n 's/^Object\([0-9]*\)=1$/\1/p' | tr '\n' ' ')
[ "$got" = "3 9 10 " ] && ok || bad "switched-off objects stored as '$got', wanted '3 9 10 '"

# --- "Сброс выбора" clears the list but Cancel keeps the file's flags. ---
write_unusual "$tmp/clear.reg"
open_dialog "$tmp/clear.reg" || exit 1
keys Tab Tab Tab Tab Tab Tab Tab space Tab Tab Return  # clear, then OK from the frame-rate slider
finish "OK after clearing the selection"
got=$(settings "$tmp/clear.reg" | sed -n 's/^Object\([0-9]*\)=1$/\1/p' | tr '\n' ' ')
[ -z "$got" ] && ok || bad "after clearing the selection, OK stored '$got' switched off"

# --- The About box: centred over the dialog by its client size, OK closes
# it and leaves the dialog open. ---
open_dialog "$tmp/about.reg" || exit 1
read -r dx dy dw dh < <(geometry "$window")
keys shift+Tab space
about=$(wait_window '^О заставке Telkarim$')
if [ -z "$about" ]; then bad "the About box did not open"; else
  read -r ax ay aw ah < <(geometry "$about")
  wantx=$((dx + (dw - aw) / 2)) wanty=$((dy + (dh - ah) / 2))
  [ "$ax,$ay" = "$wantx,$wanty" ] && ok || bad "About box at $ax,$ay (${aw}x$ah), wanted $wantx,$wanty over ${dw}x$dh at $dx,$dy"
  [ "$aw" -gt 150 ] && [ "$ah" -gt 80 ] && ok || bad "About box is only ${aw}x$ah"
  [ -n "$shot" ] && import -window root "${shot%.png}-about.png"
  xdotool windowfocus --sync "$about"
  keys Return
  wait_gone '^О заставке Telkarim$' || bad "OK did not close the About box"
  kill -0 "$dialog" 2>/dev/null && ok || bad "closing the About box closed the dialog"
fi
xdotool windowfocus --sync "$window"
keys Escape
finish "Cancel after the About box"

# --- /c:ID: the dialog stays above the window that asked for it, and ends
# with 1 like --settings. ---
open_dialog "$tmp/owner.reg" || exit 1
owner=$window first=$dialog
"$bin" "/c:$owner" --settings-file "$tmp/owned.reg" >"$tmp/out" 2>"$tmp/err" &
dialog=$!
owned=
for _ in $(seq 200); do
  owned=$(xdotool search --onlyvisible --name '^Настройка заставки Telkarim$' 2>/dev/null | grep -vx "$owner" | head -n1)
  [ -n "$owned" ] && break
  sleep 0.05
done
if [ -z "$owned" ]; then bad "/c:$owner did not open a dialog"; cat "$tmp/err"; else
  above=$(xprop -id "$owned" WM_TRANSIENT_FOR 2>/dev/null | sed -n 's/.*window id # //p')
  [ "$((above))" = "$owner" ] && ok || bad "/c:$owner: the dialog is kept above '$above'"
  xdotool windowfocus --sync "$owned"
  keys Escape
  finish "Cancel of the dialog for /c:ID"
fi
[ -n "$dialog" ] && { kill "$dialog"; wait "$dialog"; }
dialog=$first
xdotool windowfocus --sync "$owner"
keys Escape
finish "Cancel of the owner's dialog"

# find_chooser: waits for the colour chooser and gives it the keyboard.
find_chooser() {
  chooser=$(wait_window '^Цвет$') && xdotool windowfocus --sync "$chooser"
}

# --- The colour chooser: cancelling it keeps the colour. ---
write_unusual "$tmp/colour.reg"
open_dialog "$tmp/colour.reg" || exit 1
keys Tab space
if ! find_chooser; then bad "the colour chooser did not open"; else
  keys Escape
  wait_gone '^Цвет$' || bad "Escape did not close the colour chooser"
  xdotool windowfocus --sync "$window"
  keys Tab Tab Return  # from the colour button to the star-number slider, then OK
  finish "OK after cancelling the colour chooser"
  [ "$(value "$tmp/colour.reg" StarColor)" = 0x00123456 ] && ok || bad "cancelling the chooser changed the star colour"
fi
[ -n "$dialog" ] && { kill "$dialog"; wait "$dialog"; dialog=; }

# --- A colour picked in the chooser goes to its own swatch and is stored on
# OK in the settings' byte order. From the keyboard, Tab enters the palette
# and Right moves to its third colour, whatever was chosen before; Space
# picks it and Return is the chooser's Select. ---
pick_third_colour() {
  find_chooser || return 1
  keys Tab Right space Return
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Цвет$' >/dev/null 2>&1 || return 0
    sleep 0.05
  done
  return 1
}
rm -f "$tmp/pick.reg"
open_dialog "$tmp/pick.reg" || exit 1
keys Tab Tab Tab Tab space  # the objects' colour button
if ! pick_third_colour; then bad "the objects' colour chooser did not open and close"; else
  xdotool windowfocus --sync "$window"
  keys Tab Return  # on to the objects' speed slider, then OK
  finish "OK after picking the objects' colour"
  # The third palette colour, 0x00BBGGRR: a red and blue swap would store 0x0099c1f1.
  [ "$(value "$tmp/pick.reg" ObjectColor)" = 0x00f1c199 ] &&
    [ "$(value "$tmp/pick.reg" StarColor)" = 0x00ff9070 ] && ok ||
    bad "picked the objects' colour, stored: $(settings "$tmp/pick.reg" | grep Color | tr '\n' ' ')"
fi
[ -n "$dialog" ] && { kill "$dialog"; wait "$dialog"; dialog=; }

# --- A settings file that cannot be written: the dialog says so and still
# closes with 1. ---
: >"$tmp/not-a-dir"
open_dialog "$tmp/not-a-dir/settings.reg" || exit 1
keys Return
for _ in $(seq 100); do kill -0 "$dialog" 2>/dev/null || break; sleep 0.05; done
wait "$dialog"
status=$?
dialog=
[ "$status" -eq 1 ] && grep -q 'could not save' "$tmp/err" && ok || { bad "failed save: status $status, said:"; cat "$tmp/err"; }

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
