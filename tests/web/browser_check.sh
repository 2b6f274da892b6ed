#!/bin/sh
# Loads the sample status page, its icon and the history chart in headless
# Chromium. With KELVARIAN_SCREENSHOT set, the chart's screenshot is copied
# there (docs/history-page.png comes from: serve_sample_page ... plain).
set -u
server_program=$1
chromium=/usr/bin/chromium
[ -x "$chromium" ] || { echo "no $chromium: run scripts/install-deps (package chromium)"; exit 1; }

work=$(mktemp -d)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"$server_program" 0 170 ${KELVARIAN_SCREENSHOT:+plain} >"$work/address" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    [ -s "$work/address" ] && break
    sleep 0.1
done
url=$(head -n 1 "$work/address")
case $url in
    http://*) ;;
    *) echo "the sample server did not start: $url"; exit 1 ;;
esac

browse() {  # url, then extra switches
    url_to_load=$1
    shift
    timeout 60 "$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$work/profile" "$@" --dump-dom "$url_to_load" 2>>"$work/chromium.log"
}

failed=0
expect() {  # file, text that must appear in it
    if ! grep -qF -- "$2" "$1"; then
        echo "missing from $(basename "$1"): $2"
        failed=1
    fi
}

browse "$url" >"$work/page.html"
expect "$work/page.html" "<title>Kelvarian</title>"
expect "$work/page.html" "Датчик"
expect "$work/page.html" "Температура"
expect "$work/page.html" "Котёл &lt;кухня&gt;"
expect "$work/page.html" "Tom &amp; \"Jerry\""
expect "$work/page.html" "Не найден"

# The browser decodes the icon: its natural size becomes the document title.
cat >"$work/icon.html" <<HTML
<html><body><img src="${url}favicon.ico"
 onload="document.title='icon ' + this.naturalWidth + 'x' + this.naturalHeight"
 onerror="document.title='icon failed'"></body></html>
HTML
# A virtual time budget lets the image load before the DOM is dumped (the
# status page itself reloads every 2 seconds, so it never runs out of time).
browse "file://$work/icon.html" --virtual-time-budget=5000 >"$work/icon-dom.html"
expect "$work/icon-dom.html" "<title>icon 32x32</title>"

# The history chart: one line per sensor (the device listed twice is one), the
# permitted range as a band, the names escaped, drawn without any script.
browse "${url}history" >"$work/history.html"
lines=$(grep -o '<path class="line"' "$work/history.html" | wc -l)
[ "$lines" -eq 6 ] || { echo "history: $lines lines drawn, not 6"; failed=1; }
expect "$work/history.html" '<rect class="band"'
expect "$work/history.html" "Допустимый диапазон: от 18 до 26 °C"
if [ -z "${KELVARIAN_SCREENSHOT:-}" ]; then
    expect "$work/history.html" "Котёл &lt;кухня&gt;"
    expect "$work/history.html" "&lt;/title&gt;&lt;/script&gt;&lt;script&gt;alert(1)"
fi
browse "${url}history" --hide-scrollbars --window-size=1100,600 \
    --screenshot="$work/history.png" >/dev/null
size=$(wc -c <"$work/history.png" 2>/dev/null || echo 0)
[ "$size" -gt 20000 ] || { echo "history screenshot: $size bytes"; failed=1; }
[ -n "${KELVARIAN_SCREENSHOT:-}" ] && cp "$work/history.png" "$KELVARIAN_SCREENSHOT"

if [ "$failed" -ne 0 ]; then
    echo "--- page as the browser saw it"; cat "$work/page.html"
    echo "--- icon check"; cat "$work/icon-dom.html"
    echo "--- history as the browser saw it"; head -c 4000 "$work/history.html"
    echo "--- browser log"; tail -n 20 "$work/chromium.log"
fi
exit "$failed"
