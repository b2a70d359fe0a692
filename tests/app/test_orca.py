#!/usr/bin/python3
"""What a blind user hears: Orca itself (Debian's orca, speech-dispatcher with
espeak-ng on a null sound device) reads the window, run inside xvfb-run and
dbus-run-session with a home of its own; Orca's debug log records every
utterance. The user hears the window's name, Tabs to the page, hears Say All
read the form in order, three lines by Down, the page's ends and the lines
Ctrl+Home and Ctrl+End land on, the new zoom after F, the page box's page and
the page that stays when its list is left with Escape, the box that waits
for a print system that never answers, the printer the print dialog offers,
and where a print to a file went.

    test_orca.py QUORVEL WORK_DIR
"""
import json, os, shutil, signal, socket, subprocess, sys, time

quorvel, work = sys.argv[1:3]
shutil.rmtree(work, ignore_errors=True)
home, runtime = f"{work}/home", f"{work}/run"
os.makedirs(f"{home}/.config/speech-dispatcher")
os.makedirs(f"{home}/.local/share/orca")
os.makedirs(runtime, mode=0o700)
env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=f"{home}/.config",
           XDG_DATA_HOME=f"{home}/.local/share", XDG_CACHE_HOME=f"{home}/.cache",
           SPEECHD_ADDRESS=f"unix_socket:{runtime}/speech-dispatcher/speechd.sock")
open(f"{home}/.asoundrc", "w").write("pcm.!default { type null }\n")
open(f"{home}/.config/speech-dispatcher/speechd.conf", "w").write(
    'AudioOutputMethod "alsa"\nDefaultModule espeak-ng\nAddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"\n')
default = ["Default", "default"]
json.dump({"general": {"keyboardLayout": 1, "orcaModifierKeys": ["Insert", "KP_Insert"], "enableSpeech": True,
                       "speechServerFactory": "speechdispatcherfactory", "enableBraille": False,
                       "enableSound": False, "enableTutorialMessages": False, "enableKeyEcho": False,
                       "enableEchoByWord": False, "enableEchoByCharacter": False, "firstStart": False,
                       "profile": default, "activeProfile": default, "startingProfile": default},
           "profiles": {"default": {"profile": default}}, "keybindings": {}, "pronunciations": {}},
          open(f"{home}/.local/share/orca/user-settings.conf", "w"))

# Orca from a launcher: its log line-buffered, so each utterance can be read
# as it comes, and no look for (or at) any other Orca on the machine.
log = f"{work}/orca.log"
launcher = f"""
import builtins, importlib.machinery, sys
real_open = builtins.open
builtins.open = lambda f, mode='r', *a, **k: real_open(f, mode, buffering=1) if f == {log!r} else real_open(f, mode, *a, **k)
sys.argv = ['orca', '--debug-file={log}']
cli = importlib.machinery.SourceFileLoader('orca_cli', '/usr/bin/orca').load_module()
cli.otherOrcas = lambda: []
cli.setProcessName = lambda name: False
sys.exit(cli.main())
"""


def spoken():
    try:
        with open(log, errors="replace") as lines:
            return [line.split("SPEECH OUTPUT: '", 1)[1].split("'{", 1)[0].strip()
                    for line in lines if "SPEECH OUTPUT: '" in line]
    except FileNotFoundError:
        return []


def quiet(settle=2.0, most=60):
    """Waits until Orca has said nothing new for `settle` seconds."""
    end, count, since = time.monotonic() + most, len(spoken()), time.monotonic()
    while time.monotonic() < end and time.monotonic() - since < settle:
        time.sleep(0.2)
        if len(spoken()) != count:
            count, since = len(spoken()), time.monotonic()


def until(condition, most=60):
    """Waits until `condition()` holds, at most `most` seconds (a loaded machine is slow)."""
    end = time.monotonic() + most
    while time.monotonic() < end and not condition():
        time.sleep(0.2)


def heard(*keys, settle=2.0):
    """What Orca says for the keys, each pressed once it has answered the one before."""
    before = len(spoken())
    for key in keys:
        count = len(spoken())
        subprocess.run(["xdotool", "key", key], check=True)
        until(lambda: len(spoken()) > count)
    quiet(settle)
    return spoken()[before:]


failures = []


def expect(what, ok, said):
    print(f"{'PASS' if ok else 'FAIL'}: {what}: {said}")
    if not ok:
        failures.append(what)


def in_order(said, wanted):
    at = 0
    for want in wanted:
        at = next((i for i in range(at, len(said)) if said[i].startswith(want)), -1)
        if at < 0:
            return False
    return True


quiet_out = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
children = [subprocess.Popen(["openbox", "--sm-disable"], env=env, **quiet_out),
            subprocess.Popen(["speech-dispatcher", "-s", "-t", "0"], env=env, **quiet_out)]
try:
    # Orca once the window manager has taken the screen (it gives the window the keyboard).
    root = ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]
    until(lambda: "window id" in subprocess.run(root, capture_output=True, text=True).stdout)
    children.append(subprocess.Popen(["/usr/bin/python3", "-c", launcher], env=env, **quiet_out))
    until(lambda: "Screen reader on." in spoken())
    quiet()
    # A print system that takes the connection and never answers, until it is closed.
    silent = socket.create_server(("127.0.0.1", 0), backlog=16)
    children.append(subprocess.Popen([quorvel], env=dict(env, QT_QPA_PLATFORM="xcb",
                                                         CUPS_SERVER=f"127.0.0.1:{silent.getsockname()[1]}")))
    until(lambda: "Quorvel frame." in spoken())
    quiet(3)
    said = spoken()
    expect("the window's name", "Quorvel frame." in said, said[-4:])
    said = heard("Tab", "shift+Tab")
    expect("Tab to the page", any(s.startswith("Travel expense report document frame") for s in said), said)
    said = heard("KP_Add", settle=3)
    expect("Say All reads the form in order", in_order(said, ["TRAVEL EXPENSE REPORT", "NAME:", "BREAKFAST",
                                                               "TOTAL EXPENSE"]), said[:4] + ["..."])
    form = set(said)  # every line of the form
    said = heard("Down", "Down", "Down")
    expect("Down three times reads three lines", len(said) == 3 and all(s in form for s in said), said)
    for key, words in (("ctrl+Home", "HALBEK INCORPORATED"), ("Up", "Top of the page"), ("ctrl+End", "APPROVED BY"),
                       ("Down", "End of the page")):
        said = heard(key)
        expect(f"{key} is heard as {words!r}", words in said, said)
    said = heard("f")
    expect("F says the new zoom", any(s.startswith("Fit page, ") and "100 %" not in s for s in said), said)
    said = heard(*["Tab"] * 6)
    expect("the page box says its page", "Page combo box." in said and "Page 1." in said, said[-3:])
    said = heard("alt+Down", "Escape")
    expect("Escape out of its list says the page that stays", "Page 1 stays chosen" in said, said)
    said = heard("Tab", "Return")
    expect("Next is named by its caption and answers on the only page",
           said[0].startswith("Next: next page push button") and "page 1 of 1: there is no next page" in said, said)
    said = heard("w")
    expect("W is heard with the focus on a button", any(s.startswith("Fit width, ") for s in said), said)
    said = heard("Tab", "ctrl+0")
    expect("Ctrl+0 is heard with the focus on Exit",
           said[0].startswith("Exit: quit push button") and "Actual size, 100 %" in said, said)
    said = heard("ctrl+Prior")
    expect("Ctrl+PgUp answers on the only page", "page 1 of 1: there is no previous page" in said, said)
    # The box that waits lives the 4 s the print system is given, which a
    # busy Orca can take to come to it: that the box told Orca its words is
    # checked in Orca's log; why nothing printed stays until it is read.
    before = len(spoken())
    subprocess.run(["xdotool", "key", "ctrl+p"], check=True)
    until(lambda: any("was not printed" in s for s in spoken()[before:]))
    with open(log, errors="replace") as lines:
        told = any("accessible-description" in line and "Asking the print system (CUPS)" in line for line in lines)
    said = spoken()[before:]
    expect("the box that waits for the print system tells its words, then why nothing printed is heard",
           told and any(s.startswith("The page was not printed") for s in said), said)
    heard("Return")
    silent.close()  # now nothing listens there: the dialog offers a file
    said = heard("ctrl+p", settle=3)
    expect("the print dialog says its printer", any("Print to File (PDF)" in s for s in said), said)
    pdf = f"{home}/Travel Expense Report.pdf"
    said = heard("Return", settle=3)
    expect("a print to a file says where it went", f"The page was saved as {pdf}" in said and os.path.exists(pdf), said)
    said = spoken()
    expect("no role or figures said twice", "Commands tool bar" in said and not any(
        "tool bar tool bar" in s or s.startswith(("Show the page", "Fit the")) and "page 1 of" in s for s in said), "")

    # At 330 pixels the overflow button is reached by Tab, and its menu names the commands.
    subprocess.run(["xdotool", "getactivewindow", "windowsize", "330", "300"], check=True)
    quiet()
    said = []
    for _ in range(8):
        said = heard("Tab")
        if said[0].startswith("More commands push button"):
            break
    expect("Tab reaches the overflow button", said[0].startswith("More commands push button"), said)
    said = heard("space")
    expect("its menu names the commands", any(s.startswith("Fit Wd: fit width") for s in said), said)
    heard("Escape")

    # Orca started after the viewer: the accessibility bus is up but off, as
    # in a session without a screen reader, and not published on the display
    # (where Qt would take it for on); Orca switches it on.
    for child in children[2:]:
        child.terminate()
        try:
            child.wait(10)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()
    del children[2:]
    subprocess.run(["xprop", "-root", "-remove", "AT_SPI_BUS"], check=True)
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                    "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                    "variant:boolean:false"], env=env, check=True, **quiet_out)
    children.append(subprocess.Popen([quorvel], env=dict(env, QT_QPA_PLATFORM="xcb")))
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Quorvel$"], check=True, timeout=60,
                   **quiet_out)
    os.replace(log, f"{work}/orca-before.log")  # what Orca said before
    # The viewer is held until Orca is ready, so that it comes on after Orca
    # looked for a window, as a busy program would.
    children[-1].send_signal(signal.SIGSTOP)
    children.append(subprocess.Popen(["/usr/bin/python3", "-c", launcher], env=env, **quiet_out))
    until(lambda: "Screen reader on." in spoken())
    quiet()
    children[-2].send_signal(signal.SIGCONT)
    until(lambda: "Quorvel frame." in spoken())
    quiet()
    said = spoken()
    expect("Orca started after the viewer hears it", "Quorvel frame." in said and any(
        s.startswith("Travel expense report document frame") for s in said), said[-4:])
finally:
    for child in reversed(children):
        child.terminate()
    for child in children:
        try:
            child.wait(5)
        except subprocess.TimeoutExpired:
            child.kill()
if failures:
    sys.exit(f"FAIL: {', '.join(failures)}; Orca's log is {log}")
