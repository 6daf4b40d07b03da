#!/usr/bin/env python3
"""Fails when the README's layout table names a folder the tree does not have."""
import os
import re
import sys

root = sys.argv[1]
with open(os.path.join(root, "README.md"), encoding="utf-8") as readme:
    text = readme.read()
table = text.split("## Layout", 1)[1].split("\n## ", 1)[0]
folders = re.findall(r"^\| `([^`]+/)` \|", table, re.MULTILINE)
missing = [f for f in folders if not os.path.isdir(os.path.join(root, f))]
if not folders or missing:
    print("README layout table: " + ("no folders listed" if not folders else "missing " + ", ".join(missing)))
    sys.exit(1)
print(f"README layout table: {len(folders)} folders, all present")
