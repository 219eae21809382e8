#!/usr/bin/env python3
"""Compares the outputs of runs in two builds (pairs of CSV files); names the first differences."""
import csv
import sys

SKIPPED = 77  # the run that writes ACTUAL.csv was skipped, and said why beside it


def main():
    paths = sys.argv[1:]
    if not paths or len(paths) % 2:
        print("usage: compare_outputs.py EXPECTED.csv ACTUAL.csv [EXPECTED.csv ACTUAL.csv...]",
              file=sys.stderr)
        return 2
    try:
        with open(paths[1] + ".skipped") as f:
            print(f"SKIPPED, NOT COMPARED: {f.read().strip()}")
        return SKIPPED
    except OSError:
        pass
    failed = [compare(paths[i], paths[i + 1]) for i in range(0, len(paths), 2)]
    return 1 if any(failed) else 0


def compare(expected_path, actual_path):
    """0 when both files hold the same rows; otherwise names the first differences."""
    print(f"{actual_path}:")
    try:
        with open(expected_path, newline="") as f:
            expected = list(csv.reader(f))
        with open(actual_path, newline="") as f:
            actual = list(csv.reader(f))
    except OSError as error:
        print(f"cannot compare: {error}")
        return 1
    if len(expected) < 3:
        print(f"{expected_path}: only {len(expected)} lines, the session did not run")
        return 1
    header = expected[0]
    shown = 0
    for number, (want, got) in enumerate(zip(expected, actual)):
        if want == got:
            continue
        columns = [header[i] if i < len(header) else str(i)
                   for i in range(max(len(want), len(got)))
                   if (want[i] if i < len(want) else None) != (got[i] if i < len(got) else None)]
        details = ", ".join(
            f"{c}: {want[header.index(c)] if header.index(c) < len(want) else '-'}"
            f" vs {got[header.index(c)] if header.index(c) < len(got) else '-'}"
            for c in columns[:12] if c in header)
        print(f"row {number} (frame {want[0] if want else '?'} vs {got[0] if got else '?'}) "
              f"differs in {len(columns)} columns: {details}")
        shown += 1
        if shown == 10:
            break
    if len(expected) != len(actual):
        print(f"{len(expected)} rows in {expected_path}, {len(actual)} in {actual_path}")
    if shown or len(expected) != len(actual):
        return 1
    print(f"same handles, panel and sound in all {len(expected) - 1} rows")
    return 0


if __name__ == "__main__":
    sys.exit(main())
