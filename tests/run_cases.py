#!/usr/bin/python3
# Runs cases.txt against one window system, inside the session session.sh made:
#   run_cases.py SYSTEM BIN-DIR [blend]
# SYSTEM is x11, sway, sway112, kwin, kwin6, kwin67, gnome, gnome48, gnome50,
# gnome51, wayfire or win32 (the .exe tools, through $WINE); a fixture per
# window system makes and reads its windows. With blend it checks instead
# what a person sees under Wayfire.
import codecs
import collections
import os
import re
import shlex
import signal
import subprocess
import sys
import threading
import time

system, bin_dir = sys.argv[1:3]
NEWLINE = b'\r\n' if system == 'win32' else b'\n'
# Newer releases of a desktop take the table's rows of the newest one it names.
system = {'kwin67': 'kwin6', 'sway112': 'sway', 'gnome50': 'gnome48', 'gnome51': 'gnome48'}.get(system, system)
fixture = __import__({'sway': 'wayland', 'kwin': 'wayland', 'kwin6': 'wayland', 'gnome48': 'gnome'}.get(system, system)
                     + '_fixture')
TOLERANCE = getattr(fixture, 'TOLERANCE', 0)
results = [0, 0]


def check(what, got, want):
    results[got == want] += 1
    if got != want:
        print('FAILED - %s:\n  got  %.600r\n  want %.600r' % (what, got, want))


def text(word):
    return codecs.escape_decode(re.sub(r'\{(.+?)\*(\d+)\}', lambda m: m[1] * int(m[2]), word).encode())[0]


def read_table():
    windows, cases = [], []
    for line in open(os.path.join(os.path.dirname(__file__), 'cases.txt'), encoding='utf-8'):
        fields = [shlex.split(field, comments=True) for field in line.split('|')]
        if not fields[0]:
            continue
        (tool, _, tags), args = fields[0][0].rstrip(']').partition('['), fields[0][1:]
        tags = dict((tag.split('=') + [''])[:2] for tag in tags.split(',') + args[3:] * (tool == 'window') if tag)
        if (tags.keys() & {'x11', 'win32', 'sway', 'kwin', 'kwin6', 'gnome', 'gnome48', 'wayfire'} and system not in tags
                or getattr(fixture, 'skips', lambda tags: False)(tags)):
            continue
        if tool != 'window':
            cases.append((tool, tags, args, sum(fields[1:], [])))
            continue
        count = int(tags.pop('count', 1))
        windows += [{'name': args[0] + ('#%d' % i) * (count > 1), 'class': text(args[1]),
                     'title': text(args[2]) + (b'%d' % i) * (count > 1), 'flags': tags} for i in range(count)]
    return windows, cases


def run(tool, args, tags):
    command = ([os.environ['WINE'], os.path.join(bin_dir, tool + '.exe')] if system == 'win32' else
               [os.path.join(bin_dir, tool)]) + args
    for tag, redirection in (('closed', '>&-'), ('full', '>/dev/full')):
        command = ['sh', '-c', 'exec "$@" ' + redirection, 'sh'] + command if tag in tags else command
    if 'terminal' in tags:
        # Raw, and wide enough that Wine's console never wraps a line.
        command = ['script', '-qeE', 'never', '-c', 'stty raw cols 2048; exec ' + shlex.join(map(os.fsdecode, command)),
                   '/dev/null']
    gone = getattr(fixture, 'DISPLAY_VARIABLES', ['DISPLAY'])
    env = {k: v + '.gone' if k in gone and 'nodisplay' in tags else v for k, v in os.environ.items()}
    env.update((k, os.path.expandvars(v)) for k, v in tags.items() if k.isupper())
    out = subprocess.PIPE
    if 'head' in tags:
        reader, out = os.pipe()
        os.close(reader)
    command = ['timeout', '--preserve-status', '-s', 'INT', '0.5'] * ('interrupt' in tags) + command
    command = ['timeout', '-s', 'KILL', tags.get('within', '')] * ('within' in tags) + command
    undo = getattr(fixture, 'disturb', lambda tags: list)(tags)
    compositor, stopped = int(os.environ.get('COMPOSITOR_PID', 0)), tags.keys() & {'hung', 'slow'}
    if stopped:
        os.kill(compositor, signal.SIGSTOP)
    # A slow compositor goes on after 4 s, within the tools' limit; a hung one once the run has ended.
    waking = threading.Timer(4, os.kill, (compositor, signal.SIGCONT))
    if 'slow' in tags:
        waking.start()
    for _ in range(2):
        # With SIGPIPE ignored, as this script has it, a reader gone early is a failed write.
        result = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.PIPE,
                                restore_signals=False, timeout=60)
        # Wine's loader now and then dies on the way out; that failure alone is run again.
        if result.returncode != 127 or b'Inconsistency detected by ld.so' not in result.stderr:
            break
    undo()
    waking.cancel()
    if stopped:
        os.kill(compositor, signal.SIGCONT)
    if out != subprocess.PIPE:
        os.close(out)
    out = result.stdout or b''
    # Wine's console hides the cursor around each write.
    return result.returncode, re.sub(rb'\x1b\[\?25[lh]', b'', out) if system == 'win32' else out, result.stderr


def shown(value, tags):
    # As the walk hands a text on: cut to its buffer, a character cut short at its end dropped.
    value = value[:1023]
    tail = re.search(rb'[\xc0-\xff][\x80-\xbf]*\Z', value)
    value = value[:tail.start()] if tail and len(tail[0]) < 2 + (tail[0][0] >= 0xe0) + (tail[0][0] >= 0xf0) else value
    if 'terminal' in tags:
        # Controls, and each byte of no valid character, as '?'.
        value = re.sub('[\x00-\x1f\x7f-\x9f\udc80-\udcff]', '?', value.decode(errors='surrogateescape')).encode()
        # Wine's console shows a character beyond the BMP as two replacement characters.
        value = re.sub(rb'[\xf0-\xf4][\x80-\xbf]{3}', '\ufffd\ufffd'.encode(), value) if system == 'win32' else value
    return value


def check_records(what, out, windows, order, tags):
    texts = {w['name']: (shown(w['class'], tags), shown(w['title'], tags)) for w in windows}
    flags = {w['name']: w['flags'] for w in windows}
    listed = [name for name, _ in order if all(texts[name]) and 'unlisted' not in flags[name]]
    want = [(b'Window class:"%s"\nWindow name:"%s"\n\n' % texts[name]).replace(b'\n', NEWLINE) for name in listed]
    at = [out.find(record) for record in want]
    # The records missing, or when none is, whether they stand in order.
    missing = [record for record, found in zip(want, at) if found < 0]
    check(what + ': every record, in order', missing or at == sorted(at), True)
    unlisted = [b'"%s"' % (w['class'] or w['title']) for w in windows if w['name'] not in listed]
    check(what + ': no record of an unlisted window', [u for u in unlisted if u in out], [])


# What the last word of the line typed may become, by bash's, zsh's and fish's own completion of it.
def complete(typed):
    line, here = ' '.join(typed), os.path.dirname(os.path.abspath(__file__))
    env = dict(os.environ, PATH=bin_dir + ':' + os.environ['PATH'])
    shell = lambda *command: subprocess.run(command, env=env, stdout=subprocess.PIPE, text=True, timeout=20).stdout
    # COMP_WORDS as bash splits the line: at blanks and at each run of word breaks, outside quotes.
    words = re.findall(r'''(?:\\.|"[^"]*"?|'[^']*'?|[^\s"'><=;|&(:\\])+|[><=;|&(:]+''', line)
    script = ('source /usr/share/bash-completion/bash_completion; source "$1"; shift; COMP_LINE=$1 COMP_POINT=${#1}; '
              'shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _vitrel; ((${#COMPREPLY[@]})) && printf "%s\\0" "${COMPREPLY[@]}"')
    replies = shell('bash', '-c', script, 'bash', here + '/../completion/vitrel.bash', line, *words).split('\0')[:-1]
    # readline puts a reply in place of the last word, after a run of word breaks, or after a quote left open,
    # which it closes.
    last = words[-1]
    quote = last[0] if last[0] in '\'"' and last.count(last[0]) == 1 else ''
    start = len(line) - (0 if last[0] in '><=;|&(:' else len(last) - len(quote))
    lines = [line[:start] + reply + quote for reply in replies]
    found = {'bash': shell('bash', '-c', 'for line; do eval "set -- $line"; printf "%s\\0" "${@: -1}"; done', 'bash',
                           *lines).split('\0')[:-1],
             'zsh': shell('zsh', '-f', here + '/complete.zsh', here + '/../completion', line).split('\0')[:-1],
             'fish': shell('fish', '--no-config', '-c', 'source $argv[1]; complete -C $argv[2]',
                           here + '/../completion/vitrel.fish', line).splitlines()}
    return {name: sorted(values) for name, values in found.items()}


def run_cases(windows, cases):
    for tool, tags, args, expected in cases:
        what = ' '.join([tool] + sorted(tags) + args)[:120]
        if tool == 'complete':
            for shell, got in complete(args).items():
                check(what + ' in ' + shell, got, sorted(expected))
            continue
        status, err, *expected = expected
        # Every window as the table made it: layered ones at 77, the rest with no alpha of their own.
        want = {w['name']: '77' if 'layered' in w['flags'] else getattr(fixture, 'UNLAYERED', '255') for w in windows}
        before = fixture.reset(want)
        got_status, out, got_err = run(tool, [text(arg) for arg in args], tags)
        listing = expected == ['records']
        check(what + ': status, stderr and stdout', (got_status, got_err, b'' if listing else out),
              (int(status), text(err).replace(b'\n', NEWLINE), b''))
        if listing:
            check_records(what, out, windows, before, tags)
        for name, alpha in (change.split('=') for change in expected if '=' in change):
            want.update({n: alpha for n in want if n == name or n.startswith(name + '#')})
        got = dict(fixture.state())
        # Where the alpha is read back from the screen, the blend's rounding is no fault.
        wrong = {name: (got.get(name), alpha) for name, alpha in want.items() if got.get(name) != alpha and not (
            alpha.isdigit() and got.get(name, '').isdigit() and abs(int(alpha) - int(got[name])) <= TOLERANCE)}
        check(what + ': windows, each (got, want)', wrong, {})
        check(what + ': nothing left behind', getattr(fixture, 'leftovers', list)(), [])


# Until the window system shows them all: clients take their time.
def wait_shown(windows):
    want = collections.Counter(w['name'] for w in windows)
    for _ in range(300):
        shown = collections.Counter(name for name, _ in fixture.state())
        if shown == want:
            break
        time.sleep(0.1)
    check('the windows are shown: those missing, and those shown twice', (want - shown, shown - want), ({}, {}))


# A white window at 128 over the compositor's blue background, as a person sees it.
def check_blend():
    top = {'name': 'top', 'class': b'vt.top', 'title': b'Blend top', 'flags': {}}
    fixture.start([top])
    wait_shown([top])
    status = run('vitrel', [b'-class', b'top', b'-trans', b'128'], {})[0]
    # Time for the compositor to paint the change.
    time.sleep(1)
    pixel = fixture.pixel('top')
    check('the blend, within 8', (status, all(abs(a - b) <= 8 for a, b in zip(pixel, (128, 128, 255))) or pixel),
          (0, True))


if 'blend' in sys.argv:
    check_blend()
else:
    windows, cases = read_table()
    fixture.start(windows)
    wait_shown(windows)
    run_cases(windows, cases)
fixture.stop()
print('%d passed, %d failed' % (results[1], results[0]))
sys.exit(results[0] > 0)
