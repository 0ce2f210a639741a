# The table's windows under GNOME Shell: the Wayland fixture's white Qt
# windows and xlogo through Xwayland, and X11 windows the shell must not list
# (override-redirect, a dock), opened one at a time, so that each is found on
# the screen where it newly shows white: the shell places it beside the
# others, above them. Their alphas are read back from the shell's screenshots.
import os
import subprocess
import time

import gi
gi.require_version('GdkPixbuf', '2.0')
from gi.repository import GdkPixbuf, Gio, GLib
import x11_fixture
from Xlib import Xatom
from wayland_fixture import open_windows, stop, until  # noqa: F401

TOLERANCE = 1
DISPLAY_VARIABLES = ['DBUS_SESSION_BUS_ADDRESS', 'DISPLAY']
SHOT = os.path.join(os.environ['XDG_RUNTIME_DIR'], 'shot.png')
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
windows = []   # [row, a point where it shows], topmost first


def call(name, method, signature='()', *args):
    path = '/' + name.replace('.', '/')
    interface = 'org.gnome.Shell.Extensions' if name == 'org.gnome.Shell' else name
    return bus.call_sync(name, path, interface, method, GLib.Variant(signature, args), None, 0, 5000, None).unpack()


# What a person sees at each point: white over the blue background as its alpha, else the colour.
def seen():
    call('org.gnome.Shell.Screenshot', 'Screenshot', '(bbs)', False, False, SHOT)
    shot = GdkPixbuf.Pixbuf.new_from_file(SHOT)
    data, stride = shot.get_pixels(), shot.get_rowstride()

    def colour(x, y):
        red, green, blue, alpha = data[y * stride + x * 4:y * stride + x * 4 + 4]
        red, green, blue = (part * alpha // 255 for part in (red, green, blue))
        return str(red) if red == green and blue == 255 else str((red, green, blue))
    return colour


# Where the screen shows white, below the top bar, whose text is white.
def white():
    return {(x, y) for shown in [seen()] for x in range(0, 1280, 6) for y in range(48, 800, 6) if shown(x, y) == '255'}


def switch(method, on):
    call('org.gnome.Shell', method, '(s)', 'vitrel@example.org')
    until(lambda: call('org.freedesktop.DBus', 'NameHasOwner', '(s)', 'org.vitrel.Shell')[0] == on)


# A program of the session that owns the extension's name and answers the list in a shape of its own, or in
# the shape of the extension before GNOME 51, which a shell runs until its user logs in anew after an upgrade.
IMPOSTOR = ('import gi, sys; from gi.repository import Gio, GLib; bus = Gio.bus_get_sync(Gio.BusType.SESSION); '
            'info = Gio.DBusNodeInfo.new_for_xml(\'<node><interface name="org.vitrel.Shell"><method name="ListWindows">'
            '<arg type="%s" direction="out"/></method><method name="SetAlphas"><arg type="a(ty)" direction="in"/>'
            '</method></interface></node>\' % sys.argv[1]).interfaces[0]; '
            'listing = GLib.Variant.parse(GLib.VariantType("(%s)" % sys.argv[1]), '
            '"([(%s, \'vt.VtImpostor\', \'Kiwi impostor\')],)" % sys.argv[2]); '
            'bus.register_object("/org/vitrel/Shell", info, lambda *call: call[-1].return_value('
            'listing if call[4] == "ListWindows" else None), None, None); '
            'Gio.bus_own_name_on_connection(bus, "org.vitrel.Shell", 0, None, None); GLib.MainLoop().run()')
SHAPES = {'impostor': ['a(sss)', "'1'"], 'earlier': ['a(tss)', '1']}


# The X11 windows of that title, each with the root's child it is, or is in: a frame the window manager holds.
def x11_windows(title):
    return [(top, window) for top in x11_fixture.root.query_tree().children
            for window in [top] + top.query_tree().children if window.get_wm_name() == title]


# The first X11 window of the title of the table's Xwayland client: from GNOME 44 on, the frame that Mutter's
# frames client made, which carries the title.
def client():
    return x11_windows(next(row['title'].decode() for row, _ in windows if 'client' in row['flags']))[0][1]


# Takes Mutter's frame off the Xwayland window and puts it back, each time a surface new to the window.
def reframe():
    hints = x11_fixture.conn.intern_atom('_MOTIF_WM_HINTS')
    for decorated in (0, 1):
        client().change_property(hints, Xatom.CARDINAL, 32, [2, 0, decorated, 0, 0])
        x11_fixture.conn.sync()
        time.sleep(1)


# Sends the extension 1,000 alphas for ids no JavaScript number holds, and 200,000 for a window, which it
# must refuse before they hold up the shell.
def flood():
    top = call('org.vitrel.Shell', 'ListWindows')[0][0][0]
    call('org.vitrel.Shell', 'SetAlphas', '(a(ty))', [(2 ** 60 + i, 1) for i in range(1000)])
    bus.call('org.vitrel.Shell', '/org/vitrel/Shell', 'org.vitrel.Shell', 'SetAlphas',
             GLib.Variant('(a(ty))', ([(top, 1)] * 200000,)), None, 0, -1, None, None)
    time.sleep(0.3)
    return list


# Turns the extension off around the run, with another program in its place when impostor is asked, reframes
# after it, or floods the extension before it; returns its undoing. Mutter draws the first frame after an X11
# window's own opacity changed as if the window were opaque: a screenshot passes it.
def disturb(tags):
    if 'reframe' in tags:
        return reframe
    if 'flood' in tags:
        return flood()
    off, shape = tags.keys() & {'off', 'impostor', 'earlier'}, [SHAPES[tag] for tag in tags if tag in SHAPES]
    if off:
        switch('DisableExtension', False)
    impostor = subprocess.Popen(['/usr/bin/python3', '-c', IMPOSTOR] + shape[0]) if shape else None
    until(lambda: not impostor or call('org.freedesktop.DBus', 'NameHasOwner', '(s)', 'org.vitrel.Shell')[0])

    def undo():
        if impostor:
            impostor.kill()
            impostor.wait()
        if off:
            switch('EnableExtension', True)
            seen()
    return undo


# What the shell logged of ids that it could not hold.
def leftovers():
    return [line for line in open(os.environ['COMPOSITOR_LOG'], errors='replace') if 'JS Number' in line]


def start(rows):
    # The shell takes screenshots for these names' programs alone: the first until GNOME 48, the second after.
    for name in ('org.gnome.Screenshot', 'org.gnome.SettingsDaemon.MediaKeys'):
        call('org.freedesktop.DBus', 'RequestName', '(su)', name, 0)
    for row in rows:
        title, before = row['title'].decode(), white()
        if row['flags'].keys() & {'override', 'dock'}:
            # At the screen's bottom, beyond the others.
            x11_fixture.create_at_once(row, 1100, 560 + 120 * ('override' in row['flags']))
        else:
            open_windows([row])
        # Mutter 44 and later may show an X11 window before its frame, which then moves it: its area must hold
        # still, in the frame.
        shown = []
        for _ in range(100):
            time.sleep(0.1)
            shown, was = sorted(white() - before), shown
            if shown and shown == was and ('client' not in row['flags'] or
                                           any(top != window for top, window in x11_windows(title))):
                break
        assert shown, 'never shown: ' + title
        windows.insert(0, [row, shown[len(shown) // 2]])


def reset(alphas):
    # What the tools set through X11, with the extension off, on the Xwayland window's own property.
    client().delete_property(x11_fixture.OPACITY)
    x11_fixture.conn.sync()
    ids = {title: id for id, _, title, _ in call('org.vitrel.Shell', 'ListWindows')[0]}
    call('org.vitrel.Shell', 'SetAlphas', '(a(ty))', [(ids[row['title'].decode()], int(alphas[row['name']]))
                                                      for row, _ in windows if row['title'].decode() in ids])
    return state()


def state():
    return [(row['name'], colour(*point)) for colour in [seen()] for row, point in windows]

