# gdb -batch -nx -x interleave.py PROGRAM
#
# Qt 6.4's SQL module reads a flag, "clean-up registered", when its driver
# table is first used, and only then sets it and registers its clean-up
# routine (QSqlDatabasePrivate::driverDict), without a lock. This holds the
# first thread that reaches that read, lets the other thread run to the same
# read, if it can, and lets both read the flag before either sets it. Then it
# counts the SQL module's registrations until the program ends; a clean-up
# that registers itself again and again (more than 20 times) never lets the
# application object's end return. It prints one of:
#   SKIP <why>        this is not the Qt build the offsets below are for
#   ENDED <n>         the program ended after n registrations
#   LOOP              the application object's end does not return
# The offsets are those of Debian 12's libQt6Sql.so.6 (6.4.2+dfsg-10, amd64),
# from an exported symbol beside the function; each is checked to hold a
# compare of a byte with 0 ("cmpb $0x0,...(%rip)").
import os
import signal
import threading

import gdb

ANCHOR = "_ZN16QSqlCachedResult12virtual_hookEiPv"
FLAG_READS = (0x2C8, 0x318)
LOOP_AFTER = 20


def out(line):
    print(line, flush=True)


class Registrations(gdb.Breakpoint):
    def __init__(self, spec, first, last):
        super().__init__(spec, internal=True)
        self.first, self.last, self.count = first, last, 0

    def stop(self):
        if self.first <= int(gdb.parse_and_eval("(long)$rdi")) < self.last:
            self.count += 1
        return self.count > LOOP_AFTER


def library_range(name):
    ranges = [
        (int(line.split()[0], 16), int(line.split()[1], 16))
        for line in gdb.execute("info proc mappings", to_string=True).splitlines()
        if line.strip().endswith(name)
    ]
    return min(r[0] for r in ranges), max(r[1] for r in ranges)


def stopped_at(addresses):
    return int(gdb.parse_and_eval("(long)$pc")) in addresses


gdb.execute("set pagination off")
gdb.execute("set confirm off")
gdb.execute("break main")
try:
    gdb.execute("run")
except gdb.error as error:
    out("SKIP cannot run the program under gdb: %s" % error)
    raise SystemExit
if gdb.selected_inferior().pid == 0:
    out("SKIP the program did not stop under gdb")
    raise SystemExit
try:
    anchor = int(gdb.parse_and_eval("(long)&'%s'" % ANCHOR))
except gdb.error:
    out("SKIP no symbol %s" % ANCHOR)
    gdb.execute("kill")
    raise SystemExit
reads = [anchor + offset for offset in FLAG_READS]
memory = gdb.selected_inferior()
for address in reads:
    code = bytes(memory.read_memory(address, 7))
    if code[:2] != b"\x80\x3d" or code[6] != 0:
        out("SKIP no compare at %#x: another build of Qt" % address)
        gdb.execute("kill")
        raise SystemExit
start, end = library_range("libQt6Sql.so.6.4.2")
registrations = Registrations("*%d" % int(gdb.parse_and_eval("(long)&'_Z15qAddPostRoutinePFvvE'")),
                              start, end)
holds = [gdb.Breakpoint("*%d" % address, internal=True) for address in reads]

gdb.execute("continue")
first = gdb.selected_thread()
gdb.execute("set scheduler-locking on")
others = [t for t in memory.threads() if t.num not in (1, first.num)]
second = None
if others:
    others[0].switch()
    # A thread that waits for the first one never gets there: interrupt it.
    timer = threading.Timer(3.0, lambda: os.kill(memory.pid, signal.SIGINT))
    timer.start()
    gdb.execute("continue")
    timer.cancel()
    if stopped_at(reads):
        second = others[0]
for hold in holds:
    hold.delete()
if second:
    first.switch()
    gdb.execute("stepi")
    second.switch()
    gdb.execute("stepi")
    out("both threads have read the flag before either set it")
else:
    out("the second thread could not reach the flag while the first held it")
gdb.execute("set scheduler-locking off")
gdb.execute("continue")
if registrations.count > LOOP_AFTER:
    out("LOOP")
    gdb.execute("bt")
    gdb.execute("kill")
else:
    out("ENDED %d" % registrations.count)
