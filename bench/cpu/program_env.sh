# Shell functions that run a copy of the program on kelvarian-sim in a folder
# of its own, headless, and read a process's processor time and memory from
# /proc. Sourced by bench/cpu, bench/page and bench/soak.

# kv_init BUILD_DIR: the simulator and program of that build.
kv_init() {
    KV_BUILD=$(cd "$1" && pwd)
    KV_SIM=$KV_BUILD/tools/sim/kelvarian-sim
    KV_PROGRAM=$KV_BUILD/kelvarian
    KV_CLK_TCK=$(getconf CLK_TCK)
    local tool
    for tool in "$KV_SIM" "$KV_PROGRAM"; do
        if [ ! -x "$tool" ]; then
            echo "bench: $tool is missing; build $1 first" >&2
            return 1
        fi
    done
}

# kv_settings DIR LOG CPU_MIN_USAGE SERVER_ENABLE SERVER_PORT: the settings
# file as the program writes it (BOM, CR LF), selecting COM1, interval 1 s.
kv_settings() {
    printf '\xEF\xBB\xBF\r\nPort = COM1\r\nInterval = 1\r\nThermoControl = 0\r\nThermoMin = 0\r\nThermoMax = 30\r\nLog = %s\r\nCPU_MinUsage = %s\r\nInvert = 0\r\n[Sensors]\r\nCount = 0\r\n[Server]\r\nEnable = %s\r\nPort = %s\r\nIPv6 = 0\r\n' \
        "$2" "$3" "$4" "$5" >"$1/Kelvarian.ini"
}

# kv_start_sim DIR CONFIG_FILE: kelvarian-sim on DIR/COM1 reading CONFIG_FILE
# (SIGHUP reads it again); sets KV_SIM_PID once it is ready.
kv_start_sim() {
    local dir=$1 config=$2
    : >"$dir/sim.out"
    "$KV_SIM" --link "$dir/COM1" --config "$config" >>"$dir/sim.out" 2>&1 &
    KV_SIM_PID=$!
    local _
    for _ in $(seq 200); do
        grep -q '^ready' "$dir/sim.out" 2>/dev/null && return 0
        kill -0 "$KV_SIM_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "bench: kelvarian-sim did not start: $(cat "$dir/sim.out")" >&2
    return 1
}

# kv_start_program DIR: a copy of the program in DIR, without a display;
# sets KV_PROGRAM_PID.
kv_start_program() {
    local dir=$1
    cp -f "$KV_PROGRAM" "$dir/kelvarian"
    QT_QPA_PLATFORM=offscreen "$dir/kelvarian" >"$dir/program.out" 2>&1 &
    KV_PROGRAM_PID=$!
}

# kv_stop PID: SIGTERM, then waits (SIGKILL after 10 s); the exit code goes
# to KV_STATUS. Not in a subshell: only this shell can reap its children.
kv_stop() {
    local pid=$1 _
    KV_STATUS=
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 100); do
        # A child that has ended stays a zombie until waited for; ps tells.
        [ "$(ps -o stat= -p "$pid" 2>/dev/null | cut -c1)" = Z ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    KV_STATUS=0
    wait "$pid" 2>/dev/null || KV_STATUS=$?
}

# kv_cpu_ticks PID: user + system time of every thread so far, in clock ticks
# (the fields after the command name, which may hold blanks, in /proc/PID/stat).
kv_cpu_ticks() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || { echo 0; return; }
    stat=${stat##*) }
    awk '{ print $12 + $13 }' <<<"$stat"
}

# kv_cpu_ns PID: the scheduler's run time of the process's live threads in ns
# (/proc/PID/task/*/schedstat), finer than the 10 ms ticks above.
kv_cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ sum += $1 } END { printf "%.0f\n", sum }'
}

# kv_wakeups PID: context switches of the process's live threads so far
# (voluntary and forced): how often it woke up.
kv_wakeups() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(non)?voluntary_ctxt_switches:/ { sum += $2 } END { printf "%.0f\n", sum }'
}

# kv_rss_kb PID: resident memory in KiB.
kv_rss_kb() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null
}

# kv_free_port: a TCP port nothing listens on (the page binds all addresses).
kv_free_port() {
    local port _
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 20000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return 0
        fi
    done
    return 1
}

# kv_wait_page_readings PORT COUNT SECONDS: true once the status page answers
# with "200 OK" and shows COUNT temperatures (0: once it answers at all).
kv_wait_page_readings() {
    local port=$1 count=$2 limit=$3 start=$SECONDS page
    while ((SECONDS - start < limit)); do
        if page=$(curl -sf --max-time 2 "http://127.0.0.1:$port/"); then
            [ "$(grep -o '°C' <<<"$page" | wc -l)" -ge "$count" ] && return 0
        fi
        sleep 0.2
    done
    return 1
}

# kv_wait_log_roms LOG COUNT SECONDS: true once the log holds readings of
# COUNT different thermometers.
kv_wait_log_roms() {
    local log=$1 count=$2 limit=$3 start=$SECONDS
    while ((SECONDS - start < limit)); do
        if [ -f "$log" ]; then
            local roms
            roms=$(grep -aoE '\]  [0-9A-F]{2}-[0-9A-F]{12}-[0-9A-F]{2}' "$log" | sort -u | wc -l)
            [ "$roms" -ge "$count" ] && return 0
        fi
        sleep 0.5
    done
    return 1
}

# kv_calc EXPR [DECIMALS]
kv_calc() { awk "BEGIN { printf \"%.${2:-1}f\", $1 }"; }

# kv_now_ns: a clock for elapsed times.
kv_now_ns() { date +%s%N; }

# kv_ten_thermometers: ten DS18B20 lines for a config file, 15.0 to 33.0 degC.
kv_ten_thermometers() {
    local i
    for ((i = 1; i <= 10; i++)); do
        printf 'device 28:%012X temp=%d\n' $((0x5EED00 + i * 0x1111)) $((13 + 2 * i))
    done
}
