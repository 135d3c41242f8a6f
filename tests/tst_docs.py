#!/usr/bin/env python3
"""What `cmake --install` puts beside the program: the manual page, the
copyright file and the changelog, as Debian wants them; and the manual
page's list of bounds agreeing with the README's Robustness table.

usage: tst_docs.py BUILD_DIR SOURCE_DIR
"""

import gzip
import os
import re
import subprocess
import sys
import tempfile


def expect(condition, message):
    if not condition:
        print(f"FAIL: {message}", flush=True)
        sys.exit(1)


def check_installed(build_dir):
    with tempfile.TemporaryDirectory(prefix="whoislookup-install-") as prefix:
        subprocess.run(["cmake", "--install", build_dir, "--prefix", prefix],
                       check=True, stdout=subprocess.DEVNULL)
        man = os.path.join(prefix, "share/man/man1/whoislookup.1.gz")
        doc = os.path.join(prefix, "share/doc/whoislookup")
        for path in (man, os.path.join(doc, "changelog.gz")):
            expect(os.path.isfile(path), f"{path} is not installed")
            with open(path, "rb") as f:
                header = f.read(10)
            # gzip -n: no time stamp, so the package builds the same each time.
            expect(header[4:8] == b"\0\0\0\0", f"{path} carries a time stamp")
        with open(os.path.join(doc, "copyright")) as f:
            copyright_text = f.read()
        expect(copyright_text.startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"),
            "copyright is not in the machine-readable format")
        expect("Copyright: 2026 the WhoIs Lookup developers" in copyright_text,
               "copyright names no holder")
        with gzip.open(man, "rt") as f:
            source = f.read()
        # groff's own warnings, as lintian checks them.
        result = subprocess.run(["groff", "-man", "-ww", "-z", "-Tutf8"], input=source,
                                capture_output=True, text=True)
        expect(result.returncode == 0 and not result.stderr,
               f"groff complains about the manual page: {result.stderr}")
        return source


def bounds_in_readme(source_dir):
    with open(os.path.join(source_dir, "README.md")) as f:
        readme = f.read()
    section = readme.split("## Robustness", 1)[1].split("\n## ", 1)[0]
    rows = [line.split("|")[1:3] for line in section.splitlines() if line.startswith("| ")]
    return [(name.strip(), value.split()[0]) for name, value in rows[1:]]  # rows[0]: header


def bounds_in_manual(source):
    items = re.findall(r'^\.IP "([^"]+)" \d+\n(\S+)', source, re.MULTILINE)
    return [(name, value) for name, value in items]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build_dir, source_dir = sys.argv[1], sys.argv[2]
    source = check_installed(build_dir)
    readme, manual = bounds_in_readme(source_dir), bounds_in_manual(source)
    expect(readme and manual == readme,
           f"the manual page's bounds {manual} are not the README's {readme}; "
           "docs/whoislookup.1 lists them under BOUNDS")
    print(f"PASS: manual page, copyright and changelog installed; bounds {manual}")


if __name__ == "__main__":
    main()
