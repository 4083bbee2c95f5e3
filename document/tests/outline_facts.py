#!/usr/bin/python3
"""Prints a PDF file's outline and named destinations as pikepdf reads them,
one fact a line:

  outline LEVEL TARGET TITLE   (depth first, each item before its children;
                                LEVEL 1 for top items; TARGET the 0-based page
                                index, "none" for a destination that leads to
                                no page, "-" for an item without one)
  dest NAME TARGET             (every named destination, tree and /Dests)

Destinations are resolved as integration/pdf_facts.py resolves links. Used by
the outline tests as an outside reader of the files the model reads and
writes.
"""

import os
import sys

import pikepdf

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "integration"))
import pdf_facts  # noqa: E402

MAX_DEPTH = 100  # deeper outlines are not what these tests read


def target(pdf, pages, names, old_names, item):
    if "/Dest" in item:
        destination = item.Dest
    else:
        action = item.get("/A")
        if not isinstance(action, pikepdf.Dictionary) or action.get("/S") != "/GoTo":
            return "-"
        destination = action.get("/D")
    page = pdf_facts.resolve(pdf, pages, names, old_names, destination)
    return "none" if page is None else str(page)


def outline(pdf, pages, names, old_names):
    root = pdf.Root.get("/Outlines")
    if not isinstance(root, pikepdf.Dictionary):
        return
    seen = {root.objgen}
    work = [(root.get("/First"), 1)]
    while work:
        item, level = work.pop()
        if not isinstance(item, pikepdf.Dictionary) or level > MAX_DEPTH:
            continue
        if item.is_indirect:
            if item.objgen in seen:
                continue
            seen.add(item.objgen)
        yield level, target(pdf, pages, names, old_names, item), pdf_facts.text(item.get("/Title", ""))
        work.append((item.get("/Next"), level))
        work.append((item.get("/First"), level + 1))


def main(path):
    with pikepdf.open(path) as pdf:
        pages = {page.objgen: i for i, page in enumerate(pdf.pages)}
        names, old_names = pdf_facts.name_map(pdf)
        for level, where, title in outline(pdf, pages, names, old_names):
            print("outline", level, where, title)
        for key, value in sorted(list(names.items()) + list(old_names.items())):
            page = pdf_facts.explicit(pdf, pages, value)
            print("dest", key.decode("latin-1"), "none" if page is None else page)


if __name__ == "__main__":
    main(sys.argv[1])
