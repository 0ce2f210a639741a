#!/usr/bin/python3
# Times a walk over N windows under sway, Wayfire, KWin or GNOME, inside the
# session that tools/session.sh made: winlist, and vitrel changing one window
# in ten, and under sway what a script does with sway's own client, swaymsg -t
# get_tree then one swaymsg change; under Wayfire, one plain call that lists
# the views (wayfire_list); under GNOME, the extension's list through gdbus.
# Prints the median wall time of 21 runs and the peak memory of each command,
# and how many runs failed. Given x11, the windows are XWayland's (Qt's xcb
# platform) under GNOME.
#   wayland_bench.py sway|wayfire|kwin|kwin6|gnome|gnome48|gnome50|gnome51 BIN-DIR N [x11]
import json
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'tests'))
system, bin_dir, count, platform = sys.argv[1], sys.argv[2], int(sys.argv[3]), (sys.argv[4:] or ['wayland'])[0]
from wayland_fixture import IN_ROOT, WINDOWS
platform = {'x11': 'xcb'}.get(platform, platform)
# Under Wayfire, two programs of many windows each: one in ten of them matches.
for app_id, windows in (('bench.Match', count // 10), ('bench.Bench', count - count // 10)) * (system == 'wayfire'):
    subprocess.Popen(IN_ROOT + ['/usr/bin/python3', '-c', WINDOWS, app_id, 'bench window ', str(windows)],
                     env=dict(os.environ, QT_QPA_PLATFORM='wayland'), stderr=subprocess.DEVNULL)
for i in range(count * (system != 'wayfire')):
    app_id = 'bench.Match' if i % 10 == 0 else 'bench.Bench'
    if system == 'sway':
        subprocess.run(['swaymsg', 'exec', 'foot -a %s -T "bench window %d" sleep 100000' % (app_id, i)],
                       stdout=subprocess.DEVNULL)
    else:
        subprocess.Popen(IN_ROOT + ['/usr/bin/python3', '-c', WINDOWS, app_id, 'bench window %d' % i, '1'],
                         env=dict(os.environ, QT_QPA_PLATFORM=platform), stderr=subprocess.DEVNULL)


def listed():
    out = subprocess.run([os.path.join(bin_dir, 'winlist')], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         text=True).stdout
    return out.count('Window class:"bench.')


# Wayfire lists no more than some 350 views: past that, the windows are given 20 s.
for _ in range(600 if system != 'wayfire' or count < 300 else 200):
    if listed() >= count:
        break
    time.sleep(0.1)


def measure(command):
    times, failed = [], 0
    for _ in range(21):
        start = time.perf_counter()
        failed += subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0
        times.append((time.perf_counter() - start) * 1000)
    # A child of this script would count the copy of it it starts as; GNU time is small.
    peak = subprocess.run(['/usr/bin/time', '-f', '%M'] + command, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True).stderr.split()[-1]
    return statistics.median(times), int(peak), failed


commands = [('winlist', [os.path.join(bin_dir, 'winlist')]),
            ('vitrel -class Match -trans 200', [os.path.join(bin_dir, 'vitrel'), '-class', 'Match', '-trans', '200'])]
if system == 'sway':
    tree = json.loads(subprocess.run(['swaymsg', '-r', '-t', 'get_tree'], stdout=subprocess.PIPE).stdout)
    first = next(node['id'] for node in tree['nodes'][-1]['nodes'][0]['nodes'])
    commands += [('swaymsg -t get_tree', ['swaymsg', '-t', 'get_tree']),
                 ('swaymsg -t get_tree; swaymsg [con_id] opacity',
                  ['sh', '-c', 'swaymsg -t get_tree >/dev/null && swaymsg "[con_id=%d] opacity 0.784314"' % first])]
if system == 'wayfire':
    commands += [('wayfire_list (one list-views call)', [os.path.join(bin_dir, 'wayfire_list')])]
if system.startswith('gnome'):
    commands += [('gdbus call ...ListWindows', ['gdbus', 'call', '--session', '--dest', 'org.vitrel.Shell',
                                                '--object-path', '/org/vitrel/Shell', '--method',
                                                'org.vitrel.Shell.ListWindows'])]
print('%-8s %-46s %10s %10s %7s' % ('windows', 'command (under %s)' % system, 'median ms', 'peak KiB', 'failed'))
for name, command in commands:
    median, peak, failed = measure(command)
    print('%-8d %-46s %10.2f %10d %4d/21' % (count, name, median, peak, failed))
