#!/usr/bin/env bash
# Measures every performance figure of the program in one run and prints a table: start-up,
# idle processor time and wake-ups, memory, slider latency and drag rate, discovery, size,
# each against the floor (a bare Qt dialog with the same controls) where one applies.
#
# Needs root: the real program broadcasts to its subnet, so it only ever runs in a lab of
# network namespaces made here (and deleted on exit); latency is measured in-process on the
# loopback of the lab's tool namespace. Takes a little over three minutes.
#
#   sudo bench/perf.sh                 # everything; the table also goes to build/perf/
#   PERF_IDLE_SECONDS=10 PERF_ENTRIES=50 PERF_COUNTS=10 PERF_RUNS=3 bench/perf.sh
#                                      # a quick look with smaller figures
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/perf"
idle_seconds=${PERF_IDLE_SECONDS:-60}
runs=${PERF_RUNS:-10}
entries=${PERF_ENTRIES:-500}
counts=${PERF_COUNTS:-10,100,500}

if [ "$(id -u)" -ne 0 ]; then
    echo "bench/perf.sh needs root: it builds a lab of network namespaces so that the program's" >&2
    echo "broadcasts never reach a real network. Run it again with sudo. Nothing was done." >&2
    exit 1
fi
for tool in ip unshare cmake ldd readelf strip lscpu; do
    command -v "$tool" >/dev/null || { echo "bench/perf.sh: $tool is missing" >&2; exit 1; }
done

say() { printf '== %s (load %s)\n' "$*" "$(cut -d' ' -f1-3 /proc/loadavg)" >&2; }

say "building (Release) in $build"
# The tests stay on: the harness shares their process and socket helpers (only the targets
# below are built).
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" \
    --target praveltest praveltest-node floor_dialog praveltest_perf >/dev/null
program="$build/app/praveltest"
node="$build/tools/praveltest-node"
floor="$build/bench/floor_dialog"
harness="$build/bench/praveltest_perf"

source "$root/bench/lab.sh"
say "making lab ptperf$$"
lab_make "ptperf$$"

results="$build/perf-results.txt"
: >"$results"
phase_loads=""
measure() {  # label description mode options...
    phase_loads+="${phase_loads:+, }$1 $(cut -d' ' -f1 /proc/loadavg)"
    say "$2"
    shift 2
    lab_in_tool "$harness" "$@" |
        tee -a "$results" >&2
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
start=$(date +%s)
measure floor "floor: start-to-shown and memory, $runs runs" \
    floor --floor "$floor" --runs "$runs"
measure start-up "start-up: start to first poll on the wire, $runs runs" \
    startup --program "$program" --node-ns "$nodens" --runs "$runs"
measure idle "idle: ${idle_seconds} s, the program and the floor with a tick side by side" \
    idle --program "$program" --floor "$floor" --node-ns "$nodens" --seconds "$idle_seconds"
measure memory "memory with $entries entries (one reply per tick: about $((entries / 10)) s)" \
    memory --program "$program" --node "$node" --node-ns "$nodens" --count "$entries"
measure latency "latency and drag rate, in-process on loopback" \
    latency --samples 1000 --drag-ms 2000
measure discovery "discovery of $counts nodes, in-process" \
    discovery --node "$node" --node-ns "$nodens" --counts "$counts"

say "size"
stripped="$build/praveltest.stripped"
strip -o "$stripped" "$program"
strip -o "$build/floor_dialog.stripped" "$floor"
echo "RESULT size_bytes $(stat -c %s "$stripped")" >>"$results"
echo "RESULT floor_size_bytes $(stat -c %s "$build/floor_dialog.stripped")" >>"$results"
libs=$(ldd "$program" | awk '{print $1}' | grep -v '^linux-vdso' | xargs -n1 basename | sort)
echo "RESULT size_libraries $(echo "$libs" | wc -l)" >>"$results"
echo "RESULT size_library_list $(echo "$libs" | tr '\n' ' ')" >>"$results"
needed=$(readelf -d "$program" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
echo "RESULT size_needed $(echo "$needed" | tr '\n' ' ')" >>"$results"
echo "RESULT floor_size_libraries $(ldd "$floor" | grep -vc '^[[:space:]]*linux-vdso')" >>"$results"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
elapsed=$(($(date +%s) - start))

# The table.
declare -A r
while read -r tag key value; do
    [ "$tag" = RESULT ] && r[$key]=$value
done <"$results"
f() { awk "BEGIN { printf \"$1\", $2 }"; }                     # format expression
met() { awk "BEGIN { print (($1) ? \"yes\" : \"**no**\") }"; }  # goal met?
row() { printf '| %s | %s | %s | %s | %s |\n' "$@"; }
minmax() { echo "min $(f %.1f "${r[${1}_min]}"), max $(f %.1f "${r[${1}_max]}")"; }

floor_ms=${r[floor_start_ms_median]} start_ms=${r[startup_ms_median]}
floor_hwm=${r[floor_hwm_kb]} start_hwm=${r[startup_hwm_kb]} full_hwm=${r[memory_full_hwm_kb]}
cpu=${r[idle_cpu_percent]} wake=${r[idle_wakeups_per_s]}
lat_ok="${r[latency_ms_p99]} < 1 && ${r[latency_lost]} == 0 && ${r[latency_wrong]} == 0"

table="$build/perf-results.md"
{
    row Figure Value "Ratio to floor" Goal Met
    row --- --- --- --- ---
    row "Floor: bare dialog, start to shown (median of $runs)" \
        "$(f '%.1f ms' "$floor_ms") ($(minmax floor_start_ms))" 1 "" ""
    row "Floor: peak resident memory" "$(f '%.1f MiB' "$floor_hwm/1024")" 1 "" ""
    row "Start-up: start to first poll on the wire (median of $runs)" \
        "$(f '%.1f ms' "$start_ms") ($(minmax startup_ms))" "$(f %.2f "$start_ms/$floor_ms")" \
        "≤ 1.5 × floor, < 60 ms" "$(met "$start_ms <= 1.5*$floor_ms && $start_ms < 60")"
    row "Main window alone in a process whose Qt is up: create (ends with the poll) / show" \
        "$(f %.1f "${r[window_create_ms]}") / $(f '%.1f ms' "${r[window_show_ms]}")" "" "" ""
    floor_cpu=${r[idle_floor_cpu_percent_schedstat]}
    row "Floor with an empty 100 ms timer, idle alongside: processor time / wake-ups" \
        "$(f '%.3f %%' "${r[idle_floor_cpu_percent]}") ($(f '%.3f %%' "$floor_cpu") by schedstat) / $(f '%.2f /s' "${r[idle_floor_wakeups_per_s]}")" \
        1 "" ""
    row "Idle processor time over $(f %.0f "${r[idle_seconds]}") s, utime+stime" \
        "$(f '%.3f %%' "$cpu") of one core ($(f '%.3f %%' "${r[idle_cpu_percent_schedstat]}") by schedstat)" \
        "$(f %.2f "${r[idle_cpu_percent_schedstat]}/$floor_cpu") by schedstat" "< 0.2 %, by both" \
        "$(met "$cpu < 0.2 && ${r[idle_cpu_percent_schedstat]} < 0.2")"
    row "Idle wake-ups: context switches of every thread (${r[idle_thread_names]}; ${r[idle_threads_at_start]} threads at the start)" \
        "$(f '%.2f /s' "$wake") (voluntary $(f %.2f "${r[idle_voluntary_per_s]}"), main thread $(f %.2f "${r[idle_main_wakeups_per_s]}"))" \
        "$(f %.2f "$wake/${r[idle_floor_wakeups_per_s]}")" "≤ 10 /s, the tick (10.5 allowed for jitter)" \
        "$(met "$wake <= 10.5")"
    row "Peak resident memory after start-up (VmHWM)" "$(f '%.1f MiB' "$start_hwm/1024")" \
        "$(f %.2f "$start_hwm/$floor_hwm")" "≤ 1.25 × floor" "$(met "$start_hwm <= 1.25*$floor_hwm")"
    row "Peak resident memory with $entries entries (VmHWM)" \
        "$(f '%.1f MiB' "$full_hwm/1024") (VmRSS $(f '%.1f MiB' "${r[memory_full_rss_kb]}/1024"))" \
        "$(f %.2f "$full_hwm/$floor_hwm")" "< 40 MiB" "$(met "$full_hwm < 40*1024")"
    row "Growth per entry (VmRSS)" "$(f '%.1f KiB' "${r[memory_per_entry_kb]}")" "" "" ""
    row "Real program: its queue of $entries replies read, from process start" \
        "$(f '%.2f s' "${r[memory_queue_drained_s]}")" \
        "$(f %.3f "${r[memory_queue_drained_s]}/($entries/10)") of $(f %.0f "$entries/10") s" "" ""
    row "Slider key to datagram, median / p99 of ${r[latency_samples]} keys" \
        "$(f %.3f "${r[latency_ms_median]}") / $(f '%.3f ms' "${r[latency_ms_p99]}") (max $(f %.3f "${r[latency_ms_max]}"); ${r[latency_lost]} lost, ${r[latency_wrong]} wrong)" \
        "" "< 1 ms" "$(met "$lat_ok")"
    for kind in raw painted; do
        label=$([ $kind = raw ] && echo "moves only" || echo "each move painted")
        rate=${r[drag_${kind}_per_s]} lost=${r[drag_${kind}_lost]} order=${r[drag_${kind}_misordered]}
        row "Drag without pause, $label" \
            "$(f '%.0f msg/s' "$rate"), $(f '%.1f µs' "1e6/$rate") each (${r[drag_${kind}_moves]} moves, $lost lost, $order out of order)" \
            "" "< 1 ms each, none lost or reordered" "$(met "$rate > 1000 && $lost == 0 && $order == 0")"
    done
    for n in ${counts//,/ }; do
        all=${r[discovery_${n}_all_s]}
        listed=${r[discovery_${n}_listed]}
        ok="$listed == $n && ${r[discovery_${n}_distinct]} == $n && ${r[discovery_${n}_complete]} == $n"
        ok+=" && ${r[discovery_${n}_message_boxes]} == 0 && $all > 0"
        row "Discovery of $n nodes after one poll (floor $(f %.1f "$n/10") s)" \
            "$(f '%.2f s' "$all") ($listed listed, ${r[discovery_${n}_node_replies]} replies sent)" \
            "$(f %.3f "$all/($n/10)") of the floor" "near $n/10 s, no node lost" "$(met "$ok")"
    done
    row "Stripped release binary" \
        "$(f '%.0f KiB' "${r[size_bytes]}/1024") (floor $(f '%.0f KiB' "${r[floor_size_bytes]}/1024"))" "" "" ""
    row "Linked libraries" \
        "directly: ${r[size_needed]}; ${r[size_libraries]} in all with ld.so (floor ${r[floor_size_libraries]}): ${r[size_library_list]}" \
        "" "" ""
    echo
    echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores," \
        "Linux $(uname -r), $(date -u '+%Y-%m-%d %H:%M UTC'). Load average $load_before before," \
        "$load_after after; one-minute load as each phase began: $phase_loads." \
        "The run took ${elapsed} s."
} >"$table"
cat "$table"
