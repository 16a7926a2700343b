# gdb -batch -nx -x interleave.py PROGRAM
#
# Qt 6.4's QSqlDatabasePrivate::driverDict() reads its flag "clean-up
# registered", then sets it and registers its clean-up routine, unlocked
# (docs/qt-sql-exit-loop.md). This holds the first thread at that read, runs
# the other there too if it can, lets both read the flag unset, and counts
# the SQL module's registrations. Prints "SKIP <why>", "ENDED <registrations>",
# or "LOOP" (more than 20: the application object's end never returns).
# Offsets: Debian 12's libQt6Sql.so.6 6.4.2+dfsg-10 (amd64), from an exported
# symbol; each must hold "cmpb $0x0,...(%rip)".
import os
import signal
import threading

import gdb


def out(line):
    print(line, flush=True)


def address(symbol):
    return int(gdb.parse_and_eval("(long)&'%s'" % symbol))


class Registrations(gdb.Breakpoint):
    def __init__(self, low, high):
        super().__init__("*%d" % address("_Z15qAddPostRoutinePFvvE"), internal=True)
        self.low, self.high, self.count = low, high, 0

    def stop(self):
        self.count += self.low <= int(gdb.parse_and_eval("(long)$rdi")) < self.high
        return self.count > 20


gdb.execute("set pagination off")
gdb.execute("break main")
try:
    gdb.execute("run")
    anchor = address("_ZN16QSqlCachedResult12virtual_hookEiPv")
except gdb.error as error:
    out("SKIP %s" % error)
    raise SystemExit
inferior = gdb.selected_inferior()
reads = [anchor + 0x2C8, anchor + 0x318]
def compares_with_zero(a):
    code = bytes(inferior.read_memory(a, 7))
    return code[:2] == b"\x80\x3d" and code[6] == 0


if not all(compares_with_zero(a) for a in reads):
    out("SKIP another build of Qt")
    gdb.execute("kill")
    raise SystemExit
sql = [line.split() for line in gdb.execute("info proc mappings", to_string=True).splitlines()
       if line.strip().endswith("libQt6Sql.so.6.4.2")]
registrations = Registrations(int(sql[0][0], 16), int(sql[-1][1], 16))
holds = [gdb.Breakpoint("*%d" % a, internal=True) for a in reads]

gdb.execute("continue")
first = gdb.selected_thread()
gdb.execute("set scheduler-locking on")
second = [t for t in inferior.threads() if t.num not in (1, first.num)][0]
second.switch()
# A thread that waits for the first one never gets there: interrupt it.
timer = threading.Timer(3.0, lambda: os.kill(inferior.pid, signal.SIGINT))
timer.start()
gdb.execute("continue")
timer.cancel()
both = int(gdb.parse_and_eval("(long)$pc")) in reads
for hold in holds:
    hold.delete()
if both:
    for thread in (first, second):
        thread.switch()
        gdb.execute("stepi")
    out("both threads have read the flag before either set it")
else:
    out("the second thread could not reach the flag while the first held it")
gdb.execute("set scheduler-locking off")
gdb.execute("continue")
out("LOOP" if registrations.count > 20 else "ENDED %d" % registrations.count)
if registrations.count > 20:
    gdb.execute("bt")
    gdb.execute("kill")
