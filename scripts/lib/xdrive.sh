# Drives the client's windows on an X display as a person would, with xdotool: sourced by
# scripts/demo and scripts/bench. There is no window manager on the private Xvfb, so what one
# would do (focus, the close button) is done here by hand. Messages name the sourcing script.
# shellcheck shell=bash

xdrive_who=$(basename "$0")

xvfb_start() { # display log: a private Xvfb; sets xvfb_pid and DISPLAY
  Xvfb "$1" -screen 0 1024x768x24 -nolisten tcp >"$2" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$1
  local _
  for _ in $(seq 1 50); do
    # A server that died at once (the display was taken after all) must not be mistaken for
    # the other one answering there.
    kill -0 "$xvfb_pid" 2>/dev/null || break
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "$xdrive_who: Xvfb did not start on $1; see $2" >&2
  return 1
}
free_display() { # first: the first display number from it on that no X server holds
  local n=$1
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  echo ":$n"
}
wait_window() { # title (an extended regular expression); prints the window's id
  local _
  for _ in $(seq 1 200); do
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 | grep . && return 0
    sleep 0.1
  done
  echo "$xdrive_who: no window named $1 appeared" >&2
  return 1
}
wait_gone() { # window id
  local _
  for _ in $(seq 1 100); do
    xwininfo -id "$1" 2>/dev/null | grep -q IsViewable || return 0
    sleep 0.1
  done
  echo "$xdrive_who: window $1 did not close" >&2
  return 1
}
# Keys go to the window that has the focus; there is no window manager to give it.
focus() { xdotool windowfocus --sync "$1" 2>/dev/null || true; }
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
type_into() { # window x y text: click an edit, empty it and type
  click "$1" "$2" "$3"
  focus "$1"
  xdotool key ctrl+a BackSpace
  xdotool type --delay 60 "$4"
}
answer_box() { # title key: a message box owned by the client; Return takes its default button
  local box
  box=$(wait_window "$1") || return 1
  sleep 0.5
  focus "$box"
  xdotool key "$2"
  wait_gone "$box"
}
close_window() { # id: what the close button of a window manager would send
  python3 - "$1" <<'CLOSE'
import ctypes, sys
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]
class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                           ctypes.POINTER(Event)]
x11.XFlush.argtypes = x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
window = int(sys.argv[1], 0)
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x11.XFlush(display)
x11.XCloseDisplay(display)
CLOSE
  wait_gone "$1"
}
log_in() { # login-dialog name password
  type_into "$1" 184 119 "$2"
  type_into "$1" 184 151 "$3"
  # The dialog has no default button: click 登录.
  click "$1" 204 184
}
