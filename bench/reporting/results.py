"""The figures one benchmark run left in the bench output folder: the flat
headline figures (<program>.summary.json), the Google Benchmark results
(<program>.json) and when each program ran with the load beside it
(<program>.run.json) and its output (<program>.log), both written by runner.py)."""

import glob
import json
import os


def _read_json(path):
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return json.load(f)


class Results:
    def __init__(self, out_dir):
        self.out_dir = out_dir
        self.summary = {}
        for path in sorted(glob.glob(os.path.join(out_dir, "*.summary.json"))):
            self.summary.update(_read_json(path))

    def figure(self, name):
        """A headline figure by name, or None when the run did not produce it."""
        return self.summary.get(name)

    def benchmark(self, program, benchmark_name, field):
        """A field of one Google Benchmark run of a program, or None."""
        data = _read_json(os.path.join(self.out_dir, program + ".json")) or {}
        for run in data.get("benchmarks", []):
            if run.get("name") == benchmark_name:
                return run.get(field)
        return None

    def log_lines(self, program):
        """The program's output in its last run (<program>.log), or no lines."""
        path = os.path.join(self.out_dir, program + ".log")
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return f.read().splitlines()

    def program_run(self, program):
        """When the program ran and the load average meanwhile, or None."""
        return _read_json(os.path.join(self.out_dir, program + ".run.json"))
