# The table's windows under KWin: Qt Wayland windows of this fixture's own,
# and xlogo through Xwayland, each known by its caption. Each window's opacity
# is read back through a script of the fixture's own, whose print() lands in
# KWin's log.
import json
import os
import pathlib
import re
import subprocess
import time

UNLAYERED = '255'
# Sets the opacities given by caption, then lists each window's caption and opacity.
SCRIPT = ('var alphas = %s, out = [], ws = (workspace.windowList || workspace.clientList).call(workspace);\n'
          'for (var i = 0; i < ws.length; i++) {\n\tif (alphas[ws[i].caption] !== undefined)\n'
          '\t\tws[i].opacity = alphas[ws[i].caption];\n\tout.push([ws[i].caption, ws[i].opacity]);\n}')
QT_WINDOW = ('import sys; from PyQt5.QtWidgets import QApplication, QWidget; app = QApplication(sys.argv[:1]); '
             'app.setDesktopFileName(sys.argv[1]); window = QWidget(); window.setWindowTitle(sys.argv[2]); '
             'window.show(); app.exec_()')
by_title, clients = {}, []


def kwin(path, method, *args):
    return subprocess.run(['dbus-send', '--session', '--print-reply', '--dest=org.kde.KWin', path, method] + list(args),
                          stdout=subprocess.PIPE, text=True).stdout


def script(source):
    path, log = os.path.join(os.environ['XDG_RUNTIME_DIR'], 'fixture.js'), pathlib.Path(os.environ['KWIN_LOG'])
    with open(path, 'w') as file:
        file.write(source + '\nprint("vitrel-fixture " + JSON.stringify(out));\n')
    seen = log.stat().st_size
    number = kwin('/Scripting', 'org.kde.kwin.Scripting.loadScript', 'string:' + path, 'string:fixture').split()[-1]
    kwin('/' + number, 'org.kde.kwin.Script.run')
    for _ in range(200):
        printed = re.search(rb'vitrel-fixture (.*)\n', log.read_bytes()[seen:])
        if printed:
            break
        time.sleep(0.05)
    kwin('/Scripting', 'org.kde.kwin.Scripting.unloadScript', 'string:fixture')
    return json.loads(printed[1])


def start(rows):
    for row in rows:
        cls, title = row['class'].decode(), row['title'].decode()
        by_title[title] = row
        command = (['xlogo', '-name', cls.split('.')[0], '-title', title] if 'client' in row['flags'] else
                   ['/usr/bin/python3', '-c', QT_WINDOW, cls, title])
        clients.append(subprocess.Popen(command, env=dict(os.environ, QT_QPA_PLATFORM='wayland'),
                                        stderr=subprocess.DEVNULL))


def reset():
    return state({title: 77 / 255 if 'layered' in row['flags'] else 1 for title, row in by_title.items()})


def state(alphas=None):
    listed = script(SCRIPT % json.dumps(alphas or {}))
    return [(by_title[title]['name'], str(round(opacity * 255))) for title, opacity in listed if title in by_title]


def stop():
    for client in clients:
        client.terminate()
        client.wait()
