#!/usr/bin/env python3
"""Sums the GoogleTest JUnit reports of the given folders into one closing line.

Each argument is a report folder, optionally followed by "=" and the names of the test
programs expected to report there (NAME,NAME,...): one that left no report in its folder (it
crashed or hung before writing one) counts as a failure. The native and the Windows build have
programs of the same name, so expectations are kept per folder."""
import glob
import os
import sys
import xml.etree.ElementTree as ET


def main(args):
    folders = []
    passed = failed = skipped = 0
    for arg in args:
        folder, _, names = arg.partition("=")
        folders.append(folder)
        present = {os.path.splitext(os.path.basename(p))[0] for p in glob.glob(os.path.join(folder, "*.xml"))}
        for name in (n for n in names.split(",") if n):
            if name not in present:
                print(f"no report from {name} in {folder}: it crashed or was stopped")
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
