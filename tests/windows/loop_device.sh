#!/bin/sh
# Attaches the loop-device test image, or detaches it again.
#
#   loop_device.sh attach STATE_DIR WINE_RUN WRITER.exe
#   loop_device.sh detach STATE_DIR
#
# STATE_DIR/loop_device then holds the device ("/dev/loopN"), or a line saying why there
# is none (not root, no losetup, no loop support here); the test then fails with that line.
set -u
action=$1
state=$2
record="$state/loop_device"

case $action in
  attach)
    wine_run=$3
    writer=$4
    mkdir -p "$state"
    image="$state/loop.hds"
    if [ "$(id -u)" != 0 ]; then
      echo "unavailable: not running as root" >"$record"
      exit 0
    fi
    if ! command -v losetup >/dev/null 2>&1; then
      echo "unavailable: losetup is missing" >"$record"
      exit 0
    fi
    # The builder runs as a Windows program too; Z: is the Linux root.
    windows_image="Z:$(printf '%s' "$image" | tr / '\\')"
    if ! "$wine_run" "$writer" "$windows_image"; then
      echo "cannot write the image" >&2
      exit 1
    fi
    if device=$(losetup --find --show --read-only "$image" 2>&1); then
      echo "$device" >"$record"
    else
      echo "unavailable: losetup failed: $device" >"$record"
    fi
    ;;
  detach)
    if [ -f "$record" ]; then
      device=$(cat "$record")
      case $device in
        /dev/loop*) losetup -d "$device" ;;
      esac
      rm -f "$record"
    fi
    ;;
esac
