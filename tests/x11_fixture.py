# The table's windows on an X display, each an X client's window of this
# fixture's own, so that it can show what no program shows at will: no
# class, no title, never mapped, in frames of its own, titles in each X
# text encoding. Without a window manager the fixture holds the screen as
# one, with a client list that places two clients in one frame (tabs). The
# opacity must land on client and frame alike. Under the Wayland desktops,
# their fixtures make here the X11 windows a program may show: override-
# redirect, a dock, or one that takes no focus.
from Xlib import X, Xatom, Xutil, display

conn = display.Display()
root = conn.screen().root
OPACITY, NET_WM_NAME, UTF8, CTEXT, WM_STATE, CHECK, CLIENT_LIST, TYPE, DOCK = (conn.intern_atom(name) for name in (
    '_NET_WM_WINDOW_OPACITY', '_NET_WM_NAME', 'UTF8_STRING', 'COMPOUND_TEXT', 'WM_STATE', '_NET_SUPPORTING_WM_CHECK',
    '_NET_CLIENT_LIST', '_NET_WM_WINDOW_TYPE', '_NET_WM_WINDOW_TYPE_DOCK'))
managed = root.get_full_property(CHECK, X.AnyPropertyType)   # by a real window manager
UNLAYERED = '-'   # no opacity of its own
windows, settled, frames, wm = [], {}, {}, {}   # [name, client, flags]; a client's frame once it stays


def frame_of(window):
    parent = window.query_tree().parent
    return window if parent == root or parent.id == X.NONE else frame_of(parent)


# A real window manager lists its own clients alone.
def skips(flags):
    return managed and flags.get('frame') == 'tabs'


def new_frame(kind):
    # Override-redirect, so that no window manager frames the frame; the clients come after a full batch of
    # siblings, or after a title bar.
    frame = root.create_window(0, 0, 220, 150, 0, X.CopyFromParent, override_redirect=1)
    for _ in range({'deep': 256, 'wide': 256, 'title': 1}.get(kind, 0)):
        frame.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    frame.map()
    return frame


def create(row, x=5, y=15):
    flags, title, parent = row['flags'], row['title'], root
    if 'frame' in flags:
        kind = flags['frame']
        parent = frames[kind] if kind == 'tabs' and kind in frames else new_frame(kind)
        frames[kind] = parent
        for _ in range(7 if kind == 'deep' else 0):
            parent = parent.create_window(0, 0, 220, 150, 0, X.CopyFromParent)
    window = parent.create_window(x, y, 200, 120, 0, X.CopyFromParent, override_redirect='override' in flags,
                                  background_pixel=conn.screen().white_pixel)
    if 'nofocus' in flags:
        window.set_wm_hints(flags=Xutil.InputHint, input=0)
    if 'dock' in flags:
        window.change_property(TYPE, Xatom.ATOM, 32, [DOCK])
    # A window manager's mark of a client, which a frame's children lack.
    window.change_property(WM_STATE, WM_STATE, 32, [1, 0])
    if 'inner' in flags:
        wm.setdefault('inner', []).append(window.create_window(0, 0, 1, 1, 0, X.CopyFromParent).id)
    if row['class']:
        window.change_property(Xatom.WM_CLASS, Xatom.STRING, 8, row['class'].replace(b'.', b'\0', 1) + b'\0')
    mode = flags.get('title')
    if mode == 'latin1':
        properties = [(Xatom.WM_NAME, Xatom.STRING, title.decode().encode('latin-1'))]
    elif mode == 'wm':
        properties = [(NET_WM_NAME, UTF8, b''), (Xatom.WM_NAME, Xatom.STRING, title)]
    elif mode:
        properties = [(Xatom.WM_NAME, CTEXT, bytes.fromhex(mode))]
    else:
        properties = [(NET_WM_NAME, UTF8, title), (Xatom.WM_NAME, Xatom.STRING, b'ascii')] if title else []
    for name, kind, value in properties:
        window.change_property(name, kind, 8, value)
    if 'hidden' not in flags:
        window.map()
    return window


# A window as create() makes it, that the server has taken at once: for a compositor to show.
def create_at_once(row, x, y):
    window = create(row, x, y)
    conn.sync()
    return window


# Names the running window manager's check window on the root, and its clients.
def hold_screen(check, clients):
    for name, value in ((CHECK, [check]), (CLIENT_LIST, clients)):
        root.change_property(name, Xatom.WINDOW, 32, value)


def start(rows):
    if not managed:
        # Frames are a window manager's: hold the screen as one does, or the walk rightly looks below no window.
        root.change_attributes(event_mask=X.SubstructureRedirectMask)
        check = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent, override_redirect=1)
        check.change_property(CHECK, Xatom.WINDOW, 32, [check.id])
    windows.extend([row['name'], create(row), row['flags']] for row in rows)
    for _, client, flags in windows:
        if 'raised' in flags:
            client.configure(stack_mode=X.Above)
    if not managed:
        wm['list'] = check.id, [client.id for _, client, flags in windows if flags.get('frame') == 'tabs']
        hold_screen(*wm['list'])
    conn.sync()


# As a crashed window manager leaves the screen: its check window gone but still named on the root, and a client
# list that names a window inside a client, whose id the server has since given to another program. Returns its
# undoing.
def disturb(tags):
    if 'stale' not in tags or managed:
        return list
    gone = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    gone.destroy()
    hold_screen(gone.id, wm['inner'])
    conn.sync()
    return lambda: (hold_screen(*wm['list']), conn.sync())


def reset(alphas):
    for name, client, _ in windows:
        for window in {client, settled[client.id]}:
            if alphas[name].isdigit():
                window.change_property(OPACITY, Xatom.CARDINAL, 32, [int(alphas[name]) * 0x01010101])
            else:
                window.delete_property(OPACITY)
    return state()


def state():
    def alpha(window):
        value = window.get_full_property(OPACITY, Xatom.CARDINAL)
        return str(value.value[0] // 0x01010101) if value else '-'
    framed = [(name, client, settled.get(client.id) or frame_of(client), flags) for name, client, flags in windows]
    order = [child.id for child in reversed(root.query_tree().children)]
    found = []
    # Under a window manager, a window it shows counts once it is framed.
    for name, client, frame, flags in framed:
        if frame.id in order and (frame != client or not managed or 'hidden' in flags):
            settled[client.id] = frame
            # Tabs share their frame, topmost first: each shows its own alpha on its client.
            tabs = flags.get('frame') == 'tabs'
            stacked = [child.id for child in frame.query_tree().children].index(client.id) if tabs else 0
            shown = alpha(client), alpha(client if tabs else frame)
            shown = shown[0] if shown[0] == shown[1] else '%s on client, %s on frame' % shown
            found.append((order.index(frame.id), -stacked, name, shown))
    return [(name, alpha) for _, _, name, alpha in sorted(found)]


stop = conn.close
