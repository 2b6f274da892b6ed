#!/bin/sh
# Loads the sample status page and its icon in headless Chromium.
# Exit 77 (skipped) when Chromium is not installed.
set -u
server_program=$1
chromium=/usr/bin/chromium
[ -x "$chromium" ] || { echo "no $chromium: skipped"; exit 77; }

work=$(mktemp -d)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"$server_program" 0 170 >"$work/address" 2>&1 &
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

if [ "$failed" -ne 0 ]; then
    echo "--- page as the browser saw it"; cat "$work/page.html"
    echo "--- icon check"; cat "$work/icon-dom.html"
    echo "--- browser log"; tail -n 20 "$work/chromium.log"
fi
exit "$failed"
