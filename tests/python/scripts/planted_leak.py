"""A block malloc'ed and dropped: LeakSanitizer's check must report it
(tools/sanitize proves that way that leaks of the interpreter are seen)."""

import ctypes
import sys

libc = ctypes.CDLL(None)
libc.malloc.restype = ctypes.c_void_p
libc.malloc(4321)
sys.exit(0 if ctypes.CDLL(None).__lsan_do_recoverable_leak_check() else 1)
