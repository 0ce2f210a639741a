# The table's windows under Wine: win32_fixture.exe owns them, and this speaks its line protocol.
import os
import subprocess

exe = None


def ask(line):
    exe.stdin.write(line + '\n')
    exe.stdin.flush()
    answer = []
    # A fixture that died answers with the end of its output, never "end".
    while (reply := exe.stdout.readline()) not in ('end\n', ''):
        answer.append(reply.rstrip('\n'))
    return answer


def start(rows):
    global exe
    windows = ['%s:%s:x%s:x%s' % (s['name'], ''.join(f[0] for f in s['flags'] if f in ('hidden', 'layered', 'client'))
                                  or '-', s['class'].hex(), s['title'].hex()) for s in rows]
    exe = subprocess.Popen([os.environ['WINE'], os.environ['WIN32_FIXTURE']] + windows, text=True,
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    return exe.stdout.readline() == 'ready\n' and exe.stdout.readline() == 'end\n'


def reset():
    return state('reset')


def state(command='state'):
    return [tuple(line.split(' ', 1)) for line in ask(command)]


def console(args):
    first, *screen = ask('console ' + ' '.join('x' + arg.hex() for arg in args))
    status, code_page = first.split()
    return int(status) if code_page == 'kept' else 'code page changed', bytes.fromhex(''.join(screen)), b''


def stop():
    exe.stdin.close()
    exe.wait()
