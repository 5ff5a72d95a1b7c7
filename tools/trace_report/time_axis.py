"""Where a time goes on the timeline: a linear scale with long quiet gaps cut short.

One linear scale over a whole trace puts a query and its answer 8 ms apart on
one pixel of a 4-second axis. Here every gap between two moments that carry
something gets its true length on one common scale, up to BREAK pixels; a
longer gap is drawn at least BREAK wide and marked as a break with its
duration. The scale is as large as the width allows, but never more than
MAX_SCALE, so events microseconds apart still share a spot (and are grouped
there); width left over goes to the breaks, more to the longer ones.
"""

import bisect
import math
from dataclasses import dataclass

BREAK = 84          # pixels of a gap that is cut short, at least
WIDEST_BREAK = 240
MAX_SCALE = 0.05    # pixels per microsecond: 1 ms is 50 px at most
LABEL_GAP = 10      # pixels between two tick labels
CHAR_WIDTH = 6.6    # an 11 px label's digit, a little generous


@dataclass
class Break:
    x1: float
    x2: float
    start_us: int
    end_us: int


@dataclass
class Tick:
    x: float            # where the tick's line stands
    label_x: float      # where its label is centred (kept inside the plot)
    text: str


class TimeAxis:
    def __init__(self, times, left, right):
        """An axis over these moments (microseconds), drawn from x = left to x = right."""
        self.left, self.right = left, right
        self.times = sorted(set(times))
        gaps = [b - a for a, b in zip(self.times, self.times[1:])]
        self.scale = _largest_scale(gaps, right - left)
        widths = [min(gap * self.scale, BREAK) for gap in gaps]
        cut = [gap * self.scale > BREAK for gap in gaps]
        # A little more of the length a break left out shows in how wide it is.
        weights = [1 + math.log10(gap * self.scale / BREAK) if c else 0 for gap, c in zip(gaps, cut)]
        spare = (right - left) - sum(widths)
        if spare > 0 and any(cut):
            widths = [min(w + spare * weight / sum(weights), WIDEST_BREAK) for w, weight in zip(widths, weights)]
        self.xs = [left]
        self.breaks = []
        for (a, b), width, c in zip(zip(self.times, self.times[1:]), widths, cut):
            if c:
                self.breaks.append(Break(self.xs[-1], self.xs[-1] + width, a, b))
            self.xs.append(self.xs[-1] + width)
        self.origin = self.times[0] if self.times else 0

    @property
    def end_x(self):
        return self.xs[-1]

    def x(self, time_us):
        """The x of a moment; moments between two known ones are placed by proportion."""
        times = self.times
        if not times:
            return self.left
        i = bisect.bisect_left(times, time_us)
        if i < len(times) and times[i] == time_us:
            return self.xs[i]
        if i == 0:
            return self.left
        if i == len(times):
            return self.xs[-1]
        a, b = times[i - 1], times[i]
        return self.xs[i - 1] + (self.xs[i] - self.xs[i - 1]) * (time_us - a) / (b - a)

    def ticks(self):
        """Tick marks with distinct labels that do not touch each other or leave the plot.

        Every stretch between breaks starts with a label of its own; inside a
        stretch, ticks fall on round times at least 90 px apart.
        """
        candidates = []  # (priority, x, time relative to the origin, decimals)
        stretches = self._stretches()
        for first, last in stretches:
            start_us, end_us = self.times[first], self.times[last]
            step = _round_step(90 / self.scale) if self.scale else 0
            decimals = _decimals(step) if step else 3
            candidates.append((0, self.xs[first], start_us - self.origin, max(decimals, 3)))
            if step and end_us > start_us:
                tick = (start_us - self.origin) // step * step + step
                while tick + self.origin < end_us:
                    candidates.append((1, self.x(tick + self.origin), tick, decimals))
                    tick += step
        # Stretches start more than a break apart, and ticks of a stretch a step
        # apart, so their texts differ at these decimals; close labels give way.
        placed = []
        for _, x, relative, decimals in sorted(candidates, key=lambda c: (c[0], c[1])):
            text = seconds(relative, decimals)
            half = len(text) * CHAR_WIDTH / 2
            label_x = min(max(x, self.left - 40 + half), self.right + 16 - half)
            if not any(abs(label_x - other.label_x) < half + len(other.text) * CHAR_WIDTH / 2 + LABEL_GAP
                       for other in placed):
                placed.append(Tick(x, label_x, text))
        return sorted(placed, key=lambda t: t.x)

    def _stretches(self):
        """(first, last) indices of the runs of moments between breaks."""
        if not self.times:
            return []
        starts = [0] + [i + 1 for i, (a, b) in enumerate(zip(self.times, self.times[1:]))
                        if any(br.start_us == a and br.end_us == b for br in self.breaks)]
        ends = [s - 1 for s in starts[1:]] + [len(self.times) - 1]
        return list(zip(starts, ends))


def _largest_scale(gaps, width):
    """The largest scale (up to MAX_SCALE) at which the gaps, each at most BREAK wide, fit the width."""
    def used(scale):
        return sum(min(gap * scale, BREAK) for gap in gaps)

    if not gaps or used(MAX_SCALE) <= width:
        return MAX_SCALE
    low, high = 0.0, MAX_SCALE
    for _ in range(60):
        middle = (low + high) / 2
        low, high = (middle, high) if used(middle) <= width else (low, middle)
    return low


def _round_step(at_least_us):
    """The smallest step of 1, 2 or 5 times a power of ten microseconds that is at least this long."""
    power = 10 ** max(0, math.floor(math.log10(max(at_least_us, 1))))
    for factor in (1, 2, 5, 10):
        if factor * power >= at_least_us:
            return factor * power
    return 10 * power


def _decimals(step_us):
    """Decimals of a second that tell ticks this far apart from each other."""
    return max(0, 6 - math.floor(math.log10(step_us))) if step_us < 1_000_000 else 0


def seconds(relative_us, decimals=3):
    """'+1.250 s'; thousands grouped, so that days and centuries of microseconds stay readable."""
    value = f"{relative_us / 1e6:,.{decimals}f}" if relative_us < 10**15 else f"{relative_us // 10**6:,}"
    return f"+{value} s"
