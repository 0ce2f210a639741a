#!/usr/bin/python3
# Times a walk over N windows under sway (50 unless given): winlist, and vitrel
# changing one window in ten, against what a script does with sway's own
# client: swaymsg -t get_tree, then one swaymsg change. Prints the median wall
# time of 21 runs and the peak memory of each command.
#   sway_bench.py BIN-DIR [N]
import json
import os
import statistics
import subprocess
import sys
import time

bin_dir, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 50
for i in range(count):
    subprocess.run(['swaymsg', 'exec', 'foot -a bench.Bench%s -T "bench window %d" sleep 100000'
                    % (' -a bench.Match' if i % 10 == 0 else '', i)], stdout=subprocess.DEVNULL)


def views(node):
    return ([node] if 'shell' in node else []) + [v for key in ('nodes', 'floating_nodes')
                                                  for child in node.get(key, []) for v in views(child)]


for _ in range(600):
    tree = json.loads(subprocess.run(['swaymsg', '-r', '-t', 'get_tree'], stdout=subprocess.PIPE).stdout)
    shown = [v for v in views(tree) if (v.get('app_id') or '').startswith('bench.')]
    if len(shown) >= count:
        break
    time.sleep(0.1)
first = shown[0]['id']


def measure(command):
    times = []
    for _ in range(21):
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
        times.append((time.perf_counter() - start) * 1000)
    # A child of this script would count the copy of it it starts as; GNU time is small.
    peak = subprocess.run(['/usr/bin/time', '-f', '%M'] + command, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True).stderr.split()[-1]
    return statistics.median(times), int(peak)


print('%-8s %-46s %10s %10s' % ('windows', 'command (under headless sway)', 'median ms', 'peak KiB'))
for name, command in (
        ('winlist', [os.path.join(bin_dir, 'winlist')]),
        ('vitrel -class Match -trans 200', [os.path.join(bin_dir, 'vitrel'), '-class', 'Match', '-trans', '200']),
        ('swaymsg -t get_tree', ['swaymsg', '-t', 'get_tree']),
        ('swaymsg -t get_tree; swaymsg [con_id] opacity', ['sh', '-c', 'swaymsg -t get_tree >/dev/null && '
                                                          'swaymsg "[con_id=%d] opacity 0.784314"' % first])):
    median, peak = measure(command)
    print('%-8d %-46s %10.2f %10d' % (len(shown), name, median, peak))
