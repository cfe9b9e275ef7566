"""Builds what the benchmarks need and runs each benchmark program as bench/run
does (same arguments and output files), noting for each when it ran, its exit
status, its output, and the load average of the machine while it ran: other
work on the machine disturbs timing figures, so the report shows it beside them."""

import datetime
import glob
import json
import os
import subprocess
import sys
import threading

LOAD_SAMPLE_INTERVAL_S = 2.0

# Build targets: the benchmark programs, and what the whole-program benchmark
# drives (the program, the demo camera, its screen-polling helper).
BUILD_TARGETS = ["bench_ring", "bench_dec_thread", "bench_player", "bench_replay", "device_bench",
                 "pipeline_bench", "tarnview", "democam", "first_picture", "web_host", "x_watch"]


def _load_average():
    with open("/proc/loadavg") as f:
        return [float(x) for x in f.read().split()[:3]]


def _now():
    return datetime.datetime.now().astimezone().isoformat(timespec="seconds")


def build(top, build_dir):
    """Installs missing packages, configures if needed, builds BUILD_TARGETS only
    (bench/run builds the tests as well, which the figures do not need)."""
    subprocess.run([os.path.join(top, "scripts", "install-deps")], check=True)
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", top, "-B", build_dir, "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=" + os.environ.get("BUILD_TYPE", "RelWithDebInfo")],
                       check=True)
    subprocess.run(["cmake", "--build", build_dir, "--parallel", str(os.cpu_count()),
                    "--target"] + BUILD_TARGETS, check=True)


def _run_one(program, out_dir):
    """Runs one program, echoing its output; returns its run record."""
    name = os.path.basename(program)
    print(f"== {name}", flush=True)
    loads = [_load_average()[0]]
    record = {"started": _now(), "load_at_start": _load_average()}
    done = threading.Event()

    def sample_load():
        while not done.wait(LOAD_SAMPLE_INTERVAL_S):
            loads.append(_load_average()[0])

    sampler = threading.Thread(target=sample_load, daemon=True)
    sampler.start()
    process = subprocess.Popen(
        [program, f"--benchmark_out={out_dir}/{name}.json", "--benchmark_out_format=json"],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
        env=dict(os.environ, TARNVIEW_BENCH_DIR=out_dir))
    with open(os.path.join(out_dir, name + ".log"), "w") as log:
        for line in process.stdout:
            sys.stdout.write(line)
            log.write(line)
    record["exit_status"] = process.wait()
    done.set()
    sampler.join()
    record.update({
        "ended": _now(),
        "load_at_end": _load_average(),
        "load_1min_mean": sum(loads) / len(loads),
        "load_1min_max": max(loads),
    })
    with open(os.path.join(out_dir, name + ".run.json"), "w") as f:
        json.dump(record, f, indent=2)
        f.write("\n")
    return record


def merge_summary(out_dir):
    """build/bench/summary.json from every <program>.summary.json, as bench/run writes it."""
    summary = {}
    for path in sorted(glob.glob(os.path.join(out_dir, "*.summary.json"))):
        with open(path) as f:
            summary.update(json.load(f))
    with open(os.path.join(out_dir, "summary.json"), "w") as f:
        json.dump(summary, f, indent=2, sort_keys=True)
        f.write("\n")


def run_programs(out_dir, program_filter):
    """Runs every program in <out_dir>/bin whose name holds program_filter (all
    when empty); a program that fails does not stop the others. Returns the
    names of the programs that failed."""
    failed = []
    for program in sorted(glob.glob(os.path.join(out_dir, "bin", "*"))):
        name = os.path.basename(program)
        if program_filter and program_filter not in name:
            continue
        if _run_one(program, out_dir)["exit_status"] != 0:
            failed.append(name)
    merge_summary(out_dir)
    return failed
