# The table's windows under Wayfire: the Wayland fixture's white Qt windows,
# each window row one program holding all its windows, xlogo through
# XWayland, and X11 windows that take no focus, or that no row may list, each
# known by its title. Alphas are set and read back through Wayfire's IPC, in
# the order the tools walk: most recently focused first, and of those focused
# at once (or never) the newest.
import json
import os
import socket
import struct
import subprocess

import x11_fixture
from wayland_fixture import by_title, open_windows, start_shown, stop, until  # noqa: F401

DISPLAY_VARIABLES = ['WAYFIRE_SOCKET', 'DISPLAY']


ipc = socket.socket(socket.AF_UNIX)
ipc.connect(os.environ['WAYFIRE_SOCKET'])


def call(method, **data):
    request = json.dumps({'method': method, 'data': data}).encode()
    ipc.sendall(struct.pack('=I', len(request)) + request)
    length, reply = struct.unpack('=I', ipc.recv(4, socket.MSG_WAITALL))[0], b''
    while len(reply) < length:
        reply += ipc.recv(length - len(reply))
    return json.loads(reply)


# The table's views, topmost first.
def views():
    listed = [view for view in call('window-rules/list-views') if view['title'] in by_title and view['mapped']]
    return sorted(listed, key=lambda view: (view['last-focus-timestamp'], view['id']), reverse=True)


# Loads the plugins named, unloading the rest, once Wayfire lists the methods they bring or no more.
def plugins(names):
    call('wayfire/set-config-options', **{'core/plugins': names})
    until(lambda: ('window-rules/list-views' in call('list-methods')['methods']) == ('ipc-rules' in names))


# Turns ipc-rules off around the run, or starves the tool: on Wayfire's one CPU, where Wayfire runs first whenever
# it can, the tool reads replies only while Wayfire waits. Returns the undoing.
def disturb(tags):
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


# Wayfire lists an X11 window as soon as it is made, and now and then never maps it: one shows once among the
# table's views.
def shown(title):
    return any(view['title'] == title for view in views())


def start(rows):
    own = [row for row in rows if row['flags'].keys() & {'override', 'nofocus'}]
    for row in own:
        by_title[row['title'].decode()] = row
        start_shown(lambda: x11_fixture.create_at_once(row, 400, 400), lambda: shown(row['title'].decode()),
                    lambda window: window.destroy())
    open_windows([row for row in rows if row not in own], shown)


def reset(alphas):
    for view in views():
        alpha = int(alphas[by_title[view['title']]['name']]) / 255
        call('wf/alpha/set-view-alpha', **{'view-id': view['id'], 'alpha': alpha})
    return state()


def state():
    return [(by_title[view['title']]['name'],
             str(round(call('wf/alpha/get-view-alpha', **{'view-id': view['id']})['alpha'] * 255))) for view in views()]


# The colour at the middle of the table's window of that name.
def pixel(name):
    box = next(view['geometry'] for view in views() if by_title[view['title']]['name'] == name)
    at = '%d,%d 1x1' % (box['x'] + box['width'] // 2, box['y'] + box['height'] // 2)
    shot = subprocess.run(['grim', '-g', at, '-t', 'ppm', '-'], stdout=subprocess.PIPE, check=True)
    return tuple(shot.stdout.split(b'\n', 3)[3][:3])
