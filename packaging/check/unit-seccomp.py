#!/usr/bin/python3
"""Writes the system call filter of a systemd service unit as a seccomp BPF
program, for a sandbox that mirrors the unit (run-confined): the unit's
SystemCallFilter= lines (allow lists and ~deny lists of calls and @groups, the
groups as this machine's systemd defines them), SystemCallErrorNumber=, and
the parts of RestrictAddressFamilies= and MemoryDenyWriteExecute= that
systemd enforces with seccomp too. Only the native architecture passes
(SystemCallArchitectures=native).

    unit-seccomp.py UNIT OUTPUT
"""
import errno
import subprocess
import sys

import seccomp

FAMILIES = {"AF_UNIX": 1, "AF_INET": 2, "AF_INET6": 10, "AF_NETLINK": 16, "AF_PACKET": 17}
PROT_WRITE, PROT_EXEC, SHM_EXEC = 0x2, 0x4, 0o100000


def unit_settings(path):
    settings = {}
    with open(path, encoding="utf-8") as unit:
        for line in unit:
            line = line.strip()
            if "=" in line and not line.startswith(("#", ";", "[")):
                key, value = line.split("=", 1)
                settings.setdefault(key, []).append(value)
    return settings


def calls_of(name, seen=None):
    """The system calls of a name: itself, or the members of a @group."""
    if not name.startswith("@"):
        return {name}
    seen = seen if seen is not None else set()
    if name in seen:
        return set()
    seen.add(name)
    listing = subprocess.run(["systemd-analyze", "syscall-filter", name],
                             check=True, capture_output=True, text=True).stdout
    calls = set()
    for line in listing.splitlines()[1:]:
        word = line.strip()
        if word and not word.startswith("#"):
            calls |= calls_of(word, seen)
    return calls


def allowed_calls(filters):
    """An allow list, then ~deny lists, as systemd reads them in order."""
    allowed = set()
    for line in filters:
        names = set().union(*(calls_of(n) for n in line.lstrip("~").split()))
        allowed = allowed - names if line.startswith("~") else allowed | names
    return allowed


def main(unit_path, output):
    settings = unit_settings(unit_path)
    code = settings.get("SystemCallErrorNumber", ["EPERM"])[-1]
    filt = seccomp.SyscallFilter(defaction=seccomp.ERRNO(getattr(errno, code)))
    guarded = {}  # calls allowed only with some arguments
    families = settings.get("RestrictAddressFamilies", [""])[-1].split()
    if families:
        guarded["socket"] = [seccomp.Arg(0, seccomp.EQ, FAMILIES[f]) for f in families]
    if settings.get("MemoryDenyWriteExecute", ["no"])[-1] == "yes":
        both = PROT_WRITE | PROT_EXEC
        guarded["mmap"] = [seccomp.Arg(2, seccomp.MASKED_EQ, both, v) for v in (0, PROT_WRITE, PROT_EXEC)]
        for call in ("mprotect", "pkey_mprotect"):
            guarded[call] = [seccomp.Arg(2, seccomp.MASKED_EQ, PROT_EXEC, 0)]
        guarded["shmat"] = [seccomp.Arg(2, seccomp.MASKED_EQ, SHM_EXEC, 0)]
    for call in sorted(allowed_calls(settings.get("SystemCallFilter", []))):
        try:
            if call in guarded:
                for condition in guarded[call]:
                    filt.add_rule(seccomp.ALLOW, call, condition)
            else:
                filt.add_rule(seccomp.ALLOW, call)
        except (RuntimeError, ValueError, OSError):
            pass  # a call this architecture does not have
    with open(output, "wb") as out:
        filt.export_bpf(out)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: unit-seccomp.py UNIT OUTPUT")
    main(sys.argv[1], sys.argv[2])
