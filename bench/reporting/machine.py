"""The machine a benchmark run happened on: CPU, memory, system and library versions."""

import os
import platform
import re
import subprocess

# Debian packages whose versions the figures depend on, by what they provide.
LIBRARY_PACKAGES = [
    ("FFmpeg (libavcodec, libavformat, libswscale)", "libavcodec-dev"),
    ("ffmpeg / ffplay command line", "ffmpeg"),
    ("Qt", "qt6-base-dev"),
    ("GStreamer", "libgstreamer1.0-dev"),
    ("GStreamer RTSP server", "libgstrtspserver-1.0-dev"),
    ("libjpeg-turbo (TurboJPEG)", "libturbojpeg0-dev"),
    ("Google Benchmark", "libbenchmark-dev"),
    ("Xvfb", "xvfb"),
]


def _first_match(path, pattern):
    with open(path) as f:
        for line in f:
            found = re.match(pattern, line)
            if found:
                return found.group(1).strip()
    return "unknown"


def _package_version(package):
    result = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                            capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else "not installed"


def _cmake_cache_value(build_dir, key):
    path = os.path.join(build_dir, "CMakeCache.txt")
    if not os.path.exists(path):
        return None
    value = _first_match(path, re.escape(key) + r":[A-Z]+=(.*)")
    return None if value == "unknown" else value


def _compiler(build_dir):
    compiler = _cmake_cache_value(build_dir, "CMAKE_CXX_COMPILER") or "c++"
    result = subprocess.run([compiler, "--version"], capture_output=True, text=True)
    first_line = result.stdout.splitlines()[0] if result.stdout else "unknown"
    return f"{first_line} ({compiler})"


def describe(build_dir):
    """Returns (label, value) pairs that describe this machine and the build."""
    memory_kb = int(_first_match("/proc/meminfo", r"MemTotal:\s+(\d+) kB"))
    with open("/etc/debian_version") as f:
        debian = f.read().strip()
    rows = [
        ("CPU", _first_match("/proc/cpuinfo", r"model name\s*:(.*)")),
        ("Cores (online)", str(os.cpu_count())),
        ("Memory", f"{memory_kb / 1024 / 1024:.1f} GiB"),
        ("Kernel", platform.release()),
        ("Debian", debian),
        ("Compiler", _compiler(build_dir)),
        ("Build type", _cmake_cache_value(build_dir, "CMAKE_BUILD_TYPE") or "unknown"),
    ]
    rows += [(label, f"{_package_version(package)} (`{package}`)")
             for label, package in LIBRARY_PACKAGES]
    return rows
