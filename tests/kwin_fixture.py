# The table's windows under KWin: Qt Wayland windows of this fixture's own,
# and xlogo through Xwayland. Each window's opacity is read back through a
# script of the fixture's own, whose print() lands in KWin's log.
import json
import os
import subprocess
import time

UNLAYERED = '255'
WINDOWS = '(workspace.windowList || workspace.clientList).call(workspace)'
LIST = ('var out = [], ws = %s;\nfor (var i = 0; i < ws.length; i++)\n\tout.push([ws[i].internalId.toString(), ws[i].windowId'
        ' ? ws[i].resourceName + "." + ws[i].resourceClass : ws[i].resourceClass, ws[i].caption, ws[i].opacity]);' % WINDOWS)
QT_WINDOW = '''import sys
from PyQt5.QtGui import QGuiApplication, QRasterWindow, QPainter, QColor
app = QGuiApplication(sys.argv[:1])
app.setDesktopFileName(sys.argv[1])
class Window(QRasterWindow):
    def paintEvent(self, event):
        QPainter(self).fillRect(0, 0, self.width(), self.height(), QColor('white'))
window = Window()
window.setTitle(sys.argv[2])
window.show()
app.exec_()'''
ids, clients = {}, []   # id: [name, layered]


def kwin(path, method, *args):
    return subprocess.run(['dbus-send', '--session', '--print-reply', '--dest=org.kde.KWin', path, method] + list(args),
                          stdout=subprocess.PIPE, text=True).stdout


def script(source):
    path = os.path.join(os.environ['XDG_RUNTIME_DIR'], 'fixture.js')
    with open(path, 'w') as file:
        file.write(source + '\nprint("vitrel-fixture " + JSON.stringify(out));\n')
    with open(os.environ['KWIN_LOG'], 'rb') as log:
        log.seek(0, 2)
        number = kwin('/Scripting', 'org.kde.kwin.Scripting.loadScript', 'string:' + path, 'string:fixture').split()[-1]
        kwin('/' + number, 'org.kde.kwin.Script.run')
        printed = b''
        for _ in range(200):
            printed += log.read()
            if b'vitrel-fixture ' in printed and b'\n' in printed.split(b'vitrel-fixture ', 1)[1]:
                break
            time.sleep(0.05)
    kwin('/Scripting', 'org.kde.kwin.Scripting.unloadScript', 'string:fixture')
    return json.loads(printed.split(b'vitrel-fixture ', 1)[1].split(b'\n', 1)[0])


def start(rows):
    for row in rows:
        cls, title = row['class'].decode(), row['title'].decode()
        command = (['xlogo', '-name', cls.split('.')[0], '-title', title] if 'client' in row['flags'] else
                   ['/usr/bin/python3', '-c', QT_WINDOW, cls, title])
        clients.append(subprocess.Popen(command, env=dict(os.environ, QT_QPA_PLATFORM='wayland'),
                                        stderr=subprocess.DEVNULL))
    wanted = {(s['class'].decode(), s['title'].decode()): s for s in rows}
    for _ in range(100):
        found = {(cls, title): window_id for window_id, cls, title, _ in script(LIST)}
        if wanted.keys() <= found.keys():
            ids.update({found[key]: [row['name'], 'layered' in row['flags']] for key, row in wanted.items()})
            return True
        time.sleep(0.2)
    return False


def reset():
    alphas = ', '.join("'%s': %s" % (i, 77 / 255 if layered else 1) for i, (_, layered) in ids.items())
    script('var out = 0, alphas = {%s}, ws = %s;\nfor (var i = 0; i < ws.length; i++)\n\tif (alphas[ws[i].internalId'
           '.toString()] !== undefined)\n\t\tws[i].opacity = alphas[ws[i].internalId.toString()];' % (alphas, WINDOWS))
    return state()


def state():
    return [(ids[i][0], str(round(opacity * 255))) for i, _, _, opacity in script(LIST) if i in ids]


def stop():
    for client in clients:
        client.terminate()
        client.wait()
