# SPDX-License-Identifier: Apache-2.0
"""What a screen reader is told by the desktop program, read over AT-SPI.

Run by scripts/check-a11y inside its private X server and D-Bus session. It
walks the program the way a screen-reader user does, through the actions the
reader offers (choosing a file, pressing a button), prints what it reads of
each window and fails when a role or name is missing, or when a drive list
does not say where it stands.

Arguments: the program's home folder, which its drive list shows as "c:",
the tool (build/ombrel), whose keyed outputs the walk's must equal, and the
folder with the check's pictures (watermark.bmp, and changed.bmp: a marked
copy of the cover with a region painted over).
"""
import os
import subprocess
import sys
import time

import pyatspi

TIMEOUT = 20
# X key symbols, for keys sent through the accessibility bus.
KEY_UP, KEY_DOWN, KEY_RETURN, KEY_TAB = 0xff52, 0xff54, 0xff0d, 0xff09
KEY_SPACE, KEY_END, KEY_BACKSPACE = 0x20, 0xff57, 0xff08
faults = []


def children(acc):
    return [c for c in (acc.getChildAtIndex(i) for i in range(acc.childCount)) if c is not None]


def find(acc, test, depth=6):
    """The first object under acc (acc included) that passes test."""
    if test(acc):
        return acc
    if depth == 0:
        return None
    for child in children(acc):
        found = find(child, test, depth - 1)
        if found is not None:
            return found
    return None


def program():
    desktop = pyatspi.Registry.getDesktop(0)
    return next((a for a in children(desktop) if a.name == "ombrel-watermark"), None)


def wait(what, look):
    """Polls look() until it gives something; windows come and go meanwhile."""
    end = time.time() + TIMEOUT
    while time.time() < end:
        try:
            found = look()
        except Exception:  # an object went away while being read
            found = None
        if found:
            return found
        time.sleep(0.1)
    sys.exit(f"check-a11y: timed out waiting for {what}")


def window(name):
    app = program()
    if app is None:
        return None
    return next((w for w in children(app) if w.name == name and w.getState().contains(pyatspi.STATE_SHOWING)), None)


def named(role, name):
    return lambda a: a.getRoleName() == role and a.name == name


def act(acc, action):
    actions = acc.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if action not in names:
        sys.exit(f"check-a11y: {acc.getRoleName()} {acc.name!r} offers {names}, not {action}")
    actions.doAction(names.index(action))


def press(win, caption):
    act(wait(f"button {caption!r}", lambda: find(win, named("push button", caption))), "Press")


def choose(win, file_name):
    files = find(win, named("list", "Files"))
    act(wait(f"file {file_name!r}", lambda: find(files, lambda a: a.name == file_name, 1)), "Toggle")


def drive_list(win):
    return find(win, named("combo box", "Drive"))


def selected(acc):
    return [c.name for c in children(acc) if c.getState().contains(pyatspi.STATE_SELECTED)]


def check_drive(title, win, entry, when):
    """Notes a fault unless the drive list tells its current entry without
    being opened: as its description and as the selected entry of its list."""
    drive = drive_list(win)
    if drive is None:
        faults.append(f"{title!r} has no drive list")
        return
    picked = selected(children(drive)[0])
    print(f"{title}: drive list {when}: {drive.name!r} - {drive.description!r}, selected {picked}")
    if drive.description != entry:
        faults.append(f"{title!r}: the drive list {when} says {drive.description!r}, not {entry!r}")
    if picked != [entry]:
        faults.append(f"{title!r}: the drive list {when} has {picked} selected, not {entry!r}")


def change_drive(win, key, folder):
    """Opens the drive list, moves by one entry with the key and takes it, as
    a reader's user does; waits until the folder list has moved to folder."""
    drive = drive_list(win)
    act(drive, "ShowMenu")
    wait("the drive list to open", lambda: children(drive)[0].getState().contains(pyatspi.STATE_SHOWING))
    for keysym in (key, KEY_RETURN):
        pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)
    wait(f"the folder list to move to {folder}",
         lambda: find(win, named("list", "Folders")).description == "current folder " + folder)


def check_drive_changes(title, win, home):
    """The drive list read at start, on the root and back on the home drive."""
    home_entry = "c: [" + home + "]"
    check_drive(title, win, home_entry, "at start")
    change_drive(win, KEY_DOWN, "/")
    check_drive(title, win, "/", "after Down")
    change_drive(win, KEY_UP, home)
    check_drive(title, win, home_entry, "after Up")


def answer_ok(title):
    """Presses OK in the message box of that title."""
    box = wait(f"message box {title!r}", lambda: window(title))
    press(box, "OK")
    wait(f"message box {title!r} to close", lambda: window(title) is None)


def value(acc):
    """What a reader reads as a field's value: its text."""
    text = acc.queryText()
    return text.getText(0, text.characterCount)


def type_into(field, text):
    """Focuses a field and types into it with keys sent over the bus."""
    field.queryComponent().grabFocus()
    wait(f"{field.name!r} to take the focus", lambda: field.getState().contains(pyatspi.STATE_FOCUSED))
    pyatspi.Registry.generateKeyboardEvent(0, text, pyatspi.KEY_STRING)
    wait(f"{field.name!r} to read {text!r}", lambda: value(field).endswith(text))


def keys(*keysyms):
    for keysym in keysyms:
        pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def any_window(test):
    app = program()
    if app is None:
        return None
    return next((w for w in children(app) if test(w) and w.getState().contains(pyatspi.STATE_SHOWING)), None)


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


def same_pixels(a, b):
    from PIL import Image
    with Image.open(a) as ia, Image.open(b) as ib:
        return ia.convert("RGB").tobytes() == ib.convert("RGB").tobytes()


def key_screen(parts_extra=()):
    return check("Key and id", "dialog", [
        ("radio button", "A key file:", None), ("text", "Key file", None),
        ("push button", "Choose a key file...", None), ("push button", "Make a new key...", None),
        ("radio button", "A passphrase:", None), ("password text", "Passphrase", None),
        ("text", "The image's id:", None), ("push button", "Use this key", None),
        ("push button", "Without a key", None), ("push button", "Cancel", None)] + list(parts_extra))


def field(win, name):
    return wait(f"field {name!r}", lambda: find(win, lambda a: a.name == name and
                                                   a.getRoleName() in ("text", "password text")))


def sealed_walk(embedding, home, tool):
    """The keyed embedding and the keyed extraction, from the keyboard."""
    key_file = os.path.join(home, "a11y.key")
    sealed = os.path.join(home, "sealed.bmp")
    press(embedding, "Seal with a key...")
    key = key_screen([("password text", "The passphrase again:", None), ("push button", "Another cover...", None)])
    type_into(field(key, "The image's id:"), "a11y-1")
    type_into(field(key, "Key file"), key_file)
    for name in ("Key file", "The image's id:"):
        print(f"Key and id: {name!r} reads {value(field(key, name))!r}")
    if value(field(key, "Key file")) != key_file or value(field(key, "The image's id:")) != "a11y-1":
        faults.append("the key screen's fields do not read what was typed")
    keys(KEY_RETURN)  # Enter in a field is "Use this key"
    wait("the threshold question", lambda: window("Threshould"))
    pyatspi.Registry.generateKeyboardEvent(0, "0", pyatspi.KEY_STRING)
    keys(KEY_RETURN)
    save = wait("the save dialog", lambda: any_window(lambda w: w.getRoleName() == "dialog" and "Save" in w.name))
    print(f"save dialog: {save.name!r}")
    time.sleep(0.5)
    pyatspi.Registry.generateKeyboardEvent(0, sealed, pyatspi.KEY_STRING)
    keys(KEY_RETURN)
    done = check("Success .... ", "frame", [])
    by_tool = os.path.join(home, "tool-sealed.bmp")
    subprocess.run([tool, "embed", os.path.join(home, "cover.bmp"), os.path.join(home, "watermark.bmp"),
                    "-o", by_tool, "--key-file", key_file, "--id", "a11y-1"], check=True, capture_output=True)
    if not same_bytes(sealed, by_tool):
        faults.append("the sealed picture differs from the tool's")
    else:
        print("sealed.bmp: byte for byte the tool's keyed embed")

    press(done, "Go to Main menu")
    main_win = wait("the main window", lambda: window("Digital Image watermarking in wavelet domain"))
    choose(main_win, "sealed.bmp")
    press(main_win, "Extract the watermark from the image")
    answer_ok("Image is suitable")
    extraction = check("Extracting the watermark", "dialog", [("push button", "Extract with a key...", None)])
    press(extraction, "Extract with a key...")
    key = key_screen()
    # Extracting asks for neither a second passphrase nor a cover: a reader
    # must not meet those controls, hidden or not.
    for gone in ("The passphrase again:", "Another cover..."):
        if find(key, lambda a: a.name == gone) is not None:
            faults.append(f"the extraction's key screen still tells a reader of {gone!r}")
    print(f"Key and id, again: 'Key file' reads {value(field(key, 'Key file'))!r}")
    field(key, "The image's id:").queryComponent().grabFocus()
    keys(KEY_RETURN)
    result = check("The watermark", "frame", [])
    by_tool = os.path.join(home, "tool-extracted.bmp")
    subprocess.run([tool, "extract", sealed, "-o", by_tool, "--key-file", key_file, "--id", "a11y-1"],
                   check=True, capture_output=True)
    # The extraction writes watermark.bmp in the home folder.
    if not same_pixels(os.path.join(home, "watermark.bmp"), by_tool):
        faults.append("the keyed extraction differs from the tool's")
    else:
        print("watermark.bmp: the tool's keyed extraction")
    return result


def focused(win):
    return find(win, lambda a: a.getState().contains(pyatspi.STATE_FOCUSED), 3)


def spin_value(acc):
    return acc.queryValue().currentValue


def check_walk(result, pictures):
    """The check from the keyboard alone: the picture typed in, the watermark
    the chooser left in its field replaced, Enter to check, the verdict read
    where the focus lands, then back to the main menu."""
    press(result, "Go to main menu")
    main_title = "Digital Image watermarking in wavelet domain"
    main_win = check(main_title, "frame", [("push button", "Check the image for changes", None)])
    press(main_win, "Check the image for changes")
    title = "Check the image for changes"
    win = check(title, "frame", [
        ("text", "The picture to check", None), ("push button", "Choose the picture", None),
        ("text", "The watermark it should carry", None), ("push button", "Choose the watermark", None),
        ("spin button", "The threshold it was marked with", None),
        ("text", "Key file", None), ("push button", "Choose the key file", None),
        ("password text", "Passphrase", None), ("text", "The image's id", None),
        ("check box", "The id is the file name without its extension", None),
        ("push button", "Check", None), ("push button", "Save the map", None),
        ("push button", "Go to main menu", None), ("label", "Not checked yet", None),
        ("image", "Altered blocks in red, the altered area framed", "no picture")])
    picture, watermark = field(win, "The picture to check"), field(win, "The watermark it should carry")
    threshold = find(win, named("spin button", "The threshold it was marked with"))
    # The main window came back afresh, with nothing chosen; the watermark
    # chosen for the embedding stays for the run.
    shown = {"picture": value(picture), "watermark": value(watermark), "threshold": spin_value(threshold)}
    print(f"{title}: reads {shown}")
    if shown["picture"] != "" or not shown["watermark"].endswith("/watermark.bmp") or shown["threshold"] != 0:
        faults.append(f"{title!r} opens with {shown}")
    wait("the focus in the picture's field", lambda: picture.getState().contains(pyatspi.STATE_FOCUSED))
    type_into(picture, os.path.join(pictures, "changed.bmp"))
    watermark.queryComponent().grabFocus()
    wait("the focus in the watermark's field", lambda: watermark.getState().contains(pyatspi.STATE_FOCUSED))
    keys(KEY_END, *[KEY_BACKSPACE] * len(value(watermark)))
    wait("the watermark's field emptied", lambda: value(watermark) == "")
    type_into(watermark, os.path.join(pictures, "watermark.bmp"))
    keys(KEY_RETURN)  # Enter in a field checks
    verdict = "Altered: 400 of 11968 blocks changed, in x 560..759, y 296..423"
    said = wait("the verdict", lambda: find(win, named("label", verdict)))
    wait("the focus on the verdict", lambda: said.getState().contains(pyatspi.STATE_FOCUSED))
    print(f"{title}: the focus is on the verdict {said.name!r}")
    win = check(title, "frame", [
        ("label", "NC of the extracted watermark: 0.975597", None),
        ("image", "Altered blocks in red, the altered area framed", "changed.bmp: " + verdict)])
    keys(KEY_TAB)
    wait("the focus on 'Save the map'", lambda: (focused(win) or win).name == "Save the map")
    keys(KEY_TAB, KEY_SPACE)
    wait("the main window again", lambda: window(main_title))
    if window(title) is not None:
        faults.append(f"{title!r} still shows after 'Go to main menu'")


def dump(acc, depth=0):
    line = "  " * depth + f"{acc.getRoleName()} {acc.name!r}"
    if acc.description:
        line += f" - {acc.description}"
    print(line)
    # A list's items are content, not structure; the first few show what kind.
    kids = children(acc)
    if acc.getRoleName() == "list":
        for item in kids[:6]:
            print("  " * (depth + 1) + f"{item.getRoleName()} {item.name!r}" +
                  (f" - {item.description}" if item.description else "") +
                  (" (selected)" if item.getState().contains(pyatspi.STATE_SELECTED) else ""))
        if len(kids) > 6:
            print("  " * (depth + 1) + f"... {len(kids) - 6} more")
        return
    for child in kids:
        dump(child, depth + 1)


def check(title, role, parts):
    """Prints a window as read and notes every expected part that is missing."""
    win = wait(f"window {title!r}", lambda: window(title))
    print()
    dump(win)
    if win.getRoleName() != role:
        faults.append(f"{title!r} is a {win.getRoleName()}, not a {role}")
    for part_role, part_name, description in parts:
        part = find(win, named(part_role, part_name))
        if part is None:
            faults.append(f"{title!r} has no {part_role} {part_name!r}")
        elif description is not None and part.description != description:
            faults.append(f"{title!r}: {part_role} {part_name!r} says {part.description!r}, not {description!r}")
    return win


def main():
    home, tool, pictures = sys.argv[1], sys.argv[2], sys.argv[3]
    wait("the program on the accessibility bus", program)
    main_title = "Digital Image watermarking in wavelet domain"
    main_win = wait("the main window", lambda: window(main_title))
    check_drive_changes(main_title, main_win, home)
    choose(main_win, "cover.bmp")
    wait("the cover's preview", lambda: find(main_win, named("image", "Cover/Stego image")).description.startswith("cover.bmp"))
    browsing = [("combo box", "Drive", None), ("list", "Folders", None),
                ("list", "Files", None)]
    main_win = check(main_title, "frame", browsing + [
        ("image", "Cover/Stego image", "cover.bmp, 1024 x 768 pixels")])

    press(main_win, "About this Application")
    about = check("About Ombrel's Colored Digital Watermarking ", "dialog", [("image", "emblem", None),
                                                                         ("push button", "OK", None)])
    press(about, "OK")

    press(main_win, "Embed the watermark into the image")
    answer_ok("Image is suitable")
    chooser = wait("the watermark chooser", lambda: window("Choosing the water mark"))
    check_drive_changes("Choosing the water mark", chooser, home)
    choose(chooser, "watermark.bmp")
    wait("the watermark's preview",
         lambda: find(chooser, named("image", "The water mark image")).description.startswith("watermark.bmp"))
    chooser = check("Choosing the water mark", "frame", browsing + [
        ("image", "The cover image", "cover.bmp, 1024 x 768 pixels"),
        ("image", "The water mark image", "watermark.bmp, 512 x 512 pixels")])

    press(chooser, "Next  >>")
    answer_ok("Image is suitable")
    embedding = check("Wavelet transform and embedding", "frame", [
        ("image", "Cover image properties", "cover.bmp, 1024 x 768 pixels"),
        ("image", "Watermark image properties", "watermark.bmp, 512 x 512 pixels"),
        ("push button", "Seal with a key...", None)])
    result = sealed_walk(embedding, home, tool)
    check_walk(result, pictures)

    print()
    if faults:
        print("check-a11y: " + "\n  ".join(["faults:"] + faults))
        return 1
    print("check-a11y: 9 windows read, every role and name present, both drive lists tell their drive,"
          " both keyed paths and the check walked from the keyboard")
    return 0


if __name__ == "__main__":
    sys.exit(main())
