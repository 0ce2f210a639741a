# The table's windows under sway: foot clients, and xlogo through XWayland,
# started by sway itself. sway reports no opacity, so each window's alpha is
# read back from a screenshot: a white window over the blue background shows
# its alpha as its red, 255 when it has none of its own.
import json
import shlex
import subprocess
import time

TOLERANCE, UNLAYERED = 2, '255'
windows = {}   # con_id: [name, layered]


def swaymsg(*args):
    return json.loads(subprocess.run(['swaymsg', '-r'] + list(args), stdout=subprocess.PIPE, check=True).stdout)


def views(node=None):
    node = node or swaymsg('-t', 'get_tree')
    found = [node] if 'shell' in node else []
    for child in node.get('nodes', []) + node.get('floating_nodes', []):
        found += views(child)
    return found


def texts(view):
    properties = view.get('window_properties') or {}
    return view.get('app_id') or '%s.%s' % (properties.get('instance'), properties.get('class')), view.get('name')


def start(rows):
    for row in rows:
        cls, title = row['class'].decode(), row['title'].decode()
        command = (['xlogo', '-name', cls.split('.')[0], '-title', title] if 'client' in row['flags'] else
                   ['foot', '-a', cls, '-T', title, '-o', 'colors.background=ffffff', 'sleep', '1000000'])
        swaymsg('exec ' + shlex.join(command))
    wanted = {(s['class'].decode(), s['title'].decode()): s for s in rows}
    for _ in range(300):
        found = {texts(view): view['id'] for view in views()}
        if wanted.keys() <= found.keys():
            windows.update({found[key]: [row['name'], 'layered' in row['flags']] for key, row in wanted.items()})
            # Above the gap over the tiled windows, where only the blue background is behind it.
            swaymsg('; '.join('[con_id=%d] floating enable, move absolute position 0 0' % found[key]
                              for key, row in wanted.items() if 'floating' in row['flags']))
            return True
        time.sleep(0.1)
    return False


def reset():
    swaymsg('; '.join('[con_id=%d] opacity %s' % (con_id, '%.6f' % (77 / 255) if layered else '1')
                      for con_id, (_, layered) in windows.items()))
    return state()


def state():
    time.sleep(0.1)
    shot = subprocess.run(['grim', '-t', 'ppm', '-'], stdout=subprocess.PIPE, check=True).stdout
    _, size, _, pixels = shot.split(b'\n', 3)
    width = int(size.split()[0])
    found = []
    for view in views():
        if view['id'] in windows:
            rect = view['rect']
            x, y = rect['x'] + rect['width'] // 2, rect['y'] + (8 if view['type'] == 'floating_con' else rect['height'] - 8)
            found.append((windows[view['id']][0], str(pixels[(y * width + x) * 3])))
    return found


def stop():
    swaymsg('[con_id=__focused__] kill')
