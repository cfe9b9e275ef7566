"""What the report is made of: figures (rows) with their targets, grouped in areas."""

from dataclasses import dataclass, field
from typing import Callable, List, Optional

MIB = 1024 * 1024


@dataclass
class Target:
    text: str                          # as the report shows it, e.g. "≥ 0.4"
    met: Callable[[float], bool]       # applied to the checked value
    on_ratio: bool = False             # checks the ratio column instead of our figure


def at_most(bound, unit=""):
    return Target(f"≤ {bound}{unit}", lambda value: value <= bound)


def under(bound, unit=""):
    return Target(f"< {bound}{unit}", lambda value: value < bound)


def under_megabytes(bound_mb):
    """For figures in MiB against a bound in MB (10^6 bytes)."""
    bound_mib = bound_mb * 1e6 / MIB
    return Target(f"< {bound_mb} MB ({bound_mib:.1f} MiB)", lambda value: value < bound_mib)


def ratio_at_most(bound):
    return Target(f"ratio ≤ {bound}", lambda value: value <= bound, on_ratio=True)


def ratio_at_least(bound):
    return Target(f"ratio ≥ {bound}", lambda value: value >= bound, on_ratio=True)


@dataclass
class Row:
    figure: str                        # what is measured
    ours: Optional[float]
    unit: str
    beside_label: str = ""             # what our figure is set beside
    beside: Optional[float] = None     # in the same unit as ours
    ratio: Optional[float] = None      # ours / beside
    target: Optional[Target] = None
    cause: str = ""                    # measured cause, shown when the target is missed

    def checked_value(self):
        return self.ratio if self.target and self.target.on_ratio else self.ours

    def met(self):
        """True or False against the target; None without a target or a figure."""
        value = self.checked_value()
        if self.target is None or value is None:
            return None
        return self.target.met(value)


@dataclass
class Area:
    title: str
    programs: List[str]                # bench/bin programs whose runs it shows
    rows: List[Row]
    reproduce: List[str]               # shell commands from the repository's top
    notes: List[str] = field(default_factory=list)  # what the figures mean
