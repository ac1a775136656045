#!/usr/bin/python3
"""Reads Korvane's windows as a screen reader does (AT-SPI) and prints every control with its role and name.
Exits 1 when a control a user can reach with Tab (a button, field, combo box, list or tree) has no name."""
import sys
import time

import pyatspi

NAMED_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_COMBO_BOX,
               pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_LIST, pyatspi.ROLE_TABLE,
               pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_CHECK_BOX}


def find_app(name, wait):
    deadline = time.time() + wait
    while time.time() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name.lower() == name:
                return app
        time.sleep(0.5)
    return None


def walk(node, depth, problems):
    try:
        role, name = node.getRole(), node.name
    except Exception:  # a control that went away while it was read
        return
    states = node.getState()
    if states.contains(pyatspi.STATE_SHOWING):
        focusable = states.contains(pyatspi.STATE_FOCUSABLE)
        # The text inside an editable combo box is named by the combo box itself.
        inner = node.parent is not None and node.parent.getRole() == pyatspi.ROLE_COMBO_BOX
        labels = [t.name for r in node.getRelationSet() if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                  for t in (r.getTarget(i) for i in range(r.getNTargets()))]
        print("%s%s \"%s\"%s%s" % ("  " * depth, node.getRoleName(), name, " [focus]" if focusable else "",
                                     " labelled by \"%s\"" % labels[0] if labels else ""))
        if role in NAMED_ROLES and focusable and not name.strip() and not inner:
            problems.append("%s without a name under \"%s\"" % (node.getRoleName(), node.parent.name))
    for child in node:
        if child is not None:
            walk(child, depth + 1, problems)


def main():
    app = find_app(sys.argv[1] if len(sys.argv) > 1 else "korvane", 30)
    if app is None:
        print("no application on the accessibility bus", file=sys.stderr)
        return 2
    problems = []
    for window in app:
        walk(window, 0, problems)
    for p in problems:
        print("UNNAMED: " + p)
    return 1 if problems else 0


sys.exit(main())
