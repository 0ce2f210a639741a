# The table's windows under GNOME Shell: undecorated white GTK 3 windows of
# this fixture's own and xlogo through Xwayland, opened one at a time, so that
# each is found on the screen where it newly shows white: the shell places it
# beside the others, above them. Their alphas are read back from the shell's
# screenshots.
import os
import subprocess
import time

import gi
gi.require_version('GdkPixbuf', '2.0')
from gi.repository import GdkPixbuf, Gio, GLib

TOLERANCE, UNLAYERED = 1, '255'
DISPLAY_VARIABLES = ['DBUS_SESSION_BUS_ADDRESS', 'DISPLAY']
IN_ROOT = os.environ['IN_ROOT'].split() if 'IN_ROOT' in os.environ else []
GTK_WINDOW = ('import sys, gi; gi.require_version("Gtk", "3.0"); from gi.repository import GLib, Gtk; '
              'GLib.set_prgname(sys.argv[1]); window = Gtk.Window(title=sys.argv[2]); window.set_decorated(False); '
              'window.set_default_size(150, 90); css = Gtk.CssProvider(); '
              'css.load_from_data(b"window {background: white}"); '
              'Gtk.StyleContext.add_provider_for_screen(window.get_screen(), css, 800); window.show(); Gtk.main()')
SHOT = os.path.join(os.environ['XDG_RUNTIME_DIR'], 'shot.png')
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
windows, clients = [], []   # [row, a point where it shows], topmost first


def call(name, method, signature='()', *args):
    path = '/' + name.replace('.', '/')
    interface = 'org.gnome.Shell.Extensions' if name == 'org.gnome.Shell' else name
    return bus.call_sync(name, path, interface, method, GLib.Variant(signature, args), None, 0, 5000, None).unpack()


def seen():
    """What a person sees at each point of the screen: white over the blue background shows as its alpha, the red
    and green it has; any other colour, such as white over a background left undrawn, as the colour."""
    call('org.gnome.Shell.Screenshot', 'Screenshot', '(bbs)', False, False, SHOT)
    shot = GdkPixbuf.Pixbuf.new_from_file(SHOT)
    data, stride = shot.get_pixels(), shot.get_rowstride()

    def colour(x, y):
        red, green, blue, alpha = data[y * stride + x * 4:y * stride + x * 4 + 4]
        red, green, blue = (part * alpha // 255 for part in (red, green, blue))
        return str(red) if red == green and blue == 255 else str((red, green, blue))
    return colour


def white():
    colour = seen()
    # Below the top bar, whose text is white.
    return {(x, y) for x in range(0, 1280, 6) for y in range(48, 800, 6) if colour(x, y) == '255'}


def switch(method, on):
    call('org.gnome.Shell', method, '(s)', 'vitrel@example.org')
    while call('org.freedesktop.DBus', 'NameHasOwner', '(s)', 'org.vitrel.Shell')[0] != on:
        time.sleep(0.05)


def disturb(tags):
    """Turns the extension off around the run; returns its undoing."""
    if 'off' not in tags:
        return list
    switch('DisableExtension', False)
    return lambda: switch('EnableExtension', True)


def start(rows):
    # The shell takes screenshots for this name's program alone.
    call('org.freedesktop.DBus', 'RequestName', '(su)', 'org.gnome.Screenshot', 0)
    for row in rows:
        cls, title, before = row['class'].decode(), row['title'].decode(), white()
        command = (['xlogo', '-fg', 'white', '-name', cls.split('.')[0], '-title', title] if 'client' in row['flags']
                   else ['/usr/bin/python3', '-c', GTK_WINDOW, cls, title])
        clients.append(subprocess.Popen(IN_ROOT + command, env=dict(os.environ, GDK_BACKEND='wayland'),
                                        stderr=subprocess.DEVNULL))
        for _ in range(100):
            time.sleep(0.1)
            shown = sorted(white() - before)
            if shown:
                break
        assert shown, 'never shown: ' + title
        windows.insert(0, [row, shown[len(shown) // 2]])


def reset():
    # What the tools set through X11, on an Xwayland window's own property.
    for row, _ in windows:
        if 'client' in row['flags']:
            subprocess.run(['xprop', '-name', row['title'], '-remove', '_NET_WM_WINDOW_OPACITY'], check=True)
    ids = {title: id for id, _, title in call('org.vitrel.Shell', 'ListWindows')[0]}
    alphas = [(ids[row['title'].decode()], 77 if 'layered' in row['flags'] else 255) for row, _ in windows]
    call('org.vitrel.Shell', 'SetAlphas', '(a(ty))', alphas)
    return state()


def state():
    colour = seen()
    return [(row['name'], colour(*point)) for row, point in windows]


def stop():
    for client in clients:
        client.terminate()
        client.wait()
