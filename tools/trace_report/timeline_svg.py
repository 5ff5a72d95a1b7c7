"""The timeline picture: inline SVG, one lane per source, one mark per event."""

from html import escape

from .trace_model import Timeline

WIDTH = 1000
LABEL_WIDTH = 200
PLOT_LEFT, PLOT_RIGHT = LABEL_WIDTH + 10, WIDTH - 20
AXIS_HEIGHT = 34
ROW_HEIGHT = 22
LANE_PAD = 10


def _tick_step(span_us):
    """A round step giving 4 to 10 ticks over the span."""
    step = 1
    while span_us / step > 10:
        for factor in (2, 2.5, 2):
            step *= factor
            if span_us / step <= 10:
                break
    return step


def _seconds(us):
    return f"+{us / 1e6:.3f} s" if us < 10_000_000 else f"+{us / 1e6:.1f} s"


def _title(fields):
    return "<title>" + escape("\n".join(f"{label}: {value}" for label, value in fields)) + "</title>"


def _mark(kind, x, y):
    if kind.startswith("query"):
        return f'<polygon points="{x - 6:.1f},{y + 5} {x + 6:.1f},{y + 5} {x:.1f},{y - 6}"/>'
    if kind.startswith("reply"):
        return f'<polygon points="{x - 6:.1f},{y - 5} {x + 6:.1f},{y - 5} {x:.1f},{y + 6}"/>'
    if kind == "drop":
        return (f'<path d="M{x - 5:.1f},{y - 5}L{x + 5:.1f},{y + 5}M{x - 5:.1f},{y + 5}L{x + 5:.1f},{y - 5}"/>'
                f'<rect x="{x - 6:.1f}" y="{y - 6}" width="12" height="12" class="hit"/>')
    return f'<circle cx="{x:.1f}" cy="{y}" r="5.5"/>'


def render(line: Timeline):
    """The <svg> element text."""
    lanes = line.lanes
    heights = [len(lane.rows) * ROW_HEIGHT + 2 * LANE_PAD for lane in lanes]
    total = AXIS_HEIGHT + sum(heights) + 8
    start, end = line.start_us, line.end_us
    if start is not None and end == start:
        start, end = start - 500, end + 500
    span = (end - start) if start is not None else 1

    def x_of(time_us):
        return PLOT_LEFT + (time_us - start) * (PLOT_RIGHT - PLOT_LEFT) / span

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" class="timeline" width="{WIDTH}" height="{total}" '
           f'viewBox="0 0 {WIDTH} {total}" role="img" aria-label="timeline of the trace">']
    if start is None:
        out.append(f'<text x="{PLOT_LEFT}" y="22" class="axis">nothing in the document carries a time</text>')
    else:
        step = _tick_step(span)
        tick = 0
        while tick <= span:
            x = x_of(start + tick)
            out.append(f'<line x1="{x:.1f}" y1="{AXIS_HEIGHT - 6}" x2="{x:.1f}" y2="{total - 8}" class="grid"/>'
                       f'<text x="{x:.1f}" y="{AXIS_HEIGHT - 12}" class="axis" text-anchor="middle">'
                       f'{_seconds(tick)}</text>')
            tick += step
    top = AXIS_HEIGHT
    for lane, height in zip(lanes, heights):
        out.append(f'<g class="lane {lane.source}">')
        out.append(f'<rect x="0" y="{top}" width="{WIDTH}" height="{height}" class="lane-bg"/>')
        out.append(f'<text x="10" y="{top + LANE_PAD + 14}" class="lane-title">{escape(lane.title)}</text>')
        rows = [top + LANE_PAD + ROW_HEIGHT * i + ROW_HEIGHT // 2 for i in range(len(lane.rows))]
        if start is not None:
            if lane.band:
                x1, x2 = x_of(lane.band[0]), x_of(lane.band[1] or end)
                out.append(f'<rect x="{x1:.1f}" y="{top + 4}" width="{max(x2 - x1, 1):.1f}" height="{height - 8}" '
                           f'class="window"><title>capture window: {escape(lane.title)}, startedUs '
                           f'{lane.band[0]}, endedUs {lane.band[1] or 0}</title></rect>')
            if len(lane.rows) > 1:
                for name, y in zip(lane.rows, rows):
                    out.append(f'<text x="{LABEL_WIDTH - 4}" y="{y + 4}" class="row-title" '
                               f'text-anchor="end">{escape(name)}</text>')
            # Open links of one row run on to the next one; the last runs to the end with the words.
            opens = {}
            for k in sorted(lane.links, key=lambda k: k.start_us):
                if k.end_us is None:
                    opens.setdefault(k.row, []).append(k)
            next_open = {id(k): later for row in opens.values() for k, later in zip(row, row[1:])}
            for link in lane.links:
                y = rows[link.row]
                x1 = x_of(link.start_us)
                if link.end_us is None:
                    later = next_open.get(id(link))
                    words = (f'<text x="{PLOT_RIGHT + 10}" y="{y - 6}" text-anchor="end">{escape(link.text)} →</text>'
                             if later is None else "")
                    x2 = x_of(later.start_us) if later else PLOT_RIGHT + 12
                    out.append(f'<g class="link open"><title>{escape(link.text)}</title>'
                               f'<line x1="{x1:.1f}" y1="{y}" x2="{x2:.1f}" y2="{y}"/>{words}</g>')
                else:
                    out.append(f'<g class="link"><title>{escape(link.text)}</title>'
                               f'<line x1="{x1:.1f}" y1="{y}" x2="{x_of(link.end_us):.1f}" y2="{y}"/></g>')
            for mark in lane.marks:
                out.append(f'<g class="mark {mark.kind}" data-source="{mark.source}">{_title(mark.fields)}'
                           f'{_mark(mark.kind, x_of(mark.time_us), rows[mark.row])}</g>')
        if lane.note:
            out.append(f'<text x="{PLOT_LEFT + 8}" y="{top + height // 2 + 4}" class="lane-note">'
                       f'{escape(lane.note)}</text>')
        out.append('</g>')
        top += height
    out.append('</svg>')
    return "".join(out)
