# The table's windows under Wayfire: white GTK 3 Wayland windows of this
# fixture's own, each window row one program holding all its windows, and
# xlogo through XWayland, each known by its title. Alphas are set and read
# back through Wayfire's IPC, in the order the tools walk: most recently
# focused first, and of those focused at once the newest. Rows turn the
# ipc-rules plugin off around a run.
import json
import os
import socket
import struct
import subprocess
import time

IN_ROOT = os.environ['IN_ROOT'].split()
UNLAYERED = '255'
DISPLAY_VARIABLES = ['WAYFIRE_SOCKET', 'DISPLAY']
# A program's windows of one class, white or in the colour given, made ten at a time: GTK loses its
# connection to Wayfire when it asks for many at once.
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
by_title, clients = {}, []


def call(method, **data):
    with socket.socket(socket.AF_UNIX) as ipc:
        ipc.connect(os.environ['WAYFIRE_SOCKET'])
        request = json.dumps({'method': method, 'data': data}).encode()
        ipc.sendall(struct.pack('=I', len(request)) + request)
        length, reply = struct.unpack('=I', ipc.recv(4, socket.MSG_WAITALL))[0], b''
        while len(reply) < length:
            reply += ipc.recv(length - len(reply))
        return json.loads(reply)


def views():
    """The table's views, topmost first."""
    listed = [view for view in call('window-rules/list-views') if view['title'] in by_title
              and view['role'] == 'toplevel' and view['mapped']]
    return sorted(listed, key=lambda view: (view['last-focus-timestamp'], view['id']), reverse=True)


def plugins(names):
    """Loads the plugins named, unloading the rest, once Wayfire lists the methods they bring or no more."""
    call('wayfire/set-config-options', **{'core/plugins': names})
    while ('window-rules/list-views' in call('list-methods')['methods']) != ('ipc-rules' in names):
        time.sleep(0.05)


def disturb(tags):
    if 'off' not in tags:
        return list
    plugins('ipc alpha autostart')
    return lambda: plugins('ipc ipc-rules alpha autostart')


def start_x11_client(command, title):
    """Starts an X client until Wayfire shows its window, which it now and then never does."""
    for _ in range(3):
        clients.append(subprocess.Popen(command, stderr=subprocess.DEVNULL))
        for _ in range(50):
            if any(view['title'] == title for view in call('window-rules/list-views')):
                return
            time.sleep(0.1)
        clients.pop().terminate()


def start(rows):
    grouped = {}
    for row in rows:
        by_title[row['title'].decode()] = row
        grouped.setdefault(row['name'].split('#')[0], []).append(row)
    for windows in grouped.values():
        row, count = windows[0], len(windows)
        title = row['title'][:-1].decode() if count > 1 else row['title'].decode()
        if 'client' in row['flags']:
            start_x11_client(['xlogo', '-name', row['class'].decode().split('.')[0], '-title', title], title)
            continue
        command = ['/usr/bin/python3', '-c', GTK_WINDOWS, row['class'].decode(), title, str(count),
                   'blue' if 'blue' in row['flags'] else 'white']
        clients.append(subprocess.Popen(IN_ROOT + command, env=dict(os.environ, GDK_BACKEND='wayland'),
                                        stderr=subprocess.DEVNULL))


def reset():
    for view in views():
        call('wf/alpha/set-view-alpha', **{'view-id': view['id'],
                                           'alpha': 77 / 255 if 'layered' in by_title[view['title']]['flags'] else 1})
    return state()


def state():
    return [(by_title[view['title']]['name'],
             str(round(call('wf/alpha/get-view-alpha', **{'view-id': view['id']})['alpha'] * 255))) for view in views()]


def pixel(x, y):
    shot = subprocess.run(['grim', '-g', '%d,%d 1x1' % (x, y), '-t', 'ppm', '-'], stdout=subprocess.PIPE, check=True)
    return tuple(shot.stdout.split(b'\n', 3)[3][:3])


def stop():
    for client in clients:
        client.terminate()
        client.wait()
