#!/bin/bash
# Runs the program on a private X server and accessibility bus, against the
# local stand-in for the quote service, and reads its AT-SPI tree. Exits 77
# (skipped) where the tools are not installed.
set -u
program="$1"
source_dir="$2"
for tool in xvfb-run dbus-run-session /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null 2>&1 || { echo "no $tool: skipped"; exit 77; }
done
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "no python3-pyatspi: skipped"; exit 77; }
if [ -z "${ATSPI_CHECK_INSIDE:-}" ]; then
  export ATSPI_CHECK_INSIDE=1
  exec timeout 120 xvfb-run -a dbus-run-session -- "$0" "$@"
fi
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/config/Kestrune" "$work/bin"
printf '[Larkspire]\nStock%%20Quotes=GOOG\n' > "$work/config/Kestrune/Kestrune.conf"
printf '#!/bin/sh\necho "64 bytes from 127.0.0.1: icmp_seq=1"\n' > "$work/bin/ping"
chmod +x "$work/bin/ping"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 "$source_dir/scripts/screenshot-server.py" "$port" 0.5 2>/dev/null &
/usr/libexec/at-spi-bus-launcher --launch-immediately &
sleep 1
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" PATH="$work/bin:$PATH"
export http_proxy="http://127.0.0.1:$port" no_proxy="" ASAN_OPTIONS=detect_leaks=0
"$program" &
/usr/bin/python3 "$source_dir/tests/accessibility/atspi_check.py"
