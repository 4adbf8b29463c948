#!/usr/bin/env python3
"""Checks every #include of the source tree against the arrows the architecture allows.

    tools/check_layering.py [SOURCE_DIR]

Prints each include that breaks a rule and exits 1 when there is one. Run by CTest
(test `layering`) and so by `make check`.

Layers are folders (a file belongs to the deepest listed folder that holds it). What each may
include besides the standard library, itself and `text`:

    text/              UTF-8 conversion, ASCII case (header-only)    nothing else
    platform/*.h       the ports, and the portable primitives        -
    platform/host/     Linux translations of the ports               ports
    platform/win32/    Windows translations of the ports             ports, the gateway
    app/               run context, command line, tool runner        ports
    devices/           USB disks, recorders                          ports, app
    engine/            worker, job protocol, burning, USB writing    ports, app, devices
    verify/            file comparison, post-write checks            ports, app, engine
    wizard/            sheet, pages, dialogs                         ports, app, devices,
                                                                     engine, verify
    wizard view        the headers the toolkits implement or read    ports
                       (VIEW_HEADERS)
    ui/script/         script engine and transcript lines            ports, wizard view
    ui/host/           host toolkit, terminal wizard                 ports, ui/script, wizard
                                                                     view, platform/host
    ui/win32/          Windows toolkit                               ports, ui/script, wizard
                                                                     view, platform/win32, gateway
    sim/               the simulated machine and its stand-ins       ports, platform/host
    sim/win32/         its Windows half for the wine tests           ports, sim, the gateway
    testing/           test doubles, test-only programs              ports, sim
    testing/win32/     fake COM servers for wine                     ports, testing, sim,
                                                                     platform/win32, gateway
    startup/           composition roots and both mains              everything
    md5lists/ sabrel/  the standalone tools                          nothing; their win32/
                                                                     halves their own folder
                                                                     and the gateway
    tools/             sample sets, kestrixdl                        ports, sim, platform/host
    test_support/      files for tests                               -

Only start-up includes everything: no platform translation includes the core. A source file
in a folder that no layer names is an error, and so is a top-level folder that is neither a
layer nor listed in OTHER_FOLDERS.

Windows: <windows.h> is included only by the gateway platform/win32/windows_support.h, and
the gateway and the other Windows SDK headers only under a win32/ folder; no `_WIN32`
conditional outside one either.

Exceptions, by name: tests (*_test.cpp), benchmarks (*_bench.cpp), fuzz targets (*_fuzz.cpp)
and the test-support files in TEST_SUPPORT. They may include anything, but still obey the
Windows rules.
"""

import os
import re
import sys

ANY = "*"

# What each layer may include (besides itself, the standard library and `text`).
ALLOWED = {
    "text": set(),
    "test_support": set(),
    "port": set(),
    "gateway": set(),
    "platform/host": {"port"},
    "platform/win32": {"port", "gateway"},
    "app": {"port"},
    "devices": {"port", "app"},
    "engine": {"port", "app", "devices"},
    "verify": {"port", "app", "engine"},
    "wizard": {"port", "app", "devices", "engine", "verify", "wizard/view"},
    "wizard/view": {"port"},
    "ui/script": {"port", "wizard/view"},
    "ui/host": {"port", "ui/script", "wizard/view", "platform/host"},
    "ui/win32": {"port", "ui/script", "wizard/view", "platform/win32", "gateway"},
    "sim": {"port", "platform/host"},
    "sim/win32": {"port", "sim", "gateway"},
    "testing": {"port", "sim"},
    "testing/win32": {"port", "testing", "sim", "platform/win32", "gateway"},
    "startup": {ANY},
    "startup/host": {ANY},
    "startup/win32": {ANY},
    "md5lists": set(),
    "md5lists/win32": {"md5lists", "gateway"},
    "sabrel": set(),
    "sabrel/win32": {"sabrel", "gateway"},
    "tools": {"port", "sim", "platform/host"},
}

# Top-level folders that hold no layer's sources.
OTHER_FOLDERS = {"cmake", "docs"}

GATEWAY = "platform/win32/windows_support.h"

# The wizard's headers that the toolkits implement or read: the view ports, the window
# messages and dialog templates, and the strings.
VIEW_HEADERS = {
    "wizard/view_ports.h",
    "wizard/window_messages.h",
    "wizard/dialog_templates.h",
    "wizard/strings.h",
    "wizard/string_ids.h",
}

TEST_SUPPORT = {
    "app/test_support.h",
    "app/test_support.cpp",
    "engine/job_test_support.h",
    "engine/job_test_support.cpp",
    "engine/usb_write_test_fixture.h",
    "md5lists/test_lists.h",
    "md5lists/test_lists.cpp",
    "sabrel/test_set.h",
    "sabrel/test_set.cpp",
    "sim/sim_test_support.h",
    "sim/sim_test_support.cpp",
    "wizard/wizard_test_support.h",
    "wizard/wizard_test_support.cpp",
    "wizard/wizard_e2e_support.h",
    "wizard/wizard_e2e_support.cpp",
    "wizard/fault_matrix_support.h",
}
EXCEPTION_SUFFIXES = ("_test.cpp", "_bench.cpp", "_fuzz.cpp")

# Headers of the Windows SDK: only under a win32/ folder, and after the gateway.
WINDOWS_HEADERS = {
    "accctrl.h", "aclapi.h", "bcrypt.h", "cfgmgr32.h", "combaseapi.h", "comdef.h",
    "commctrl.h", "comutil.h", "devguid.h", "imapi2.h", "imapi2error.h", "imapi2fs.h",
    "initguid.h", "lm.h", "lmwksta.h", "ntsecapi.h", "objbase.h", "oleauto.h", "powrprof.h",
    "prsht.h", "sddl.h", "setupapi.h", "shellapi.h", "shlobj.h", "shlwapi.h", "shobjidl.h",
    "unknwn.h", "userenv.h", "wbemcli.h", "wbemidl.h", "windows.h", "winerror.h",
    "winioctl.h", "winreg.h", "winresrc.h", "winuser.h", "wtypes.h",
}

SOURCE_SUFFIXES = (".h", ".cpp", ".inc", ".rc", ".rc.in")
SKIPPED_FOLDERS = {"build"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
WIN32_CONDITIONAL = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b_WIN32\b")


def layer_of(path):
    """The layer a repository path belongs to, or None when no layer names its folder."""
    if path == GATEWAY:
        return "gateway"
    if path in VIEW_HEADERS:
        return "wizard/view"
    parts = path.split("/")
    if len(parts) == 2 and parts[0] == "platform":
        return "port"
    for depth in range(len(parts) - 1, 0, -1):
        folder = "/".join(parts[:depth])
        if folder in ALLOWED:
            return folder
    return None


def is_exception(path):
    return path in TEST_SUPPORT or path.endswith(EXCEPTION_SUFFIXES)


def under_win32(path):
    return "win32" in path.split("/")[:-1]


def may_include(layer, target):
    allowed = ALLOWED[layer]
    return target == layer or target == "text" or ANY in allowed or target in allowed


def check_file(root, path, problems):
    layer = layer_of(path)
    if layer is None:
        problems.append(f"{path}: in a folder that no layer names (add it to ALLOWED)")
    exception = is_exception(path)
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    for number, line in enumerate(lines, 1):
        where = f"{path}:{number}"
        if WIN32_CONDITIONAL.match(line) and not under_win32(path):
            problems.append(f"{where}: _WIN32 conditional outside a win32/ folder (add a port)")
        match = INCLUDE.match(line)
        if not match:
            continue
        bracket, name = match.groups()
        if bracket == "<":
            header = name.lower()
            if header == "windows.h" and path != GATEWAY:
                problems.append(f"{where}: <windows.h> outside the gateway; include {GATEWAY}")
            elif header in WINDOWS_HEADERS and not under_win32(path):
                problems.append(f"{where}: <{name}> outside a win32/ folder")
            continue
        if name == GATEWAY and not under_win32(path):
            problems.append(f"{where}: the Windows gateway outside a win32/ folder")
            continue
        if exception or layer is None or "/" not in name:
            continue
        target = layer_of(name)
        if target is None:
            problems.append(f'{where}: includes "{name}", in a folder that no layer names')
        elif not may_include(layer, target):
            problems.append(f'{where}: {layer} may not include "{name}" ({target})')


def check_tree(root):
    """Every broken rule of the tree at `root`, and the number of source files checked."""
    problems = []
    checked = 0
    for entry in sorted(os.listdir(root)):
        if entry.startswith(".") or entry in SKIPPED_FOLDERS:
            continue
        known = {layer.split("/")[0] for layer in ALLOWED} | {"platform"} | OTHER_FOLDERS
        if os.path.isdir(os.path.join(root, entry)) and entry not in known:
            problems.append(f"{entry}/: a top-level folder that is no layer (add it to ALLOWED "
                            "or OTHER_FOLDERS)")
    for folder, folders, files in os.walk(root):
        folders[:] = sorted(d for d in folders
                            if not d.startswith(".") and d not in SKIPPED_FOLDERS)
        for file in sorted(files):
            if not file.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.relpath(os.path.join(folder, file), root).replace(os.sep, "/")
            if "/" not in path:
                continue  # files at the top hold no code of a layer
            check_file(root, path, problems)
            checked += 1
    return problems, checked


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    problems, checked = check_tree(root)
    for problem in problems:
        print(problem)
    print(f"layering: {checked} files, {len(problems)} broken rules")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
