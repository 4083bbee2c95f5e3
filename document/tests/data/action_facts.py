#!/usr/bin/python3
"""Prints the action dictionaries of a PDF file as pikepdf reads them, one
entry a line:

  WHERE KEY VALUE

WHERE is "open" (the catalog's /OpenAction), "doc.KEY" (the catalog's /AA),
"page.N.KEY" (page N's /AA, 0-based) or "annot.N.I" (annotation I of page N,
its /A). KEY is one of /S /URI /JS /F /D /NewWindow /Win /IsMap /T /N; a
file specification prints its /F and, when it has one, its embedded file's
data; a destination prints its page as "page N". Used by the document tests
as an outside reader of saved actions.
"""

import decimal
import sys

import pikepdf

KEYS = ["/S", "/URI", "/JS", "/F", "/D", "/NewWindow", "/Win", "/IsMap", "/T", "/N"]


def text(value):
    raw = bytes(value)
    if raw.startswith(b"\xfe\xff"):
        return raw[2:].decode("utf-16-be", "replace")
    return raw.decode("latin-1")


def show(pdf, pages, value):
    if isinstance(value, pikepdf.String):
        return "(" + text(value) + ")"
    if isinstance(value, pikepdf.Name):
        return str(value)
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float, decimal.Decimal)):
        return "%g" % float(value)
    if isinstance(value, pikepdf.Array):
        return "[" + " ".join(show(pdf, pages, item) for item in value) + "]"
    if isinstance(value, pikepdf.Stream):
        return "stream(" + value.read_bytes().decode("latin-1") + ")"
    if isinstance(value, pikepdf.Dictionary):
        if value.is_indirect and value.objgen in pages:
            return "page %d" % pages[value.objgen]
        parts = []
        for key in sorted(value.keys()):
            if key == "/EF":
                stream = value.EF.get("/F")
                parts.append("/EF " + (show(pdf, pages, stream) if stream is not None else "none"))
            elif key in ("/F", "/O", "/P", "/D", "/R", "/FS", "/Desc", "/Type"):
                parts.append(key + " " + show(pdf, pages, value[key]))
        return "<<" + " ".join(parts) + ">>"
    if value is None:
        return "null"
    return str(value)


def facts(pdf, pages, where, action):
    if not isinstance(action, pikepdf.Dictionary):
        return
    for key in KEYS:
        if key in action:
            print(where, key, show(pdf, pages, action[key]))


def main(path):
    with pikepdf.open(path) as pdf:
        pages = {page.objgen: i for i, page in enumerate(pdf.pages)}
        facts(pdf, pages, "open", pdf.Root.get("/OpenAction"))
        for key, action in sorted(pdf.Root.get("/AA", {}).items()):
            facts(pdf, pages, "doc." + key[1:], action)
        for n, page in enumerate(pdf.pages):
            for key, action in sorted(page.obj.get("/AA", {}).items()):
                facts(pdf, pages, "page.%d.%s" % (n, key[1:]), action)
            for i, annot in enumerate(page.obj.get("/Annots", [])):
                facts(pdf, pages, "annot.%d.%d" % (n, i), annot.get("/A"))


if __name__ == "__main__":
    main(sys.argv[1])
