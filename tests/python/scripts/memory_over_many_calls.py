"""The growth of resident memory (KiB) over COUNT calls of each road of
call_roads, printed as JSON by road name.
    memory_over_many_calls.py COUNT"""

import json
import os
import sys

from call_roads import held, hold, release, roads, run

count = int(sys.argv[1])
page = os.sysconf("SC_PAGE_SIZE")


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * page


hold(held)
growth = {}
for name, call in roads:
    run(call, 3000)
    start = rss()
    run(call, count)
    growth[name] = (rss() - start) // 1024
release(held)
print(json.dumps(growth))
