# The table's windows under Wine: win32_fixture.exe owns them, and this speaks its line protocol.
import itertools
import os
import subprocess

UNLAYERED = '-'   # not layered


def ask(line):
    exe.stdin.write(line + '\n')
    exe.stdin.flush()
    # A fixture that died answers with the end of its output, never "end".
    replies = itertools.takewhile(lambda reply: reply != 'end\n', iter(exe.stdout.readline, ''))
    return [tuple(reply.split()) for reply in replies]


def start(rows):
    global exe
    described = sum(([row['name'], ','.join(row['flags']), row['class'], row['title']] for row in rows), [])
    exe = subprocess.Popen([os.environ['WINE'], os.environ['WIN32_FIXTURE']] + described, text=True,
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    exe.stdout.readline()


# The alphas come in the order of the rows, as the fixture holds its windows.
def reset(alphas):
    return ask('reset ' + ' '.join(alphas.values()))


def state():
    return ask('state')


def stop():
    exe.stdin.close()
    exe.wait()
