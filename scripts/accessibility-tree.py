# Prints what a screen reader sees of the running Kelvane: every accessible object with
# its role, name, description and text, through AT-SPI. Run by scripts/accessibility-check.sh.
import pyatspi, sys, time
def walk(node, depth=0, out=None):
    try:
        role = node.getRoleName()
    except Exception:
        return
    name = node.name or ""
    desc = node.description or ""
    text = ""
    try:
        t = node.queryText()
        text = t.getText(0, -1)
    except Exception:
        pass
    states = node.getState()
    focusable = states.contains(pyatspi.STATE_FOCUSABLE)
    print("  " * depth + f"{role}: name={name!r} desc={desc!r} text={text!r}{' [focusable]' if focusable else ''}")
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), depth + 1)
desktop = pyatspi.Registry.getDesktop(0)
for _ in range(20):
    apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
    apps = [a for a in apps if a and a.name and "elvane" in a.name.lower()]
    if apps:
        break
    time.sleep(0.5)
for app in apps:
    walk(app)
