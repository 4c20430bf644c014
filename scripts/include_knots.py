#!/usr/bin/env python3
"""Finds the include knots of the program's sources: units (a header with its source) that include
each other in a cycle, directly or through others. Prints the largest knot; with --max N fails when
a knot has more than N units."""
import argparse
import os
import re
import sys

FOLDERS = ["common", "text", "core", "metrics", "link", "tcp", "ui", "app"]
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def read_graph(root):
    edges = {}
    for folder in FOLDERS:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            base, ext = os.path.splitext(name)
            if ext not in (".cpp", ".h"):
                continue
            unit = folder + "/" + base
            with open(os.path.join(path, name), encoding="utf-8") as f:
                targets = {os.path.splitext(i)[0] for i in INCLUDE.findall(f.read())}
            edges.setdefault(unit, set()).update(t for t in targets if t != unit)
    return edges


def knots(edges):
    """Strongly connected components (Tarjan), without recursion."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in sorted(edges):
        if start in index:
            continue
        work = [(start, iter(sorted(edges.get(start, ()))))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            child = next(children, None)
            if child is None:
                work.pop()
                if work:
                    low[work[-1][0]] = min(low[work[-1][0]], low[node])
                if low[node] == index[node]:
                    component = []
                    while True:
                        member = stack.pop()
                        on_stack.discard(member)
                        component.append(member)
                        if member == node:
                            break
                    found.append(sorted(component))
            elif child not in index:
                index[child] = low[child] = counter
                counter += 1
                stack.append(child)
                on_stack.add(child)
                work.append((child, iter(sorted(edges.get(child, ())))))
            elif child in on_stack:
                low[node] = min(low[node], index[child])
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--max", type=int, default=None)
    parser.add_argument("root", nargs="?", default=os.path.join(os.path.dirname(__file__), ".."))
    args = parser.parse_args()
    found = sorted(knots(read_graph(args.root)), key=len, reverse=True)
    largest = found[0] if found else []
    print("largest include knot: %d units (%s)" % (len(largest), ", ".join(largest)))
    too_big = [k for k in found if args.max is not None and len(k) > args.max]
    for knot in too_big:
        print("include knot of %d units, more than %d: %s" % (len(knot), args.max, ", ".join(knot)))
    return 1 if too_big else 0


if __name__ == "__main__":
    sys.exit(main())
