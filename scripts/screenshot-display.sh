# Sourced by the screenshot scripts: start_display DISPLAY SIZE starts Xvfb with openbox on it, and
# shot TITLE FILE cuts the window of that title, with its title bar, from the whole screen as a PNG.
# Needs: apt-get install xvfb openbox xdotool x11-apps imagemagick

start_display() {
  Xvfb "$1" -screen 0 "$2" >/dev/null 2>&1 &
  sleep 1
  export DISPLAY=$1
  openbox >/dev/null 2>&1 &
  sleep 1
}

shot() {
  local id X Y WIDTH HEIGHT SCREEN WINDOW
  id=$(xdotool search --name "$1" | tail -1)
  eval "$(xdotool getwindowgeometry --shell "$id")"
  # Under openbox xdotool reports the client 20 pixels lower than it is; the title bar is 20 high.
  xwd -silent -root | convert xwd:- -crop "$((WIDTH + 4))x$((HEIGHT + 25))+$((X - 2))+$((Y - 40))" +repage "png:$2"
}
