#!/usr/bin/python3
"""Quiltor from outside, as a screen reader meets it: an AT-SPI client on a
private X server, session bus and accessibility bus lists the window's tree
(every control named), toggles Brush and Eraser, sets a slider's value and
presses Export & Lock, then reads back what each did.

Usage: atspi_client.py QUILTOR_EXECUTABLE
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import warnings

START = time.monotonic()
DEADLINE = START + 45  # the whole run, servers included; ~10 s when all is well
TOOL = ("toggle button", "radio button", "check box")  # a checkable tool button
INTERACTIVE = {"push button", "toggle button", "check box", "radio button", "slider",
               "text", "entry", "list", "list box", "table", "tree"}


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def wait_for(what, probe, step=0.1):
    while time.monotonic() < DEADLINE:
        value = probe()
        if value:
            return value
        time.sleep(step)
    fail("timed out waiting for " + what)


def main():
    exe = sys.argv[1]
    home = tempfile.mkdtemp(prefix="quiltor-atspi-")
    procs = []
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config",
               XDG_DATA_HOME=home + "/data", XDG_RUNTIME_DIR=home + "/run",
               XDG_DOCUMENTS_DIR=home + "/Documents", NO_AT_BRIDGE="0")
    env.pop("QT_QPA_PLATFORM", None)
    os.makedirs(home + "/run", mode=0o700)

    def spawn(args, **kw):
        proc = subprocess.Popen(args, **dict({"env": env}, **kw))
        procs.append(proc)
        return proc

    try:
        # A private X server, session bus and accessibility bus: nothing of a
        # desktop session is needed, also not as root.
        read_end, write_end = os.pipe()
        spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x1000x24",
               "-nolisten", "tcp"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
        os.close(write_end)
        env["DISPLAY"] = ":" + os.read(read_end, 32).decode().strip()
        bus = spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
              stderr=subprocess.DEVNULL)

        # the accessibility bus and its registry answer before the program
        # starts, or it would find no one to announce itself to
        wait_for("the accessibility bus", lambda: subprocess.run(
            ["dbus-send", "--session", "--dest=org.a11y.Bus", "--print-reply", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], env=env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL).returncode == 0)
        os.environ.update(env)  # the client's own library finds the same buses
        import gi
        warnings.simplefilter("ignore", DeprecationWarning)  # the names are still served
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        wait_for("the accessibility registry", lambda: Atspi.get_desktop(0).get_name())

        slices = home + "/slices"
        os.makedirs(slices)
        os.makedirs(home + "/config/Orvandel")
        with open(home + "/config/Orvandel/Quiltor.conf", "w") as conf:
            conf.write("[Settings]\nPath=%s\n" % slices)
        picture = home + "/picture.png"
        subprocess.run(["convert", "-size", "1600x1200", "gradient:red-blue", picture],
                       check=True, env=env)
        spawn([exe, picture], stderr=subprocess.DEVNULL,
              env=dict(env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))

        def find_app():
            desktop = Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                child = desktop.get_child_at_index(i)
                if child and child.get_name().lower() == "quiltor" and child.get_child_count():
                    return child
            return None

        app = wait_for("Quiltor on the accessibility bus", find_app)

        def walk(node, out):
            out.append(node)
            for i in range(node.get_child_count()):
                child = node.get_child_at_index(i)
                if child is not None:
                    walk(child, out)
            return out

        tree = []

        def find(roles, name):
            def probe():
                for node in tree:
                    if node.get_role_name() in roles and node.get_name() == name:
                        return node
                tree[:] = walk(app, [])  # not there yet: read the tree again
                return None
            return wait_for("%s \"%s\"" % (roles, name), probe)

        def do(node, action):
            names = [node.get_action_name(i) for i in range(node.get_n_actions())]
            if action not in names:
                fail("%s \"%s\" offers %s, not %s" % (node.get_role_name(), node.get_name(),
                                                       names, action))
            node.do_action(names.index(action))

        def checked(node):
            return node.get_state_set().contains(Atspi.StateType.CHECKED)

        # the tree: every control of the panes, the view and the Output pane is named
        find(("slider",), "Brush Size")
        print("%d accessible objects" % len(tree))
        unnamed = []
        for node in tree:
            role = node.get_role_name()
            if role in INTERACTIVE and not node.get_name() and \
                    node.get_parent().get_role_name() not in ("scroll bar", "table", "list"):
                unnamed.append("%s in %s \"%s\"" % (role, node.get_parent().get_role_name(), node.get_parent().get_name()))
        if unnamed:
            fail("controls without a name: %s" % unnamed)
        names = {n.get_name() for n in tree}
        for name in ("Image view", "Mask preview", "Output", "Slice history:"):
            if name not in names:
                fail("no object named \"%s\"" % name)

        # Brush and Eraser: one choice, whichever is toggled
        brush = find(TOOL, "Brush")
        eraser = find(TOOL, "Eraser")
        for node, other in ((brush, eraser), (eraser, brush)):
            do(node, "Toggle")
            wait_for(node.get_name() + " checked alone",
                     lambda: checked(node) and not checked(other))

        # a slider's value
        size = find(("slider",), "Brush Size")
        size.set_current_value(200.0)
        wait_for("Brush Size at 200", lambda: size.get_current_value() == 200.0)

        # Export & Lock writes the slice and lists it in the history
        do(find(("push button",), "Export & Lock"), "Press")
        exported = wait_for("an exported slice", lambda: [
            f for f in os.listdir(slices) if f.startswith("slice_")])
        history = find(("list", "list box"), "Slice history:")
        wait_for("the slice in the history", lambda: any(
            n.get_name() == exported[0] for n in walk(history, [])))
        print("PASS: %s, %.1f s" % (exported[0], time.monotonic() - START))
    finally:
        for proc in reversed(procs):
            proc.terminate()
        for proc in reversed(procs):
            try:
                proc.wait(timeout=3)
            except subprocess.TimeoutExpired:
                proc.kill()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
