# The table's windows under a Wayland compositor, sway or KWin: white Qt
# windows of this fixture's own, and xlogo through XWayland, each known by its
# title. sway reports no opacity, so there each window's alpha is read back
# from a screenshot: a white window over the blue background shows its alpha
# as its red, 255 when it has none of its own. KWin's opacities are set and
# read through a script of the fixture's own, whose print() lands in KWin's log.
import glob
import json
import os
import pathlib
import re
import shlex
import subprocess
import time

SWAY = 'SWAYSOCK' in os.environ
# KWin rounds an opacity to whole percents when the window's focus changes: 77 may read back as 76.
TOLERANCE, UNLAYERED = 2 if SWAY else 1, '255'
# Under sway, its socket gone while XWayland's display stays: the tools must not fall back to it.
DISPLAY_VARIABLES = ['SWAYSOCK'] if SWAY else ['DBUS_SESSION_BUS_ADDRESS', 'DISPLAY']
# Sets the opacities given by caption, then lists each window's caption and opacity, topmost first where KWin
# tells its stacking (6).
SCRIPT = ('var alphas = %s, out = [], ws = workspace.stackingOrder ? Array.from(workspace.stackingOrder).reverse() '
          ': workspace.clientList();\n'
          'for (var i = 0; i < ws.length; i++) {\n\tif (alphas[ws[i].caption] !== undefined)\n'
          '\t\tws[i].opacity = alphas[ws[i].caption];\n\tout.push([ws[i].caption, ws[i].opacity]);\n}')
# Under sway and KWin, Qt's windows: KWin 6.3 and GTK 3's keep each other busy redrawing. In the Debian
# roots, through IN_ROOT, they are Qt 6's.
IN_ROOT = os.environ['IN_ROOT'].split() if 'IN_ROOT' in os.environ else []
QT_WINDOW = ('import sys; from PyQt%d.QtWidgets import QApplication, QWidget; app = QApplication(sys.argv[:1]); '
             'app.setDesktopFileName(sys.argv[1]); window = QWidget(); window.setWindowTitle(sys.argv[2]); '
             'window.setStyleSheet("background: white"); window.show(); app.exec()') % (6 if IN_ROOT else 5)
# Elsewhere, a program's windows of one class, white or in the colour given, made ten at a time: GTK loses
# its connection to the compositor when it asks for many at once.
GTK_WINDOWS = """import sys, gi
gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk
GLib.set_prgname(sys.argv[1])
titles = [sys.argv[2]] if sys.argv[3] == "1" else [sys.argv[2] + str(i) for i in range(int(sys.argv[3]))]
css = Gtk.CssProvider()
css.load_from_data(b"*{background: %s}" % sys.argv[4].encode())
Gtk.StyleContext.add_provider_for_screen(Gdk.Screen.get_default(), css, 800)
def more():
    for title in titles[:10]:
        window = Gtk.Window(title=title, decorated=False)
        window.set_default_size(150, 90)
        window.show()
    del titles[:10]
    return bool(titles)
GLib.timeout_add(20, more)
Gtk.main()
"""
by_title, clients, held_at_start = {}, [], None
RUN = os.environ['XDG_RUNTIME_DIR']


def until(condition, seconds=5):
    """Whether condition() holds within the seconds given, asked every 50 ms."""
    for _ in range(int(seconds * 20)):
        if condition():
            return True
        time.sleep(0.05)
    return False


def swaymsg(*args):
    return json.loads(subprocess.run(['swaymsg', '-r'] + list(args), stdout=subprocess.PIPE, check=True).stdout)


def views(node=None):
    node = node or swaymsg('-t', 'get_tree')
    children = node.get('nodes', []) + node.get('floating_nodes', [])
    return [node] * (node.get('name') in by_title) + sum(map(views, children), [])


def kwin(path, method, *args):
    return subprocess.run(['dbus-send', '--session', '--print-reply', '--dest=org.kde.KWin', path, method] + list(args),
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout


def script(source):
    path, log = os.path.join(RUN, 'fixture.js'), pathlib.Path(os.environ['COMPOSITOR_LOG'])
    with open(path, 'w') as file:
        file.write(source + '\nprint("vitrel-fixture " + JSON.stringify(out));\n')
    seen = log.stat().st_size
    # A script the tool just unloaded may hold the object of the id KWin gives, until KWin drops it: load again.
    for tried in range(200):
        if tried % 40 == 0:
            unload('fixture')
            number = kwin('/Scripting', 'org.kde.kwin.Scripting.loadScript', 'string:' + path, 'string:fixture')
            for prefix in ('/Scripting/Script', '/'):
                kwin(prefix + number.split()[-1], 'org.kde.kwin.Script.run')
        printed = re.search(rb'vitrel-fixture (.*)\n', log.read_bytes()[seen:])
        if printed:
            break
        time.sleep(0.05)
    unload('fixture')
    return json.loads(printed[1])


def unload(*names):
    for name in names:
        kwin('/Scripting', 'org.kde.kwin.Scripting.unloadScript', 'string:' + name)


def scripts_held():
    """How many scripts KWin holds: the id it gives the next one loaded."""
    number = kwin('/Scripting', 'org.kde.kwin.Scripting.loadScript', 'string:' + os.devnull, 'string:fixture-count')
    unload('fixture-count')
    return int(number.split()[-1])


def leftovers():
    """Script files KWin's runs left, and scripts more than KWin held at the start, once it has dropped those
    unloaded as the run ended, which it does at its next turn."""
    files = glob.glob(os.path.join(RUN, 'vitrel-*')) + glob.glob(os.path.join(os.environ['TMPDIR'], 'vitrel-*'))
    if SWAY:
        return files
    extra = lambda: scripts_held() - held_at_start  # noqa: E731
    return files if until(lambda: extra() <= 0, 1) else files + ['%d scripts' % extra()]


def disturb(tags):
    """Nests windows deep under sway, or has another client of KWin keep five scripts but the second and third, so
    that the next two scripts get ids whose objects the last two hold. These answer the next connections to the
    bus, the tool's among them, as the tool's own script does, but without its value. Returns its undoing."""
    if 'deep' in tags:
        return nest()
    names, source = ['vitrel-%d' % i for i in range(5 * ('collide' in tags))], os.path.join(RUN, 'impostor.js')
    if names:
        listed = subprocess.run(['dbus-send', '--session', '--print-reply', '--dest=org.freedesktop.DBus',
                                 '/org/freedesktop/DBus', 'org.freedesktop.DBus.ListNames'],
                                stdout=subprocess.PIPE, text=True).stdout
        with open(source, 'w') as file:
            file.write("for (var i = 1; i <= 40; i++)\n\tcallDBus(':1.' + (%d + i), '/', 'org.vitrel.Walk', 'Done', "
                       "'not-the-token', []);\n" % max(map(int, re.findall(r'":1\.(\d+)"', listed))))
    for name in names:
        kwin('/Scripting', 'org.kde.kwin.Scripting.loadScript', 'string:' + source, 'string:' + name)
    unload(*names[1:3])
    return lambda: unload(*names[:1] + names[3:])


def nest():
    """Opens 16 windows in splits that alternate, as autotiling does, on a workspace of their own."""
    swaymsg('workspace deep')
    for i in range(16):
        swaymsg('split ' + 'hv'[i % 2])
        open_window(['/usr/bin/python3', '-c', QT_WINDOW, 'vt.Deep', 'Deep %d' % i])
        until(lambda: '"Deep %d"' % i in json.dumps(swaymsg('-t', 'get_tree')))
    swaymsg('workspace 1')
    deep = clients[-16:]
    return lambda: [client.kill() for client in deep]


def open_window(command):
    clients.append(subprocess.Popen(IN_ROOT + command, env=dict(os.environ, GDK_BACKEND='wayland', QT_QPA_PLATFORM='wayland'),
                                    stderr=subprocess.DEVNULL))


def open_windows(rows, start_x11_client, gtk=False):
    """Opens the rows' windows, those of one name in one program (GTK's, or Qt's of one window), and xlogo through
    start_x11_client(command, title) for a real program's."""
    named = {}
    for row in rows:
        by_title[row['title'].decode()] = row
        named.setdefault(row['name'].split('#')[0], []).append(row)
    for row, *more in named.values():
        cls, title = row['class'].decode(), row['title'].decode()[:-1 if more else None]
        if 'client' in row['flags']:
            start_x11_client(['xlogo', '-name', cls.split('.')[0], '-title', title], title)
        else:
            open_window(['/usr/bin/python3', '-c', GTK_WINDOWS, cls, title, str(1 + len(more)),
                         'blue' if 'blue' in row['flags'] else 'white'] if gtk else
                        ['/usr/bin/python3', '-c', QT_WINDOW, cls, title])


def start_x11_client(command, title):
    """Starts an X client through sway, whose XWayland takes the clients of sway's own user alone, from a script
    that keeps the title from the quoting of sway's commands, which differs between its releases. sway 1.12 now
    and then never shows an X client's window: such a client is started again."""
    path = os.path.join(RUN, 'client-%x' % abs(hash(title)))
    with open(path, 'w') as file:
        file.write('#!/bin/sh\necho $$ >%s.pid\nexec %s\n' % (path, shlex.join(command)))
    os.chmod(path, 0o755)
    for _ in range(3):
        swaymsg('exec ' + path)
        if until(lambda: json.dumps(title) in json.dumps(swaymsg('-t', 'get_tree'))):
            return
        os.kill(int(open(path + '.pid').read()), 15)


def start(rows):
    global held_at_start
    held_at_start = None if SWAY else scripts_held()
    for row in rows:
        if SWAY and 'floating' in row['flags']:
            # Above the gap over the tiled windows, where only the blue background is behind it.
            swaymsg('for_window [app_id="^%s$"] "floating enable, move absolute position 0 0"' % row['class'].decode())
    open_windows(rows, start_x11_client if SWAY else lambda command, title: open_window(command))


def reset():
    alphas = {title: 77 / 255 if 'layered' in row['flags'] else 1 for title, row in by_title.items()}
    if SWAY:
        swaymsg('; '.join('[con_id=%d] opacity %.6f' % (view['id'], alphas[view['name']]) for view in views()))
    return state(alphas)


def state(alphas=None):
    if not SWAY:
        listed = script(SCRIPT % json.dumps(alphas or {}))
        return [(by_title[title]['name'], str(round(opacity * 255))) for title, opacity in listed if title in by_title]
    time.sleep(0.1)
    shot = subprocess.run(['grim', '-t', 'ppm', '-'], stdout=subprocess.PIPE, check=True).stdout
    _, size, _, pixels = shot.split(b'\n', 3)
    width, found = int(size.split()[0]), []
    for view in views():
        rect = view['rect']
        x, y = rect['x'] + rect['width'] // 2, rect['y'] + (8 if view['type'] == 'floating_con' else rect['height'] - 8)
        found.append((by_title[view['name']]['name'], str(pixels[(y * width + x) * 3])))
    return found


def stop():
    for client in clients:
        client.terminate()
        client.wait()
