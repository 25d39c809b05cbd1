#!/usr/bin/env python3
"""Copies stdin to stdout no faster than a serial line of RATE bytes a second."""
import os
import sys
import time

rate = float(sys.argv[1])
free_at = time.monotonic()  # when the line has sent everything so far
while True:
    data = os.read(0, 256)
    if not data:
        break
    free_at = max(free_at, time.monotonic()) + len(data) / rate
    delay = free_at - time.monotonic()
    if delay > 0:
        time.sleep(delay)
    os.write(1, data)
