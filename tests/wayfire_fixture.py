# The table's windows under Wayfire: white GTK 3 Wayland windows of this
# fixture's own, each window row one program holding all its windows, and
# xlogo through XWayland, each known by its title. Alphas are set and read
# back through Wayfire's IPC, in the order the tools walk: most recently
# focused first, and of those focused at once (or never) the newest; and X11
# windows of its own that take no focus, or that no row may list.
import json
import os
import socket
import struct
import subprocess

from Xlib import X, Xatom, Xutil, display

from wayland_fixture import by_title, clients, open_windows, stop, until  # noqa: F401

UNLAYERED = '255'
DISPLAY_VARIABLES = ['WAYFIRE_SOCKET', 'DISPLAY']
x11 = []


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
    listed = [view for view in call('window-rules/list-views') if view['title'] in by_title and view['mapped']]
    return sorted(listed, key=lambda view: (view['last-focus-timestamp'], view['id']), reverse=True)


def plugins(names):
    """Loads the plugins named, unloading the rest, once Wayfire lists the methods they bring or no more."""
    call('wayfire/set-config-options', **{'core/plugins': names})
    until(lambda: ('window-rules/list-views' in call('list-methods')['methods']) == ('ipc-rules' in names))


def disturb(tags):
    """Turns ipc-rules off around the run, or starves the tool: on Wayfire's one CPU, where Wayfire runs first
    whenever it can, the tool reads replies only while Wayfire waits. Returns the undoing."""
    if 'off' in tags:
        plugins('ipc alpha autostart')
        return lambda: plugins('ipc ipc-rules alpha autostart')
    if 'starved' in tags:
        compositor, cpus = int(os.environ['COMPOSITOR_PID']), os.sched_getaffinity(0)
        for pid in (compositor, 0):
            os.sched_setaffinity(pid, {min(cpus)})
        os.sched_setscheduler(compositor, os.SCHED_FIFO, os.sched_param(1))
        return lambda: [os.sched_setscheduler(compositor, os.SCHED_OTHER, os.sched_param(0))] + [
            os.sched_setaffinity(pid, cpus) for pid in (compositor, 0)]
    return list


def shown(title):
    """Whether Wayfire shows a window of the title within 5 s; an X client's it now and then never does."""
    return until(lambda: any(view['title'] == title for view in call('window-rules/list-views')))


def start_x11_client(command, title):
    for _ in range(3):
        clients.append(subprocess.Popen(command, stderr=subprocess.DEVNULL))
        if shown(title):
            return
        clients.pop().terminate()


def x11_window(row):
    """Opens an X11 window of the fixture's own: override-redirect, which Wayfire lists among its views but as no
    top-level one, or one that takes no focus, which Wayfire never focuses."""
    x11[:] = x11 or [display.Display()]
    screen = x11[0].screen()
    for _ in range(3):
        window = screen.root.create_window(400, 400, 150, 90, 0, X.CopyFromParent, background_pixel=screen.white_pixel,
                                           override_redirect='override' in row['flags'])
        window.set_wm_hints(flags=Xutil.InputHint, input=0)
        window.change_property(Xatom.WM_CLASS, Xatom.STRING, 8, row['class'].replace(b'.', b'\0', 1) + b'\0')
        window.change_property(Xatom.WM_NAME, Xatom.STRING, 8, row['title'])
        window.map()
        x11[0].sync()
        if shown(row['title'].decode()):
            return
        window.destroy()


def start(rows):
    own = [row for row in rows if row['flags'].keys() & {'override', 'nofocus'}]
    for row in own:
        by_title[row['title'].decode()] = row
        x11_window(row)
    open_windows([row for row in rows if row not in own], start_x11_client, gtk=True)


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


