#!/usr/bin/env python3
"""Fails when a source includes across a line the architecture draws.

- plugin/engine/ includes the standard library and the compiler's intrinsics only (and itself):
  the engine takes floats and buffers and knows nothing of the framework.
- plugkit/ and canvas/ never include plugin/: the framework and its toolkit know no product.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
SOURCE_ENDINGS = (".h", ".hpp", ".cpp", ".c")
INTRINSICS = re.compile(r"^[a-z0-9]*intrin\.h$")
# The C++ standard library headers.
STANDARD = {
    "algorithm", "any", "array", "atomic", "barrier", "bit", "bitset", "cassert", "cctype",
    "cerrno", "cfenv", "cfloat", "charconv", "chrono", "cinttypes", "climits", "clocale", "cmath",
    "compare", "complex", "concepts", "condition_variable", "coroutine", "csetjmp", "csignal",
    "cstdarg", "cstddef", "cstdint", "cstdio", "cstdlib", "cstring", "ctime", "cuchar", "cwchar",
    "cwctype", "deque", "exception", "execution", "expected", "filesystem", "format",
    "forward_list", "fstream", "functional", "future", "initializer_list", "iomanip", "ios",
    "iosfwd", "iostream", "istream", "iterator", "latch", "limits", "list", "locale", "map",
    "memory", "memory_resource", "mutex", "new", "numbers", "numeric", "optional", "ostream",
    "queue", "random", "ranges", "ratio", "regex", "scoped_allocator", "semaphore", "set",
    "shared_mutex", "source_location", "span", "sstream", "stack", "stdexcept", "stop_token",
    "streambuf", "string", "string_view", "syncstream", "system_error", "thread", "tuple",
    "type_traits", "typeindex", "typeinfo", "unordered_map", "unordered_set", "utility",
    "valarray", "variant", "vector", "version",
}


def sources(root, folder):
    for base, _, names in os.walk(os.path.join(root, folder)):
        for name in sorted(names):
            if name.endswith(SOURCE_ENDINGS):
                path = os.path.join(base, name)
                with open(path, encoding="utf-8") as f:
                    yield os.path.relpath(path, root), f.read()


def main(root):
    problems = []
    for path, text in sources(root, "plugin/engine"):
        for kind, name in INCLUDE.findall(text):
            quoted_elsewhere = kind == '"' and not name.startswith("plugin/engine/")
            foreign = kind == "<" and name not in STANDARD and not INTRINSICS.match(name)
            if quoted_elsewhere or foreign:
                problems.append(f"{path}: the engine includes {name}")
    for folder in ("plugkit", "canvas"):
        for path, text in sources(root, folder):
            for _, name in INCLUDE.findall(text):
                if name.startswith("plugin/"):
                    problems.append(f"{path}: the framework includes product code {name}")
    for problem in problems:
        print(problem)
    print(f"include rules: {len(problems)} broken")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
