#!/usr/bin/python3
"""Quiltor driven by an outside AT-SPI client on a private X server, session
bus and accessibility bus: every control is named, Brush and Eraser toggle as
one choice, a slider takes a value, Export & Lock exports. Usage: QUILTOR_EXE"""
import os, shutil, subprocess, sys, tempfile, time, warnings

DEADLINE = time.monotonic() + 45  # about 5 s when all is well


def wait_for(what, probe):
    while time.monotonic() < DEADLINE:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    sys.exit("FAIL: timed out waiting for " + what)


home = tempfile.mkdtemp()
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, XDG_RUNTIME_DIR=home)
procs = []
spawn = lambda args, **kw: procs.append(subprocess.Popen(
    args, **dict(dict(env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), **kw))) or procs[-1]
try:
    r, w = os.pipe()
    spawn(["Xvfb", "-displayfd", str(w), "-nolisten", "tcp"], pass_fds=[w])
    env["DISPLAY"] = ":" + os.read(r, 32).decode().strip()
    bus = spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE)
    env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
    spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    # the buses answer before the program starts, or it announces itself to no one
    wait_for("the accessibility bus", lambda: subprocess.run(
        ["dbus-send", "--session", "--dest=org.a11y.Bus", "--print-reply", "/org/a11y/bus",
         "org.a11y.Bus.GetAddress"], env=env, capture_output=True).returncode == 0)
    os.environ.update(env)
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi
    warnings.simplefilter("ignore", DeprecationWarning)
    wait_for("the accessibility registry", lambda: Atspi.get_desktop(0).get_name())

    os.makedirs(home + "/Orvandel")
    with open(home + "/Orvandel/Quiltor.conf", "w") as conf:
        conf.write("[Settings]\nPath=%s\n" % home)
    subprocess.run(["convert", "-size", "1600x1200", "gradient:", home + "/p.png"], check=True)
    spawn([sys.argv[1], home + "/p.png"],
          env=dict(env, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))

    def walk(node):
        kids = [node.get_child_at_index(i) for i in range(node.get_child_count())]
        return [node] + [n for k in kids if k for n in walk(k)]

    desktop = Atspi.get_desktop(0)
    apps = lambda: [desktop.get_child_at_index(i) for i in range(desktop.get_child_count())]
    app = wait_for("Quiltor", lambda: next((a for a in apps() if a and a.get_child_count()
                                             and a.get_name().lower() == "quiltor"), None))
    tree = []

    def find(name, roles):
        def probe():
            tree[:] = tree or walk(app)
            hit = [n for n in tree if n.get_name() == name and n.get_role_name() in roles]
            if not hit:
                tree.clear()
            return hit and hit[0]
        return wait_for(name, probe)

    def do(node, action):
        names = [node.get_action_name(i) for i in range(node.get_n_actions())]
        node.do_action(names.index(action))

    checked = lambda n: n.get_state_set().contains(Atspi.StateType.CHECKED)
    size = find("Brush Size", ["slider"])
    unnamed = [n.get_role_name() for n in tree if not n.get_name() and n.get_role_name() in
               ("push button", "toggle button", "radio button", "check box", "slider", "text", "list")]
    if unnamed:
        sys.exit("FAIL: controls without a name: %s" % unnamed)
    tools = ["toggle button", "radio button", "check box"]
    brush, eraser = find("Brush", tools), find("Eraser", tools)
    for node, other in ((brush, eraser), (eraser, brush)):
        do(node, "Toggle")
        wait_for(node.get_name() + " alone", lambda: checked(node) and not checked(other))
    size.set_current_value(200.0)
    wait_for("Brush Size 200", lambda: size.get_current_value() == 200.0)
    do(find("Export & Lock", ["push button"]), "Press")
    wait_for("the exported slice", lambda: [f for f in os.listdir(home) if f.startswith("slice_")])
    print("PASS, %d objects" % len(tree))
finally:
    for proc in reversed(procs):  # the bus launcher ends its own bus on SIGTERM
        proc.terminate()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
    shutil.rmtree(home, ignore_errors=True)
