#!/usr/bin/env python3
"""Static checks of a built talvik.dll: exactly the sixteen plain exports, only Windows system
DLLs imported, and for the 32-bit DLL the bytes each export removes from the stack (read from the
stripped DLL's code, cut into functions by its symbol file)."""
import argparse
import bisect
import re
import subprocess
import sys

# Argument bytes each export removes on return (32-bit stdcall). Elapse counts the hidden
# address of its result record besides the 40-byte state and the two array addresses.
STACK_BYTES = {
    "Load": 0, "Dispose": 0, "GetPluginVersion": 0, "DoorOpen": 0, "DoorClose": 0,
    "Initialize": 4, "SetPower": 4, "SetBrake": 4, "SetReverser": 4, "KeyDown": 4, "KeyUp": 4,
    "HornBlow": 4, "SetSignal": 4,
    "SetVehicleSpec": 20, "SetBeaconData": 16, "Elapse": 52,
}

# DLLs every Windows installation has. Anything else (libstdc++-6.dll, libgcc_s_dw2-1.dll,
# libwinpthread-1.dll, ...) would be missing on a user's machine.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ntdll.dll",
               "shell32.dll", "ws2_32.dll", "ole32.dll", "oleaut32.dll", "gdi32.dll",
               "ucrtbase.dll"}


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def parse_headers(text):
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    imports = re.findall(r"^\s*DLL Name: (\S+)", text, re.M)
    eat = {}
    names = {}
    section = None
    for line in text.splitlines():
        if line.startswith("Export Address Table -- Ordinal Base"):
            section = "eat"
            continue
        if line.startswith("[Ordinal/Name Pointer] Table"):
            section = "names"
            continue
        if not line.strip():
            section = None
            continue
        if section == "eat":
            m = re.match(r"\s*\[\s*(\d+)\]\s+\+base\[\s*\d+\]\s+([0-9a-fA-F]+)", line)
            if m:
                eat[int(m.group(1))] = int(m.group(2), 16)
        elif section == "names":
            m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)", line)
            if m:
                names.setdefault(m.group(2), []).append(int(m.group(1)))
    return image_base, imports, eat, names


def symbols_of(nm_output):
    """Maps each code address to its names, from nm's listing of the DLL's symbol file."""
    symbols = {}
    for line in nm_output.splitlines():
        m = re.match(r"^([0-9a-f]+) [Tt] (.+)$", line)
        if m:
            symbols.setdefault(int(m.group(1), 16), []).append(m.group(2))
    return symbols


def function_blocks(disassembly, symbols):
    """Maps each symbol's address to (its names, the instruction lines up to the next symbol).
    The shipped DLL is stripped: its code is cut at the addresses its symbol file names."""
    starts = sorted(symbols)
    blocks = {a: (symbols[a], []) for a in starts}
    for line in disassembly.splitlines():
        m = re.match(r"^\s*([0-9a-f]+):\t", line)
        if not m:
            continue
        at = bisect.bisect_right(starts, int(m.group(1), 16)) - 1
        if at >= 0:
            blocks[starts[at]][1].append(line)
    return blocks


def returns_of(lines):
    found = []
    for line in lines:
        m = re.search(r"\tret[lw]?\s*(?:\$0x([0-9a-f]+))?\s*$", line)
        if m:
            found.append(int(m.group(1), 16) if m.group(1) else 0)
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    parser.add_argument("--symbols", required=True, help="the DLL's symbol file (.debug)")
    parser.add_argument("dll")
    args = parser.parse_args()

    failures = []
    image_base, imports, eat, names = parse_headers(run(args.objdump, "-p", args.dll))

    exported = sorted(names)
    if exported != sorted(STACK_BYTES):
        extra = sorted(set(exported) - set(STACK_BYTES))
        missing = sorted(set(STACK_BYTES) - set(exported))
        failures.append(f"exports differ: unexpected {extra}, missing {missing}")
    print(f"exports ({len(exported)}): {' '.join(exported)}")

    foreign = [d for d in imports if d.lower() not in SYSTEM_DLLS
               and not d.lower().startswith("api-ms-win-")]
    if foreign:
        failures.append(f"imports DLLs a user's machine may not have: {foreign}")
    if not imports:
        failures.append("no import table found")
    print(f"imports: {' '.join(imports)}")

    if args.width == 32:
        nm = args.objdump.replace("objdump", "nm")
        blocks = function_blocks(run(args.objdump, "-d", args.dll),
                                 symbols_of(run(nm, args.symbols)))
        for name, want in sorted(STACK_BYTES.items()):
            if name not in names:
                continue
            address = image_base + eat[names[name][0]]
            if address not in blocks:
                failures.append(f"{name}: no function found at {address:#x}")
                continue
            labels, lines = blocks[address]
            label = labels[-1]
            # Code the compiler moved out of line (label.cold) belongs to the same export.
            for other_labels, other_lines in blocks.values():
                if any(o.startswith(l + ".") for o in other_labels for l in labels):
                    lines = lines + other_lines
            rets = returns_of(lines)
            if not rets:
                failures.append(f"{name} ({label}): no return instruction found")
            elif any(r != want for r in rets):
                failures.append(f"{name} ({label}): returns with ret ${sorted(set(rets))}, "
                                f"expected ret ${want}")
            print(f"{name:16} ret ${','.join(str(r) for r in sorted(set(rets)))}"
                  f" (expected {want})")

    for failure in failures:
        print(f"FAIL: {failure}")
    print(f"{args.dll}: {'FAILED' if failures else 'ok'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
