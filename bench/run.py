#!/usr/bin/env python3
"""Runs the benchmarks of bench/ against a Release build folder and prints one table.

scripts/bench builds the folder and calls this; see docs/performance.md for what each row
means. Everything runs on private simulated machines in a temporary folder, under a private
Xvfb server where a display is needed; nothing of the user's own files is touched.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

LETTERS = "CDEFGHIJKLMNOPQRSTUVWXYZ"


def note(text):
    print(text, file=sys.stderr, flush=True)


def base_environment(runtime_dir):
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ORVANTA_SIM_ROOT",
                 "QT_XCB_NO_MITSHM"):
        env.pop(name, None)
    env.update({"LANG": "C", "LC_ALL": "C", "XDG_RUNTIME_DIR": runtime_dir})
    return env


def make_demo(build, root, env, change=None):
    """The demo machine in root, as orvanta-sim makes it, then changed by change(machine)."""
    subprocess.run([os.path.join(build, "sim", "orvanta-sim"), "--root", root, "demo"],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    if change:
        path = os.path.join(root, "machine.json")
        with open(path) as f:
            machine = json.load(f)
        change(machine)
        with open(path, "w") as f:
            json.dump(machine, f, indent=4)
    return root


def twenty_four_volumes(machine):
    """Every letter from C to Z a fixed NTFS volume; C, D and E stay as the demo has them."""
    kept = {v["letter"]: v for v in machine["volumes"] if v["letter"] in "CDE"}
    volumes = []
    for i, letter in enumerate(LETTERS):
        volumes.append(kept.get(letter) or {
            "letter": letter, "type": "fixed", "fileSystem": "NTFS",
            "freeBytes": (40 + 10 * i) << 30, "diskId": 2 + i, "rating": 100 + 20 * i})
    machine["volumes"] = volumes


def standing_still(machine):
    """The demo driver without its workload: its counters, and so the window, do not change."""
    machine["driver"].pop("workload", None)


def no_pause(machine):
    machine["sleepScale"] = 0


class Xvfb:
    def __init__(self, env):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), env=env, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def stop(self):
        self.process.terminate()
        self.process.wait()


def cpu_ns(pid):
    """CPU time of every thread of pid, in nanoseconds (the scheduler's own count, finer than
    the clock ticks of /proc/PID/stat)."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total


def status_kb(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def run_gui_benchmarks(build, env, repetitions, work):
    out = os.path.join(work, "gui.json")
    note("In-process benchmarks (offscreen) ...")
    subprocess.run([os.path.join(build, "bench", "orvanta-bench-gui"),
                    f"--benchmark_repetitions={repetitions}",
                    f"--benchmark_out={out}", "--benchmark_out_format=json"],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    with open(out) as f:
        report = json.load(f)
    figures = {}
    for run in report["benchmarks"]:
        if run.get("run_type") != "iteration":
            continue
        name = run["name"].split("/")[0]
        entry = figures.setdefault(name, {})
        for counter in ("p50_us", "p99_us", "paints_per_tick"):
            if counter in run:
                entry.setdefault(counter, []).append(run[counter])
        # Google Benchmark's mean CPU time per iteration, in the unit the benchmark reports.
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[run.get("time_unit", "us")]
        entry.setdefault("cpu_us", []).append(run["cpu_time"] * scale)
    return {name: {counter: statistics.median(values) for counter, values in entry.items()}
            for name, entry in figures.items()}, report.get("context", {})


def run_startup(build, env, runs, root):
    harness = os.path.join(build, "bench", "orvanta-bench-startup")
    samples = []
    for i in range(runs + 2):
        started = time.monotonic_ns()
        result = subprocess.run([harness], env=dict(env, ORVANTA_SIM_ROOT=root),
                                capture_output=True, text=True, timeout=60)
        words = result.stdout.split()
        if result.returncode != 0 or len(words) != 8:
            raise RuntimeError("the start-up harness failed: " + result.stdout + result.stderr)
        times = dict(zip(words[0::2], map(int, words[1::2])))
        if i >= 2:  # the first runs fill the file-system and font caches
            samples.append({"total": (times["painted"] - started) / 1e6,
                            "exec": (times["entered"] - started) / 1e6,
                            "window": (times["constructed"] - times["entered"]) / 1e6})
    return {key: statistics.median(s[key] for s in samples) for key in samples[0]} | {
        "min": min(s["total"] for s in samples), "max": max(s["total"] for s in samples)}


def run_alone(command, env, seconds, settle=3.0):
    """CPU share of one core of command and of its own Xvfb, with nothing else on that server."""
    return run_together({command[0]: (command, env)}, seconds, settle)[command[0]]


def run_polling(build, env, seconds, runs, root):
    """The monitor alone under its own Xvfb, runs times: medians, and each run's CPU share."""
    monitor = os.path.join(build, "src", "orvanta-monitor")
    results = [run_alone([monitor], dict(env, ORVANTA_SIM_ROOT=root), seconds)
               for _ in range(runs)]
    return {key: statistics.median(r[key] for r in results) for key in results[0]} | {
        "cpu_all": [r["cpu"] for r in results]}


def run_together(programs, seconds, settle=3.0):
    """CPU shares of one core of several programs, each with an Xvfb of its own, all running and
    sampled at the same time: on a shared machine whose speed drifts, only programs measured
    together compare. programs: {name: (command, env)}."""
    started_servers, processes = {}, {}
    try:
        for name, (command, env) in programs.items():
            started_servers[name] = Xvfb(env)
            processes[name] = subprocess.Popen(
                command, env=dict(env, DISPLAY=started_servers[name].display),
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(settle)  # start-up is measured on its own
        for name, process in processes.items():
            if process.poll() is not None:
                raise RuntimeError(f"{name} ended early")
        pids = {name: (processes[name].pid, started_servers[name].process.pid)
                for name in programs}
        started = time.monotonic()
        before = {name: tuple(cpu_ns(pid) for pid in pids[name]) for name in programs}
        time.sleep(seconds)
        elapsed = time.monotonic() - started
        after = {name: tuple(cpu_ns(pid) for pid in pids[name]) for name in programs}
        rss = {name: status_kb(pids[name][0], "VmRSS") / 1024.0 for name in programs}
        hwm = {name: status_kb(pids[name][0], "VmHWM") / 1024.0 for name in programs}
    finally:
        for process in processes.values():
            process.terminate()
            process.wait()
        for server in started_servers.values():
            server.stop()
    results = {}
    for name in programs:
        share = [100.0 * (a - b) / 1e9 / elapsed for a, b in zip(after[name], before[name])]
        results[name] = {"cpu": share[0], "xvfb": share[1], "rss": rss[name], "hwm": hwm[name]}
    return results


def run_side_by_side(build, env, seconds, rounds, root, monitors=None):
    """The monitor, the floor program and conky at the same time, each under its own Xvfb.

    Their combined load is a few percent of one core, so they do not disturb each other, and
    each round's ratios are taken within the round; the medians of those ratios are what count.
    monitors, when given, are (name, path) pairs of other builds of the monitor, each measured
    in every round beside the others."""
    here = os.path.dirname(os.path.abspath(__file__))
    if not shutil.which("conky"):
        raise RuntimeError("conky is not installed (Debian package conky-std)")
    monitor_env = dict(env, ORVANTA_SIM_ROOT=root)
    programs = {name: ([path], monitor_env) for name, path in (
        monitors or [("monitor", os.path.join(build, "src", "orvanta-monitor"))])}
    programs["floor"] = ([os.path.join(build, "bench", "orvanta-bench-floor")], env)
    programs["conky"] = (["conky", "-q", "-c", os.path.join(here, "conky.conf")], env)
    results = {name: [] for name in programs}
    for i in range(rounds):
        note(f"  round {i + 1} of {rounds}, all at once: " + ", ".join(programs))
        for name, result in run_together(programs, seconds).items():
            results[name].append(result)
    ratios = {}
    for name in results:
        if name in ("floor", "conky"):
            continue
        for reference in ("conky", "floor"):
            ratios[f"{name}/{reference}"] = [
                m["cpu"] / r["cpu"] for m, r in zip(results[name], results[reference])]
    ratios["floor/conky"] = [f["cpu"] / c["cpu"] for f, c in zip(results["floor"],
                                                                   results["conky"])]
    return results, ratios


def run_install(build, env, runs, work):
    monitor = os.path.join(build, "src", "orvanta-monitor")
    times = []
    for i in range(runs):
        root = make_demo(build, os.path.join(work, f"install{i}"), env, no_pause)
        started = time.monotonic_ns()
        subprocess.run([monitor, "/install"], env=dict(env, ORVANTA_SIM_ROOT=root), check=True)
        times.append((time.monotonic_ns() - started) / 1e6)
    return statistics.median(times)


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def cpu_model():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "unknown"


def print_side_by_side(results, ratios, seconds):
    names = {"monitor": "orvanta-monitor, demo machine, Status tab",
             "floor": "floor program: two opaque labels at 40 Hz",
             "conky": "conky, six lines at update_interval 0.025"}
    rounds = len(results["floor"])
    print()
    print(f"Side by side: CPU share of one core over {seconds:g} s, every program at the same "
          "time, each under its own Xvfb")
    print()
    print("| Program | " + " | ".join(f"Round {i + 1}" for i in range(rounds)) +
          " | Median | Its Xvfb (median) | RSS (median) |")
    print("|---|" + "---|" * (rounds + 3))
    for key, runs in results.items():
        cpu = [r["cpu"] for r in runs]
        print(f"| {names.get(key, key)} | " + " | ".join(f"{v:.2f} %" for v in cpu) +
              f" | {statistics.median(cpu):.2f} % | "
              f"{statistics.median(r['xvfb'] for r in runs):.2f} % | "
              f"{statistics.median(r['rss'] for r in runs):.1f} MB |")
    print()
    print("| Ratio, within each round | " + " | ".join(f"Round {i + 1}" for i in range(rounds)) +
          " | Median | Target | |")
    print("|---|" + "---|" * (rounds + 3))
    for key, values in ratios.items():
        median = statistics.median(values)
        target = {"conky": 0.65, "floor": 1.2}.get(key.split("/")[1]) \
            if not key.startswith("floor/") else None
        print(f"| {key} | " + " | ".join(f"{v:.2f}" for v in values) + f" | {median:.2f} | " +
              (f"≤ {target} | {verdict(median, target)} |" if target else " | |"))


def verdict(value, target):
    return "met" if value <= target else "MISSED"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the Release build folder")
    parser.add_argument("--repetitions", type=int, default=3,
                        help="runs of each in-process benchmark (median taken)")
    parser.add_argument("--startup-runs", type=int, default=15)
    parser.add_argument("--poll-seconds", type=float, default=30.0)
    parser.add_argument("--poll-runs", type=int, default=3)
    parser.add_argument("--install-runs", type=int, default=10)
    parser.add_argument("--compare-seconds", type=float, default=15.0)
    parser.add_argument("--compare-rounds", type=int, default=3)
    parser.add_argument("--monitor", action="append", metavar="NAME=PATH",
                        help="compare this orvanta-monitor instead of the build's (repeatable: "
                        "other builds of the monitor, side by side in the same rounds)")
    parser.add_argument("--only", choices=("inprocess", "startup", "polling", "compare",
                                           "install"),
                        action="append", help="run only these parts (repeatable)")
    parser.add_argument("--json", help="also write the figures to this file")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    work = tempfile.mkdtemp(prefix="orvanta-bench-")
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    env = base_environment(runtime)
    load_before = load_average()
    parts = set(args.only or ("inprocess", "startup", "polling", "compare", "install"))
    side_by_side = None
    gui, context, startup, polling, polling_still, install_ms = {}, {}, None, None, None, None
    xvfb = None
    try:
        # Made first: a demo machine is read by its time stamps alone once it has been left
        # unchanged for 2 s, as a user's long-standing one is.
        demo24 = make_demo(build, os.path.join(work, "demo24"), env, twenty_four_volumes)
        demo = make_demo(build, os.path.join(work, "demo"), env)
        still = make_demo(build, os.path.join(work, "still"), env, standing_still)
        if "inprocess" in parts:
            gui, context = run_gui_benchmarks(build, dict(env, ORVANTA_SIM_ROOT=work),
                                              args.repetitions, work)
        if "startup" in parts:
            xvfb = Xvfb(env)
            x_env = dict(env, DISPLAY=xvfb.display)
            note(f"Start-up on 24 volumes under Xvfb, {args.startup_runs} runs ...")
            time.sleep(2.1)
            startup = run_startup(build, x_env, args.startup_runs, demo24)
        if "polling" in parts:
            note(f"Polling under Xvfb, {args.poll_runs} runs of {args.poll_seconds:g} s ...")
            polling = run_polling(build, env, args.poll_seconds, args.poll_runs, demo)
            note(f"... and {args.poll_runs} runs with the counters standing still ...")
            polling_still = run_polling(build, env, args.poll_seconds, args.poll_runs, still)
        if "compare" in parts:
            note(f"Side by side, at the same time, each under its own Xvfb, {args.compare_rounds} rounds of "
                 f"{args.compare_seconds:g} s ...")
            side_by_side = run_side_by_side(build, env, args.compare_seconds, args.compare_rounds,
                                            demo, [(m.split("=", 1)[0],
                                                    os.path.abspath(m.split("=", 1)[1]))
                                                   for m in args.monitor or []])
        if "install" in parts:
            note(f"/install with sleepScale 0, {args.install_runs} runs ...")
            install_ms = run_install(build, env, args.install_runs, work)
    finally:
        if xvfb:
            xvfb.stop()
        shutil.rmtree(work, ignore_errors=True)
    load_after = load_average()

    def us(name, counter):
        return gui[name][counter]

    def timed_row(label, name, target_us=None, digits=1, scale=1.0, unit="µs"):
        """Median and 99th percentile of the iterations' wall time, and the mean CPU time."""
        median = us(name, "p50_us")
        return (label, f"{median / scale:.{digits}f} {unit}",
                f"{us(name, 'p99_us') / scale:.{digits}f} {unit}",
                f"CPU {us(name, 'cpu_us') / scale:.{digits}f} {unit} (mean)",
                f"≤ {target_us} µs" if target_us else "",
                verdict(median, target_us) if target_us else "")

    def runs(values, unit):
        return ", ".join(f"{v:.2f}" for v in values) + f" {unit} (runs)"

    rows = []
    if gui:
        rows += [
            timed_row("Status tick, recording fake (offscreen, repaint included)", "BM_TickFake",
                      100),
            timed_row("Status tick, simulated demo machine (offscreen, repaint included)",
                      "BM_TickSimulated"),
            timed_row("freeSpaceGB, recording fake", "BM_FreeSpaceFake", digits=2),
            timed_row("freeSpaceGB, simulated demo machine", "BM_FreeSpaceSimulated"),
            timed_row("Cache-row value change, recording fake (repaint included)",
                      "BM_RowChangeFake"),
            timed_row("Cache-row value change, simulated demo machine (repaint included)",
                      "BM_RowChangeSimulated"),
        ]
    if startup:
        rows.append(("Start-up to first painted window, 24 eligible volumes, Xvfb",
                     f"{startup['total']:.1f} ms", "",
                     f"{startup['min']:.1f}–{startup['max']:.1f} ms (range)", "≤ 250 ms",
                     verdict(startup["total"], 250)))
    if polling:
        rows += [
            (f"Polling {args.poll_seconds:g} s under Xvfb: CPU time, share of one core",
             f"{polling['cpu']:.2f} %", "", runs(polling["cpu_all"], "%"), "≤ 1 %",
             verdict(polling["cpu"], 1.0)),
            ("The same, the counters standing still (nothing to repaint)",
             f"{polling_still['cpu']:.2f} %", "", runs(polling_still["cpu_all"], "%"), "", ""),
            (f"Polling {args.poll_seconds:g} s under Xvfb: resident memory (VmRSS)",
             f"{polling['rss']:.1f} MB", "", f"peak {polling['hwm']:.1f} MB (VmHWM)", "≤ 60 MB",
             verdict(polling["rss"], 60)),
        ]
    if gui:
        rows.append(timed_row("/install, sleepScale 0: the procedure, in process",
                              "BM_InstallSimulated", digits=2, scale=1000.0, unit="ms"))
    if install_ms is not None:
        rows.append(("/install, sleepScale 0: the whole process", f"{install_ms:.1f} ms", "", "",
                     "", ""))
    headers = ("Figure", "Median", "p99", "Other", "Target", "")
    widths = [max(len(r[i]) for r in rows + [headers]) for i in range(len(headers))]

    def line(cells):
        return "| " + " | ".join(c.ljust(w) for c, w in zip(cells, widths)) + " |"

    print(f"Machine: {cpu_model()}, {os.cpu_count()} cores; load average {load_before} "
          f"before, {load_after} after")
    print(f"Qt {context.get('qt', '?')}, Release build in {build}")
    if startup:
        print(f"Start-up split (medians): process start to main() {startup['exec']:.1f} ms, "
              f"main() to window constructed {startup['window']:.1f} ms")
    if polling:
        print(f"Xvfb's own CPU while the monitor polled: {polling['xvfb']:.2f} % of one core")
    if gui:
        print(f"Paint events per tick: {us('BM_TickFake', 'paints_per_tick'):.1f} (fake), "
              f"{us('BM_TickSimulated', 'paints_per_tick'):.1f} (simulated)")
    if rows:
        print()
        print(line(headers))
        print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
        for row in rows:
            print(line(row))
    if side_by_side:
        print_side_by_side(*side_by_side, args.compare_seconds)

    if args.json:
        with open(args.json, "w") as f:
            json.dump({"gui": gui, "startup": startup, "polling": polling,
                       "side_by_side": side_by_side,
                       "polling_still": polling_still,
                       "install_process_ms": install_ms, "load_before": load_before,
                       "load_after": load_after}, f, indent=2)


if __name__ == "__main__":
    main()
