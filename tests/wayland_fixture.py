# The table's windows under a Wayland compositor, sway or KWin: white Qt
# windows of this fixture's own, and xlogo through XWayland, each known by its
# title. sway reports no opacity, so there each window's alpha is read back
# from a screenshot: a white window over the blue background shows its alpha
# as its red, 255 when it has none of its own. KWin's opacities are set and
# read through a script of the fixture's own, whose print() lands in KWin's log.
# GNOME's and Wayfire's fixtures open their windows here too.
import glob
import itertools
import json
import os
import pathlib
import re
import signal
import subprocess
import threading
import time

SWAY = 'SWAYSOCK' in os.environ
# KWin rounds an opacity to whole percents when the window's focus changes: 77 may read back as 76.
TOLERANCE = 2 if SWAY else 1
DISPLAY_VARIABLES = ['SWAYSOCK' if SWAY else 'DBUS_SESSION_BUS_ADDRESS', 'DISPLAY']
# Sets the opacities given by caption, then lists each window's caption and opacity, topmost first where KWin
# tells its stacking (6).
SCRIPT = ('var alphas = %s, out = [], ws = workspace.stackingOrder ? Array.from(workspace.stackingOrder).reverse() '
          ': workspace.clientList();\n'
          'for (var i = 0; i < ws.length; i++) {\n\tif (alphas[ws[i].caption] !== undefined)\n'
          '\t\tws[i].opacity = alphas[ws[i].caption];\n\tout.push([ws[i].caption, ws[i].opacity]);\n}')
# Every Wayland desktop's windows: a program's windows of one class, white, numbered when there are more than
# one. Qt's, since KWin 6.3 and GTK 3's keep each other busy redrawing; Qt 6's in the Debian roots, through
# IN_ROOT.
IN_ROOT = os.environ['IN_ROOT'].split() if 'IN_ROOT' in os.environ else []
WINDOWS = ('import sys; from PyQt%d.QtWidgets import QApplication, QWidget; app = QApplication(sys.argv[:1]); '
           'app.setDesktopFileName(sys.argv[1]); count = int(sys.argv[3])\n'
           'windows = [QWidget() for _ in range(count)]\nfor i, window in enumerate(windows):\n'
           '\twindow.setWindowTitle(sys.argv[2] + str(i) * (count > 1)); window.setStyleSheet("background: white"); '
           'window.resize(150, 90); window.show()\n'
           'app.exec()') % (6 if IN_ROOT else 5)
by_title, clients, held_at_start, names = {}, [], None, ('fixture-%d' % i for i in itertools.count())
RUN = os.environ['XDG_RUNTIME_DIR']


# Whether condition() holds within the seconds given, asked every 50 ms.
def until(condition, seconds=5):
    for _ in range(int(seconds * 20)):
        if condition():
            return True
        time.sleep(0.05)
    return False


def swaymsg(*args):
    return json.loads(subprocess.run(['swaymsg', '-r'] + list(args), stdout=subprocess.PIPE, check=True).stdout)


# Whether sway's tree holds a window of that title.
def sway_shows(title):
    return json.dumps(title) in json.dumps(swaymsg('-t', 'get_tree'))


def views(node=None):
    node = node or swaymsg('-t', 'get_tree')
    children = node.get('nodes', []) + node.get('floating_nodes', [])
    return [node] * (node.get('name') in by_title) + sum(map(views, children), [])


def scripting(method, *strings):
    return subprocess.run(['dbus-send', '--session', '--print-reply', '--dest=org.kde.KWin', '/Scripting',
                           'org.kde.kwin.Scripting.' + method] + ['string:' + string for string in strings],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout


# Runs the source in KWin, through Scripting.start, which runs every script loaded and not yet run: one loaded
# under a name of its own, since KWin frees an unloaded script's name only later.
def script(source):
    path, log, name = pathlib.Path(RUN, 'fixture.js'), pathlib.Path(os.environ['COMPOSITOR_LOG']), next(names)
    path.write_text(source + '\nprint("vitrel-fixture " + JSON.stringify(out));\n')
    seen = log.stat().st_size
    scripting('loadScript', str(path), name)
    scripting('start')
    until(lambda: b'vitrel-fixture ' in log.read_bytes()[seen:], 10)
    unload(name)
    return json.loads(re.search(rb'vitrel-fixture (.*)\n', log.read_bytes()[seen:])[1])


def unload(*names):
    for name in names:
        scripting('unloadScript', name)


# How many scripts KWin holds: the id it gives the next one loaded.
def scripts_held():
    number = scripting('loadScript', os.devnull, 'fixture-count')
    unload('fixture-count')
    return int(number.split()[-1])


# Script files KWin's runs left, and scripts more than KWin held at the start, once it has dropped those unloaded
# as the run ended, which it does at its next turn.
def leftovers():
    files = glob.glob(os.path.join(RUN, 'vitrel-*')) + glob.glob(os.path.join(os.environ['TMPDIR'], 'vitrel-*'))
    if SWAY or until(lambda: scripts_held() <= held_at_start, 1):
        return files
    return files + ['%d scripts' % (scripts_held() - held_at_start)]


# Nests windows deep under sway; under KWin, has another client keep five scripts but the second and third, so that
# the next two scripts get ids whose objects the last two hold, and these answer the next connections to the bus,
# the tool's among them, as the tool's own script does, but without its value; or answers for the tool's script
# from another program. Returns its undoing.
def disturb(tags):
    if 'deep' in tags:
        return nest()
    if 'eavesdrop' in tags:
        return eavesdrop()
    names, source = ['vitrel-%d' % i for i in range(5 * ('collide' in tags))], pathlib.Path(RUN, 'impostor.js')
    if names:
        listed = subprocess.run(['dbus-send', '--session', '--print-reply', '--dest=org.freedesktop.DBus',
                                 '/org/freedesktop/DBus', 'org.freedesktop.DBus.ListNames'],
                                stdout=subprocess.PIPE, text=True).stdout
        source.write_text("for (var i = 1; i <= 40; i++)\n\tcallDBus(':1.' + (%d + i), '/', 'org.vitrel.Walk', 'Done', "
                          "'not-the-token', []);\n" % max(map(int, re.findall(r'":1\.(\d+)"', listed))))
    for name in names:
        scripting('loadScript', str(source), name)
    unload(*names[1:3])
    return lambda: unload(*names[:1] + names[3:])


# A program that watches the bus, as any program of the session may, reads the token in the name of the tool's
# first script, and answers for it with a window of its own while KWin is stopped.
def eavesdrop():
    compositor = int(os.environ['COMPOSITOR_PID'])
    monitor = subprocess.Popen(['dbus-monitor', '--session', "member='loadScript'"], stdout=subprocess.PIPE, text=True)
    monitor.stdout.readline()
    os.kill(compositor, signal.SIGSTOP)

    def answer(sender=None):
        for line in monitor.stdout:
            sender = re.search(r' sender=(\S+)', line) or sender
            token = re.search(r'"vitrel-([0-9a-f]{32})-', line)
            if token:
                subprocess.run(['dbus-send', '--session', '--type=method_call', '--dest=' + sender[1], '/',
                                'org.vitrel.Walk.Done', 'string:' + token[1], 'array:string:{0},vt.Impostor,Impostor'])
                os.kill(compositor, signal.SIGCONT)
    threading.Thread(target=answer, daemon=True).start()
    return lambda: [os.kill(compositor, signal.SIGCONT), monitor.kill(), monitor.wait()]


# Opens 16 windows in splits that alternate, as autotiling does, on a workspace of their own.
def nest():
    swaymsg('workspace deep')
    for i in range(16):
        swaymsg('split ' + 'hv'[i % 2])
        open_window(['/usr/bin/python3', '-c', WINDOWS, 'vt.Deep', 'Deep %d' % i, '1'])
        until(lambda: sway_shows('Deep %d' % i))
    swaymsg('workspace 1')
    deep = clients[-16:]
    return lambda: [client.kill() for client in deep]


def open_window(command):
    clients.append(subprocess.Popen(IN_ROOT + command, env=dict(os.environ, QT_QPA_PLATFORM='wayland'),
                                    stderr=subprocess.DEVNULL))


# Opens the rows' windows, those of one name in one program, and xlogo for a real program's: again where shown(title)
# never holds, as under sway 1.12 and Wayfire now and then.
def open_windows(rows, shown=None):
    named = {}
    for row in rows:
        by_title[row['title'].decode()] = row
        named.setdefault(row['name'].split('#')[0], []).append(row)
    for row, *more in named.values():
        cls, title = row['class'].decode(), row['title'].decode()[:-1 if more else None]
        if 'client' in row['flags']:
            command = ['xlogo', '-fg', 'white', '-name', cls.split('.')[0], '-title', title]
            start_shown(lambda: open_window(command), lambda: not shown or shown(title), lambda _: clients.pop().kill())
        else:
            open_window(['/usr/bin/python3', '-c', WINDOWS, cls, title, str(1 + len(more))])


# Starts a window again where the compositor never shows it: start() makes it, shown() tells, and drop(what
# start returned) ends it.
def start_shown(start, shown, drop):
    for _ in range(3):
        started = start()
        if until(shown):
            return
        drop(started)


def start(rows):
    global held_at_start
    held_at_start = None if SWAY else scripts_held()
    for row in rows:
        if SWAY and 'floating' in row['flags']:
            # Above the gap over the tiled windows, where only the blue background is behind it.
            swaymsg('for_window [app_id="^%s$"] "floating enable, move absolute position 0 0"' % row['class'].decode())
    open_windows(rows, SWAY and sway_shows)


def reset(alphas):
    if not SWAY:
        return state({title: int(alphas[row['name']]) / 255 for title, row in by_title.items()})
    listed = views()
    swaymsg('; '.join('[con_id=%d] opacity %.6f' % (view['id'], int(alphas[by_title[view['name']]['name']]) / 255)
                      for view in listed))
    return state(listed=listed)


# KWin's windows, once it has set the opacities given by title; sway's windows listed, or all, read off the screen.
def state(alphas=None, listed=None):
    if not SWAY:
        listed = script(SCRIPT % json.dumps(alphas or {}))
        return [(by_title[title]['name'], str(round(opacity * 255))) for title, opacity in listed if title in by_title]
    time.sleep(0.1)
    shot = subprocess.run(['grim', '-t', 'ppm', '-'], stdout=subprocess.PIPE, check=True).stdout
    _, size, _, pixels = shot.split(b'\n', 3)
    width, found = int(size.split()[0]), []
    for view in listed or views():
        rect = view['rect']
        x, y = rect['x'] + rect['width'] // 2, rect['y'] + (8 if view['type'] == 'floating_con' else rect['height'] - 8)
        found.append((by_title[view['name']]['name'], str(pixels[(y * width + x) * 3])))
    return found


def stop():
    for client in clients:
        client.terminate()
        client.wait()
