#!/usr/bin/env python3
"""Counts test cases across the trees for scripts/test.

Each tree's ctest log says which test executables ran and how they ended; each GoogleTest
executable also wrote an XML report (GTEST_OUTPUT) into the tree's results folder. A case is
counted from the report; an executable without a report (a script test, or one that crashed
before writing it) counts as one case with ctest's verdict.

usage: count-tests.py <tree>=<ctest log>:<results folder> ... [--extra NAME=passed|failed]
Prints every failed and skipped case (with the reason), the number skipped, and closes with
"tests: P passed, F failed" (skipped cases are in neither figure).
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

CTEST_LINE = re.compile(r"Test\s+#\d+:\s+(\S+)\s+\.+\**\s*(Passed|Failed|\S.*?)\s+[\d.]+ sec")


def ctest_results(log_path):
    results = {}
    if not os.path.exists(log_path):
        return results
    with open(log_path, encoding="utf-8", errors="replace") as log:
        for line in log:
            m = CTEST_LINE.search(line)
            if m:
                results[m.group(1)] = m.group(2) == "Passed"
    return results


def report_cases(xml_path):
    """(name, outcome, reason) for every case of one GoogleTest report."""
    root = ET.parse(xml_path).getroot()
    for case in root.iter("testcase"):
        name = f"{case.get('classname')}.{case.get('name')}"
        failure = case.find("failure")
        skipped = case.find("skipped")
        if failure is not None:
            first = (failure.get("message") or "").strip().splitlines()
            yield name, "failed", first[0] if first else ""
        elif skipped is not None:
            lines = (skipped.get("message") or "").strip().splitlines()
            yield name, "skipped", lines[-1] if lines else ""
        elif case.get("status") == "notrun":
            yield name, "skipped", "disabled"
        elif case.get("result") == "skipped":
            yield name, "skipped", ""
        else:
            yield name, "passed", ""


def main(argv):
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    notes = []
    args = iter(argv)
    for arg in args:
        if arg == "--extra":
            name, outcome = next(args).split("=", 1)
            counts[outcome] += 1
            if outcome != "passed":
                notes.append(f"  {outcome}: {name}")
            continue
        tree, rest = arg.split("=", 1)
        log_path, results_dir = rest.split(":", 1)
        for exe, ok in sorted(ctest_results(log_path).items()):
            xml_path = os.path.join(results_dir, exe + ".xml")
            cases = []
            if os.path.exists(xml_path):
                try:
                    cases = list(report_cases(xml_path))
                except ET.ParseError:
                    cases = []
            if not cases:
                cases = [(exe, "passed" if ok else "failed", "" if ok else "see the ctest log")]
            elif not ok and not any(outcome == "failed" for _, outcome, _ in cases):
                # The executable failed after its last reported case (a crash or a leak report).
                cases.append((exe, "failed", "the executable failed after its cases"))
            for name, outcome, reason in cases:
                counts[outcome] += 1
                if outcome != "passed":
                    notes.append(f"  {outcome}: [{tree}] {name}" + (f": {reason}" if reason else ""))
    for note in notes:
        print(note)
    print(f"skipped: {counts['skipped']}")
    print(f"tests: {counts['passed']} passed, {counts['failed']} failed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
