#!/usr/bin/env python3
"""Sums the GoogleTest JUnit reports of the given folders into one closing line.

With --expect NAME,NAME,... a test program that left no report (it crashed or hung
before writing one) counts as a failure."""
import glob
import os
import sys
import xml.etree.ElementTree as ET


def main(args):
    expected = []
    if args and args[0] == "--expect":
        expected = [name for name in args[1].split(",") if name]
        args = args[2:]
    folders = args
    passed = failed = skipped = 0
    present = {os.path.splitext(os.path.basename(p))[0] for f in folders for p in glob.glob(os.path.join(f, "*.xml"))}
    for name in expected:
        if name not in present:
            print(f"no report from {name}: it crashed or was stopped")
            failed += 1
    for folder in folders:
        for report in sorted(glob.glob(os.path.join(folder, "*.xml"))):
            try:
                root = ET.parse(report).getroot()
            except ET.ParseError:
                print(f"unreadable report: {report}")
                failed += 1
                continue
            for case in root.iter("testcase"):
                if case.find("failure") is not None or case.find("error") is not None:
                    failed += 1
                elif case.get("result") == "skipped" or case.find("skipped") is not None:
                    skipped += 1
                else:
                    passed += 1
    if passed + failed == 0:
        print("no test ran")
        return 1
    print(f"tests: {passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
