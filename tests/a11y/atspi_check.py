#!/usr/bin/python3
"""Reads the running program as a screen reader does, over the AT-SPI accessibility bus.

Finds the application of process PID, walks its main window and checks that every control
that can take focus has a name, that the selectors, the toolbar buttons and the status line
are there by name, then presses 送信 through its accessible action (no file chosen) and
checks that the message that comes up can be read. Prints what it read; exits 1 on a fault.

usage: atspi_check.py PID
"""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

TOOLBAR = ["送信", "削除", "再送信", "ﾌﾟﾚﾋﾞｭｰ", "環境設定", "終了", "ﾊﾞｰｼﾞｮﾝ", "ヘルプ"]
faults = []


def application(pid, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == pid:
                return app
        time.sleep(0.2)
    return None


def walk(node, found):
    found.append(node)
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, found)
    return found


def windows(app):
    return [app.get_child_at_index(i) for i in range(app.get_child_count())]


def check_main(frame):
    nodes = walk(frame, [])
    for n in nodes:
        states = n.get_state_set()
        if (states.contains(Atspi.StateType.FOCUSABLE) and
                states.contains(Atspi.StateType.SHOWING) and not n.get_name()):
            faults.append(f"focusable {n.get_role_name()} without a name")
    named = {(n.get_role_name(), n.get_name()) for n in nodes}
    wanted = [("tool bar", "ツールバー"), ("combo box", "送信者"), ("combo box", "送信先"),
              ("status bar", "ステータスバー"), ("status bar", "ステータス")]
    wanted += [("push button", t) for t in TOOLBAR]
    for w in wanted:
        if w not in named:
            faults.append(f"no {w[0]} named {w[1]}")
    print(f"main window: {len(nodes)} objects, "
          f"{sum(1 for n in nodes if n.get_state_set().contains(Atspi.StateType.FOCUSABLE))} "
          "focusable, all named" if not faults else "main window: faults")
    return nodes


def press(nodes, name):
    for n in nodes:
        if n.get_role_name() == "push button" and n.get_name() == name:
            for i in range(n.get_n_actions()):
                if n.get_action_name(i) in ("Press", "press", "click"):
                    # The press opens a modal message inside the call, so its reply comes only
                    # once the message is closed: what counts is that the message comes up.
                    Atspi.set_timeout(1000, 15000)
                    try:
                        n.do_action(i)
                    except GLib.Error:
                        pass
                    Atspi.set_timeout(-1, -1)
                    return True
    faults.append(f"no pressable button {name}")
    return False


def texts_of(window):
    out = []
    for n in walk(window, []):
        if n.get_name():
            out.append(n.get_name())
        text = n.get_text_iface()
        if text is not None:
            out.append(text.get_text(0, text.get_character_count()))
    return out


def main():
    pid = int(sys.argv[1])
    app = application(pid)
    if app is None:
        print("the program did not appear on the accessibility bus")
        return 1
    frames = [w for w in windows(app) if w.get_role_name() == "frame"]
    if not frames:
        print("no main window on the bus")
        return 1
    nodes = check_main(frames[0])
    before = len(windows(app))
    if press(nodes, "送信"):
        deadline = time.time() + 10
        message = None
        while time.time() < deadline and message is None:
            for w in windows(app)[before:] if len(windows(app)) > before else []:
                message = w
            time.sleep(0.2)
        if message is None:
            faults.append("pressing 送信 brought up no message")
        else:
            read = texts_of(message)
            print(f"message ({message.get_role_name()}): {' / '.join(t for t in read if t)}")
            if not any("送信ﾌｧｲﾙを再確認して下さい" in t for t in read):
                faults.append("the message's text cannot be read")
    for f in faults:
        print("FAULT:", f)
    return 1 if faults else 0


sys.exit(main())
