#!/usr/bin/python3
"""Prints what a PDF file's links, form fields, page labels and optional
content amount to, as read by pikepdf, one fact a line:

  pages N
  link PAGE goto TARGET      (TARGET: 0-based page index, or "none")
  link PAGE uri TEXT
  link PAGE other KIND
  field FULLNAME<TAB>VALUE
  label PAGE TEXT
  layer NAME on|off

Links are read in page order, each through its /Dest or its action (/A, the
first go-to of a /Next chain), named destinations through the /Dests name
tree or the old /Dests dictionary, as a viewer resolves them. Used by the
integration tests as an outside reader of merged files.
"""

import sys

import pikepdf

MAX_DEPTH = 100  # field and /Next chains; a longer one is a loop


def text(value):
    if isinstance(value, pikepdf.String):
        raw = bytes(value)
        if raw.startswith(b"\xfe\xff"):
            return raw[2:].decode("utf-16-be", "replace")
        return raw.decode("latin-1")
    if isinstance(value, pikepdf.Name):
        return str(value)[1:]
    return str(value)


def page_index(pdf, pages_by_objgen, page):
    if isinstance(page, int):
        return page if 0 <= page < len(pdf.pages) else None
    try:
        return pages_by_objgen.get(page.objgen)
    except Exception:
        return None


def explicit(pdf, pages_by_objgen, dest):
    if isinstance(dest, pikepdf.Dictionary):
        dest = dest.get("/D")
    if not isinstance(dest, pikepdf.Array) or len(dest) == 0:
        return None
    return page_index(pdf, pages_by_objgen, dest[0])


def resolve(pdf, pages_by_objgen, names, old_names, dest):
    if isinstance(dest, pikepdf.String):
        key = bytes(dest)
        value = names.get(key)
        if value is None:
            value = old_names.get(key)
        return explicit(pdf, pages_by_objgen, value) if value is not None else None
    if isinstance(dest, pikepdf.Name):
        key = str(dest)[1:].encode("latin-1")
        value = old_names.get(key)
        if value is None:
            value = names.get(key)
        return explicit(pdf, pages_by_objgen, value) if value is not None else None
    return explicit(pdf, pages_by_objgen, dest)


def link_fact(pdf, pages_by_objgen, names, old_names, annot):
    if "/Dest" in annot:
        target = resolve(pdf, pages_by_objgen, names, old_names, annot.Dest)
        return "goto", "none" if target is None else str(target)
    action = annot.get("/A")
    for _ in range(MAX_DEPTH):
        if not isinstance(action, pikepdf.Dictionary):
            return "other", "none"
        kind = text(action.get("/S", pikepdf.Name("/None")))
        if kind == "GoTo":
            target = resolve(pdf, pages_by_objgen, names, old_names, action.get("/D"))
            return "goto", "none" if target is None else str(target)
        if kind == "URI":
            return "uri", text(action.get("/URI", ""))
        if kind != "Next" and "/Next" not in action:
            return "other", kind
        following = action.get("/Next")
        action = following[0] if isinstance(following, pikepdf.Array) and len(following) else following
    return "other", "loop"


def name_map(pdf):
    names = {}
    root_names = pdf.Root.get("/Names")
    if isinstance(root_names, pikepdf.Dictionary) and "/Dests" in root_names:
        for key, value in pikepdf.NameTree(root_names.Dests).items():
            names[key.encode("latin-1") if isinstance(key, str) else bytes(key)] = value
    old = {}
    dests = pdf.Root.get("/Dests")
    if isinstance(dests, pikepdf.Dictionary):
        for key in dests.keys():
            old[key[1:].encode("latin-1")] = dests[key]
    return names, old


def fields(pdf):
    form = pdf.Root.get("/AcroForm")
    if not isinstance(form, pikepdf.Dictionary):
        return
    work = [(field, "", None, 0) for field in reversed(list(form.get("/Fields", [])))]
    seen = set()
    while work:
        field, prefix, inherited, depth = work.pop()
        if not isinstance(field, pikepdf.Dictionary) or depth > MAX_DEPTH:
            continue
        if field.is_indirect:
            if field.objgen in seen:
                continue
            seen.add(field.objgen)
        name = prefix
        if "/T" in field:
            name = (prefix + "." if prefix else "") + text(field.T)
        value = field.get("/V", inherited)
        kids = [kid for kid in field.get("/Kids", []) if isinstance(kid, pikepdf.Dictionary) and "/T" in kid]
        if kids:
            for kid in reversed(kids):
                work.append((kid, name, value, depth + 1))
        elif "/T" in field:
            yield name, "" if value is None else text(value)


def layers(pdf):
    properties = pdf.Root.get("/OCProperties")
    if not isinstance(properties, pikepdf.Dictionary):
        return
    config = properties.get("/D", pikepdf.Dictionary())
    base_off = str(config.get("/BaseState", "/ON")) == "/OFF"
    on = {g.objgen for g in config.get("/ON", [])}
    off = {g.objgen for g in config.get("/OFF", [])}
    for group in properties.get("/OCGs", []):
        visible = group.objgen in on or (not base_off and group.objgen not in off)
        yield text(group.get("/Name", "")), "on" if visible else "off"


def main(path):
    with pikepdf.open(path) as pdf:
        pages_by_objgen = {page.objgen: i for i, page in enumerate(pdf.pages)}
        names, old_names = name_map(pdf)
        print("pages", len(pdf.pages))
        for i, page in enumerate(pdf.pages):
            for annot in page.obj.get("/Annots", []):
                if isinstance(annot, pikepdf.Dictionary) and annot.get("/Subtype") == "/Link":
                    kind, what = link_fact(pdf, pages_by_objgen, names, old_names, annot)
                    print("link", i, kind, what)
        for name, value in fields(pdf):
            print("field " + name + "\t" + value)
        for i, page in enumerate(pdf.pages):
            print("label", i, pikepdf.Page(page).label)
        for name, state in layers(pdf):
            print("layer", name, state)


if __name__ == "__main__":
    main(sys.argv[1])
