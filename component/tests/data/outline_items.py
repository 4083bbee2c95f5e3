#!/usr/bin/python3
"""Prints a PDF file's outline items as pikepdf reads them, depth first, each
item before its children, one item a line, fields separated by tabs:

  LEVEL TARGET VIEW FLAGS COLOUR OPEN ACTION TITLE

LEVEL is 1 for top items. TARGET is the 0-based index of the page the item
leads to (through /Dest or a go-to action, named destinations resolved as a
viewer does), "none" when its destination leads to no page, "-" without one.
VIEW is the destination's display name and numbers ("XYZ 36 500 1.5"), "-"
without an explicit one. FLAGS is /F, COLOUR /C as "r g b", OPEN "open" or
"closed" by the sign of /Count ("-" for none); each "-" when absent. ACTION
is the /S of an action other than go-to with what it carries ("URI
http://...", "Launch other.pdf", "Named NextPage"), else "-".

The first line is "pages N", the last "count STORED SHOWN": the outline
root's /Count ("-" without one) and the number of items a viewer shows with
every item open or closed as its /Count says. The items are walked by pikepdf's own outline
reader, down to MAX_DEPTH levels.
"""

import os
import sys

import pikepdf

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "integration"))
import pdf_facts  # noqa: E402

MAX_DEPTH = 300  # deeper than any outline the model keeps


def number(value):
    try:
        return "%g" % float(value)
    except (TypeError, ValueError):
        return "null"


def explicit_array(pdf, names, old_names, destination):
    if isinstance(destination, (pikepdf.String, pikepdf.Name)):
        key = bytes(destination) if isinstance(destination, pikepdf.String) else str(destination)[1:].encode("latin-1")
        value = names.get(key, old_names.get(key))
        if value is None:
            value = old_names.get(key, names.get(key))
        destination = value
    if isinstance(destination, pikepdf.Dictionary):
        destination = destination.get("/D")
    return destination if isinstance(destination, pikepdf.Array) else None


def target_and_view(pdf, pages, names, old_names, item):
    if "/Dest" in item:
        destination = item.Dest
    else:
        action = item.get("/A")
        if not isinstance(action, pikepdf.Dictionary) or action.get("/S") != "/GoTo":
            return "-", "-"
        destination = action.get("/D")
    page = pdf_facts.resolve(pdf, pages, names, old_names, destination)
    array = explicit_array(pdf, names, old_names, destination)
    view = "-"
    if array is not None and len(array) > 1:
        view = " ".join([pdf_facts.text(array[1])] + [number(v) for v in list(array)[2:]])
    return ("none" if page is None else str(page)), view


def action_of(item):
    action = item.get("/A")
    if not isinstance(action, pikepdf.Dictionary):
        return "-"
    kind = pdf_facts.text(action.get("/S", pikepdf.Name("/None")))
    if kind == "GoTo":
        return "-"
    if kind == "URI":
        return "URI " + pdf_facts.text(action.get("/URI", ""))
    if kind == "Launch":
        target = action.get("/F")
        windows = action.get("/Win")
        if target is None and isinstance(windows, pikepdf.Dictionary):
            target = windows.get("/F", "")
        if isinstance(target, pikepdf.Dictionary):
            target = target.get("/F", "")
        return "Launch " + pdf_facts.text(target)
    if kind == "GoToR":
        destination = action.get("/D")
        page = destination[0] if isinstance(destination, pikepdf.Array) and len(destination) else "-"
        return "GoToR " + pdf_facts.text(action.get("/F", "")) + " " + str(page)
    if kind == "Named":
        return "Named " + pdf_facts.text(action.get("/N", ""))
    return kind


def entries(item):
    flags = item.get("/F")
    flags = str(int(flags)) if isinstance(flags, int) else "-"
    colour = item.get("/C")
    colour = " ".join(number(v) for v in colour) if isinstance(colour, pikepdf.Array) else "-"
    count = item.get("/Count")
    state = "-"
    if isinstance(count, int) and count != 0:
        state = "open" if count > 0 else "closed"
    return flags, colour, state


def outline(pdf, pages, names, old_names):
    with pdf.open_outline(max_depth=MAX_DEPTH) as tree:
        work = [(item, 1) for item in reversed(tree.root)]
        while work:
            node, level = work.pop()
            item = node.obj
            target, view = target_and_view(pdf, pages, names, old_names, item)
            flags, colour, state = entries(item)
            title = pdf_facts.text(item.get("/Title", "")).replace("\t", " ").replace("\n", " ")
            yield [str(level), target, view, flags, colour, state, action_of(item), title]
            work.extend((child, level + 1) for child in reversed(node.children))


def main(path):
    with pikepdf.open(path) as pdf:
        pages = {page.objgen: i for i, page in enumerate(pdf.pages)}
        names, old_names = pdf_facts.name_map(pdf)
        print("pages", len(pdf.pages))
        shown = 0
        closed_below = MAX_DEPTH + 1  # the level under a closed item, while inside it
        for fields in outline(pdf, pages, names, old_names):
            print("\t".join(fields))
            level = int(fields[0])
            if level <= closed_below - 1:
                closed_below = MAX_DEPTH + 1
            if level < closed_below:
                shown += 1
                if fields[5] != "open":
                    closed_below = level + 1
        root = pdf.Root.get("/Outlines")
        stored = root.get("/Count") if isinstance(root, pikepdf.Dictionary) else None
        print("count", int(stored) if isinstance(stored, int) else "-", shown)


if __name__ == "__main__":
    main(sys.argv[1])
