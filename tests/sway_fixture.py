# The table's windows under sway: foot clients, and xlogo through XWayland,
# started by sway itself, each known by its title. sway reports no opacity, so
# each window's alpha is read back from a screenshot: a white window over the
# blue background shows its alpha as its red, 255 when it has none of its own.
import json
import shlex
import subprocess
import time

TOLERANCE, UNLAYERED = 2, '255'
by_title = {}


def swaymsg(*args):
    return json.loads(subprocess.run(['swaymsg', '-r'] + list(args), stdout=subprocess.PIPE, check=True).stdout)


def views(node=None):
    node = node or swaymsg('-t', 'get_tree')
    found = [node] if node.get('name') in by_title else []
    for child in node.get('nodes', []) + node.get('floating_nodes', []):
        found += views(child)
    return found


def start(rows):
    for row in rows:
        cls, title = row['class'].decode(), row['title'].decode()
        by_title[title] = row
        if 'floating' in row['flags']:
            # Above the gap over the tiled windows, where only the blue background is behind it.
            swaymsg('for_window [app_id="^%s$"] "floating enable, move absolute position 0 0"' % cls)
        command = (['xlogo', '-name', cls.split('.')[0], '-title', title] if 'client' in row['flags'] else
                   ['foot', '-a', cls, '-T', title, '-o', 'colors.background=ffffff', 'sleep', '1000000'])
        swaymsg('exec ' + shlex.join(command))


def reset():
    swaymsg('; '.join('[con_id=%d] opacity %s' % (view['id'], '%.6f' % (77 / 255) if 'layered' in by_title[
        view['name']]['flags'] else '1') for view in views()))
    return state()


def state():
    time.sleep(0.1)
    shot = subprocess.run(['grim', '-t', 'ppm', '-'], stdout=subprocess.PIPE, check=True).stdout
    _, size, _, pixels = shot.split(b'\n', 3)
    width = int(size.split()[0])
    found = []
    for view in views():
        rect = view['rect']
        x, y = rect['x'] + rect['width'] // 2, rect['y'] + (8 if view['type'] == 'floating_con' else rect['height'] - 8)
        found.append((by_title[view['name']]['name'], str(pixels[(y * width + x) * 3])))
    return found


def stop():
    swaymsg('[con_id=__focused__] kill')
