"""The timeline picture: inline SVG, one lane per source, every event in one mark.

Marks of a row closer than MIN_GAP pixels would hide each other, so they are
drawn as one mark that shows how many events it stands for and lists them in
its hover title.
"""

from html import escape

from .text import isolated
from .time_axis import TimeAxis, seconds
from .trace_model import Timeline

WIDTH = 1000
LABEL_WIDTH = 200
PLOT_LEFT, PLOT_RIGHT = LABEL_WIDTH + 14, WIDTH - 24
AXIS_HEIGHT = 50
ROW_HEIGHT = 22
NOTE_HEIGHT = 18
LANE_PAD = 10
MIN_GAP = 12        # pixels: marks of a row closer than this become one mark


def duration(us):
    """A gap's length in the unit that reads best: '8.00 ms', '2.00 s', '3.5 h'."""
    s = us / 1e6
    for limit, divisor, unit in ((1, 1e-3, "ms"), (120, 1, "s"), (7200, 60, "min"), (172_800, 3600, "h"),
                                 (3.2e9, 86_400, "d")):
        if s < limit:
            return f"{s / divisor:.3g} {unit}"
    return f"{s / 31_557_600:,.0f} years"


def _title(lines):
    return "<title>" + escape("\n".join(lines)) + "</title>"


def _field_lines(fields):
    return [f"{label}: {isolated(value) if isinstance(value, str) else value}" for label, value in fields]


def _glyph(kind, x, y):
    if kind.startswith("query"):
        return f'<polygon points="{x - 6:.1f},{y + 5} {x + 6:.1f},{y + 5} {x:.1f},{y - 6}"/>'
    if kind.startswith("reply"):
        return f'<polygon points="{x - 6:.1f},{y - 5} {x + 6:.1f},{y - 5} {x:.1f},{y + 6}"/>'
    if kind == "drop":
        return (f'<path d="M{x - 5:.1f},{y - 5}L{x + 5:.1f},{y + 5}M{x - 5:.1f},{y + 5}L{x + 5:.1f},{y - 5}"/>'
                f'<rect x="{x - 6:.1f}" y="{y - 6}" width="12" height="12" class="hit"/>')
    return f'<circle cx="{x:.1f}" cy="{y}" r="5.5"/>'


def groups(marks, x_of):
    """The marks of one row in runs whose neighbours lie closer than MIN_GAP pixels."""
    runs = []
    for mark in sorted(marks, key=lambda m: m.time_us):
        x = x_of(mark.time_us)
        if runs and x - runs[-1][-1][0] < MIN_GAP:
            runs[-1].append((x, mark))
        else:
            runs.append([(x, mark)])
    return runs


def _draw_run(run, y, origin):
    """One mark for a run of events: the glyph alone, or with the count it stands for."""
    first_x, last_x = run[0][0], run[-1][0]
    marks = [mark for _, mark in run]
    if len(run) == 1:
        mark = marks[0]
        return (f'<g class="mark {mark.kind}" data-source="{mark.source}">{_title(_field_lines(mark.fields))}'
                f'{_glyph(mark.kind, first_x, y)}</g>')
    x = (first_x + last_x) / 2
    kinds = {mark.kind for mark in marks}
    lines = [f"{len(marks)} events, {seconds(marks[0].time_us - origin, 6)} to {seconds(marks[-1].time_us - origin, 6)}:"]
    lines += [f"{seconds(mark.time_us - origin, 6)}  {isolated(mark.summary)}" for mark in marks]
    extent = (f'<line x1="{first_x - 3:.1f}" y1="{y + 9}" x2="{last_x + 3:.1f}" y2="{y + 9}" class="extent"/>'
              if last_x - first_x >= 2 else "")
    if len(kinds) == 1:
        kind = kinds.pop()
        glyph = _glyph(kind, x, y)
    else:
        kind = "mixed"
        glyph = f'<rect x="{x - 6:.1f}" y="{y - 6}" width="12" height="12" rx="3" class="mixed"/>'
    return (f'<g class="mark group {kind}" data-source="{marks[0].source}" data-count="{len(marks)}">'
            f'{_title(lines)}{extent}{glyph}'
            f'<text x="{x + 8:.1f}" y="{y - 3}" class="count">\u00d7{len(marks)}</text></g>')


def _axis(axis, total):
    out = []
    for gap in axis.breaks:
        middle = (gap.x1 + gap.x2) / 2
        zigzag = " ".join(f"{middle + (-3 if i % 2 else 3):.1f},{AXIS_HEIGHT - 14 + 4 * i}" for i in range(4))
        out.append(f'<g class="break"><title>{escape(duration(gap.end_us - gap.start_us))} with nothing '
                   f'recorded, drawn short</title>'
                   f'<rect x="{gap.x1 + 6:.1f}" y="{AXIS_HEIGHT - 14}" width="{gap.x2 - gap.x1 - 12:.1f}" '
                   f'height="{total - AXIS_HEIGHT + 6}"/>'
                   f'<polyline points="{zigzag}"/>'
                   f'<text x="{middle:.1f}" y="12" text-anchor="middle">'
                   f'{escape(duration(gap.end_us - gap.start_us))}</text></g>')
    for tick in axis.ticks():
        out.append(f'<line x1="{tick.x:.1f}" y1="{AXIS_HEIGHT - 14}" x2="{tick.x:.1f}" y2="{total - 8}" '
                   f'class="grid"/><text x="{tick.label_x:.1f}" y="{AXIS_HEIGHT - 18}" class="axis" '
                   f'text-anchor="middle">{escape(tick.text)}</text>')
    return "".join(out)


def _links(lane, rows, x_of):
    # Open links of one row run on to the next one; the last runs to the end with the words.
    out, opens = [], {}
    for k in sorted(lane.links, key=lambda k: k.start_us):
        if k.end_us is None:
            opens.setdefault(k.row, []).append(k)
    next_open = {id(k): later for row in opens.values() for k, later in zip(row, row[1:])}
    for link in lane.links:
        y = rows[link.row]
        x1 = x_of(link.start_us)
        if link.end_us is None:
            later = next_open.get(id(link))
            words = (f'<text x="{PLOT_RIGHT + 14}" y="{y - 7}" text-anchor="end">{escape(link.text)} \u2192</text>'
                     if later is None else "")
            x2 = x_of(later.start_us) if later else PLOT_RIGHT + 14
            out.append(f'<g class="link open"><title>{escape(link.text)}</title>'
                       f'<line x1="{x1:.1f}" y1="{y}" x2="{x2:.1f}" y2="{y}"/>{words}</g>')
        else:
            out.append(f'<g class="link"><title>{escape(link.text)}</title>'
                       f'<line x1="{x1:.1f}" y1="{y}" x2="{x_of(link.end_us):.1f}" y2="{y}"/></g>')
    return out


def lane_height(lane):
    return len(lane.rows) * ROW_HEIGHT + 2 * LANE_PAD + (NOTE_HEIGHT if lane.note else 0)


def render(line: Timeline):
    """The <svg> element text."""
    lanes = line.lanes
    heights = [lane_height(lane) for lane in lanes]
    total = AXIS_HEIGHT + sum(heights) + 8
    times = [m.time_us for lane in lanes for m in lane.marks]
    times += [t for lane in lanes if lane.band for t in lane.band if t]
    axis = TimeAxis(times, PLOT_LEFT, PLOT_RIGHT)
    x_of = axis.x

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" class="timeline" width="{WIDTH}" height="{total}" '
           f'viewBox="0 0 {WIDTH} {total}" role="img" aria-label="timeline of the trace">']
    top = AXIS_HEIGHT
    for lane, height in zip(lanes, heights):
        out.append(f'<rect x="0" y="{top}" width="{WIDTH}" height="{height}" class="lane-bg"/>')
        top += height
    if line.start_us is None:
        out.append(f'<text x="{PLOT_LEFT}" y="{AXIS_HEIGHT - 18}" class="axis">nothing in the document carries a '
                   'time</text>')
    else:
        out.append(_axis(axis, total))
    top = AXIS_HEIGHT
    for lane, height in zip(lanes, heights):
        out.append(f'<g class="lane {lane.source}">')
        out.append(f'<text x="10" y="{top + LANE_PAD + 14}" class="lane-title">{escape(lane.title)}</text>')
        rows = [top + LANE_PAD + ROW_HEIGHT * i + ROW_HEIGHT // 2 for i in range(len(lane.rows))]
        if line.start_us is not None:
            if lane.band:
                x1, x2 = x_of(lane.band[0]), x_of(lane.band[1] or line.end_us)
                out.append(f'<rect x="{x1:.1f}" y="{top + 4}" width="{max(x2 - x1, 1):.1f}" '
                           f'height="{len(lane.rows) * ROW_HEIGHT + 2 * LANE_PAD - 8}" class="window">'
                           f'<title>capture window: {escape(lane.title)}, startedUs {lane.band[0]}, endedUs '
                           f'{lane.band[1] or 0}</title></rect>')
            if len(lane.rows) > 1:
                for name, y in zip(lane.rows, rows):
                    out.append(f'<text x="{LABEL_WIDTH - 4}" y="{y + 4}" class="row-title" '
                               f'text-anchor="end">{escape(name)}</text>')
            out += _links(lane, rows, x_of)
            for row, y in enumerate(rows):
                for run in groups([m for m in lane.marks if m.row == row], x_of):
                    out.append(_draw_run(run, y, line.start_us))
        if lane.note:
            out.append(f'<text x="{PLOT_LEFT}" y="{top + height - LANE_PAD}" class="lane-note">'
                       f'{escape(lane.note)}</text>')
        out.append('</g>')
        top += height
    out.append('</svg>')
    return "".join(out)
