#!/usr/bin/env python3
"""The benchmark's figures as JSON: one run's parts joined, runs made into a baseline,
a run compared with a baseline, and two builds' interleaved runs compared.

  benchjson.py merge OUT PART.json...        the parts of one run (X11, Wayland, a desktop)
  benchjson.py baseline OUT RUN.json...      each row's median over the runs and its spread
  benchjson.py compare BASELINE RUN.json     each row's change; rows worse by more than
                                             their spread are flagged
  benchjson.py against [--threshold T] --tree RUN.json... --rev RUN.json...
                                             each row of the working tree against the
                                             same row of REV, over rounds run interleaved
                                             (by its ratio to a bare window's floor, or
                                             by its value)

A row is found by its key (older runs, without keys, by its words). In `compare` it is
judged by its ratio to the floor measured in the same run, never by its raw time, which
moves with the machine's load; in `against` both builds ran in one session, turn about,
and a row is judged by its ratio to a floor of a bare window measured beside it, where it
has one, else by its own value. Neither ever fails: it is a benchmark, not a test.
"""
import datetime
import json
import os
import statistics
import sys
from math import comb


def key(figure):
    return figure.get("key") or f"{figure['name']} / {figure['compared_with']}"


def wording(figure):
    return f"{figure['name']} / {figure['compared_with']}"


def measure(figure):
    return figure["ratio"] if "ratio" in figure else figure["difference"]


def higher_is_better(figure):
    return figure.get("target", "").startswith(">=")


def load(path):
    with open(path) as file:
        return json.load(file)


def find(rows, figure):
    """The row of `rows` (a key's and a wording's index) that stands for `figure`."""
    by_key, by_words = rows
    return by_key.get(figure.get("key")) or by_words.get(wording(figure))


def index(figures):
    return ({f["key"]: f for f in figures if f.get("key")}, {wording(f): f for f in figures})


def merge(out, parts):
    documents = [load(path) for path in parts]
    joined = {
        "machines": sorted({document["machine"] for document in documents}),
        "quick": any(document.get("quick") for document in documents),
        "figures": [figure for document in documents for figure in document["figures"]],
    }
    with open(out, "w") as file:
        json.dump(joined, file, indent=2)


def baseline(out, runs):
    documents = [load(path) for path in runs]
    rows = {}
    for document in documents:
        for figure in document["figures"]:
            rows.setdefault(key(figure), []).append(figure)
    figures = []
    for seen in rows.values():
        measures = [measure(figure) for figure in seen]
        first = seen[0]
        figures.append({
            "key": key(first),
            "name": first["name"],
            "compared_with": first["compared_with"],
            "unit": first["unit"],
            "target": first.get("target", ""),
            "measure": "ratio" if "ratio" in first else "difference",
            "median": statistics.median(measures),
            "spread": max(measures) - min(measures),
            "runs": measures,
            "values": [figure["value"] for figure in seen],
            "floors": [figure["floor"] for figure in seen],
        })
    machines = sorted({machine for document in documents for machine in document.get("machines", [])})
    with open(out, "w") as file:
        json.dump({"date": datetime.date.today().isoformat(), "machines": machines,
                   "made_from": [os.path.basename(path) for path in runs], "figures": figures}, file, indent=2)


def compare(base_path, run_path):
    base = index(load(base_path)["figures"])
    run = load(run_path)
    worse = 0
    print("Compared with the baseline (its spread: the range over the runs it was made from)\n")
    print("| figure | compared with | then | now | change | spread | |")
    print("|---|---|---|---|---|---|---|")
    for figure in run["figures"]:
        now = measure(figure)
        then = find(base, figure)
        suffix = "x" if "ratio" in figure else " " + figure["unit"]
        if then is None:
            print(f"| {figure['name']} | {figure['compared_with']} | - | {now:.2f}{suffix} | - | - | new |")
            continue
        # A single run as the baseline has no spread.
        median = then["median"] if "median" in then else measure(then)
        spread = then.get("spread", 0.0)
        change = now - median
        flagged = (-change if higher_is_better(figure) else change) > spread
        worse += flagged
        print(f"| {figure['name']} | {figure['compared_with']} | {median:.2f}{suffix} | {now:.2f}{suffix} "
              f"| {change:+.2f} | {spread:.2f} | {'WORSE' if flagged else ''} |")
    print(f"\n{worse} row(s) worse than the baseline by more than their spread.")


def u_distribution(n, m):
    """How many of the C(n + m, n) orderings of two samples give each value of the
    Mann-Whitney statistic U, where neither sample lies above the other."""
    counts = {(0, j): [1] for j in range(m + 1)}
    counts.update({(i, 0): [1] for i in range(n + 1)})
    for i in range(1, n + 1):
        for j in range(1, m + 1):
            left, down = counts[(i - 1, j)], counts[(i, j - 1)]
            counts[(i, j)] = [(left[u - j] if 0 <= u - j < len(left) else 0) + (down[u] if u < len(down) else 0)
                              for u in range(i * j + 1)]
    return counts[(n, m)]


def shift_interval(tree, rev, alpha=0.05):
    """The Hodges-Lehmann estimate of how far the tree's values lie above REV's, and its
    distribution-free interval: from the k-th smallest to the k-th largest of the n * m
    differences, k the largest rank with P(U < k) <= alpha / 2. Also the interval's own
    confidence, at least 1 - alpha; no interval where the rounds are too few for one."""
    differences = sorted(a - b for a in tree for b in rev)
    estimate = statistics.median(differences)
    counts = u_distribution(len(tree), len(rev))
    total = comb(len(tree) + len(rev), len(tree))
    k, below = 0, 0
    for u, count in enumerate(counts):
        if (below + count) / total > alpha / 2:
            break
        below += count
        k = u + 1
    if k == 0:
        return estimate, None, None, 0.0
    return estimate, differences[k - 1], differences[-k], 1 - 2 * below / total


def judged_measure(figure):
    """What `against` compares of a row: its ratio to its floor where that floor is a bare
    window measured in the same run (code a change to quadview does not touch, which moves
    with the machine's speed as quadview does: between two runs a frame's time moved by
    half again, its ratio to the floor by a few per cent); else its own value."""
    if "ratio" in figure and figure["compared_with"].startswith("bare window") and figure["floor"] > 0:
        return figure["value"] / figure["floor"], "to its floor"
    return figure["value"], "its value"


def against(threshold, tree_paths, rev_paths):
    trees = [load(path)["figures"] for path in tree_paths]
    revs = [index(load(path)["figures"]) for path in rev_paths]
    flagged = 0
    shown = set()
    print(f"This tree against REV: {len(trees)} runs of each, interleaved. The ratio is 1 plus the Hodges-Lehmann "
          f"estimate of the shift of this tree's measures, over REV's median; the interval is Mann-Whitney's. A row "
          f"compared with a bare window is judged by its ratio to that floor, measured in the same run; any other "
          f"by its value.\n")
    print("| figure | compared with | judged by | REV | this tree | ratio | interval | threshold | |")
    print("|---|---|---|---|---|---|---|---|---|")
    confidences = set()
    for figure in trees[0]:
        if key(figure) in shown:
            continue
        shown.add(key(figure))
        ours = [judged_measure(row)[0] for run in trees for row in run if key(row) == key(figure)]
        theirs = [judged_measure(found)[0] for rows in revs if (found := find(rows, figure)) is not None]
        judged = judged_measure(figure)[1]
        unit = "x" if judged == "to its floor" else " " + figure["unit"]
        if len(theirs) < len(revs) or len(ours) < len(trees):
            print(f"| {figure['name']} | {figure['compared_with']} | {judged} | - | {statistics.median(ours):.2f}{unit} "
                  f"| - | - | - | not in every run of both |")
            continue
        base = statistics.median(theirs)
        estimate, low, high, confidence = shift_interval(ours, theirs)
        row_threshold = figure.get("threshold", threshold)
        if base == 0 or low is None:
            print(f"| {figure['name']} | {figure['compared_with']} | {judged} | {base:.2f}{unit} "
                  f"| {statistics.median(ours):.2f}{unit} | - | - | - | too few rounds, or nothing to divide by |")
            continue
        confidences.add(round(confidence, 3))
        ratio, ratio_low, ratio_high = (1 + estimate / base, 1 + low / base, 1 + high / base)
        if higher_is_better(figure):
            worse = ratio_high < 1 - row_threshold
        else:
            worse = ratio_low > 1 + row_threshold
        ours_to_judge = figure.get("subject", "quadview") == "quadview"
        note = ("WORSE" if worse else "") if ours_to_judge else "not quadview's"
        flagged += worse and ours_to_judge
        print(f"| {figure['name']} | {figure['compared_with']} | {judged} | {base:.2f}{unit} "
              f"| {statistics.median(ours):.2f}{unit} | {ratio:.3f}x | {ratio_low:.3f} to {ratio_high:.3f} "
              f"| {row_threshold * 100:.0f} % | {note} |")
    confidence = ", ".join(f"{100 * c:.1f} %" for c in sorted(confidences)) or "-"
    print(f"\nIntervals at {confidence} confidence. {flagged} row(s) of quadview's own whose whole interval lies "
          f"beyond its threshold, worse.")
    return flagged


def main(argv):
    if len(argv) >= 3 and argv[0] == "merge":
        merge(argv[1], argv[2:])
    elif len(argv) >= 3 and argv[0] == "baseline":
        baseline(argv[1], argv[2:])
    elif len(argv) == 3 and argv[0] == "compare":
        compare(argv[1], argv[2])
    elif len(argv) >= 5 and argv[0] == "against" and "--tree" in argv and "--rev" in argv:
        threshold = 0.05
        if argv[1] == "--threshold":
            threshold = float(argv[2])
        tree = argv[argv.index("--tree") + 1:argv.index("--rev")]
        rev = argv[argv.index("--rev") + 1:]
        against(threshold, tree, rev)
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
