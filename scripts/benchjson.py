#!/usr/bin/env python3
"""The benchmark's figures as JSON: one run's parts joined, runs made into a baseline,
and a run compared with a baseline.

  benchjson.py merge OUT PART.json...        the parts of one run (X11, Wayland, a desktop)
  benchjson.py baseline OUT RUN.json...      each row's median over the runs and its spread
  benchjson.py compare BASELINE RUN.json     each row's change; rows worse by more than
                                             their spread are flagged

A row is judged by its ratio to the floor measured in the same run (its difference, for
memory), never by its raw time, which moves with the machine's load. Comparing never
fails: it is a benchmark, not a test.
"""
import datetime
import json
import os
import statistics
import sys


def key(figure):
    return f"{figure['name']} / {figure['compared_with']}"


def measure(figure):
    return figure["ratio"] if "ratio" in figure else figure["difference"]


def higher_is_better(figure):
    return figure.get("target", "").startswith(">=")


def load(path):
    with open(path) as file:
        return json.load(file)


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
    base = {key(figure): figure for figure in load(base_path)["figures"]}
    run = load(run_path)
    worse = 0
    print("Compared with the baseline (its spread: the range over the runs it was made from)\n")
    print("| figure | compared with | then | now | change | spread | |")
    print("|---|---|---|---|---|---|---|")
    for figure in run["figures"]:
        now = measure(figure)
        then = base.get(key(figure))
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


def main(argv):
    if len(argv) >= 3 and argv[0] == "merge":
        merge(argv[1], argv[2:])
    elif len(argv) >= 3 and argv[0] == "baseline":
        baseline(argv[1], argv[2:])
    elif len(argv) == 3 and argv[0] == "compare":
        compare(argv[1], argv[2])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
