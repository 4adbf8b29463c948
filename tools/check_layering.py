#!/usr/bin/env python3
"""Checks every #include of the source tree against the arrows the architecture allows.

    tools/check_layering.py [SOURCE_DIR]

Prints each include that breaks a rule and exits 1 when there is one. Run by CTest
(test `layering`) and so by `make check`.

The layers, and what each may include besides the standard library and itself:

    text/             UTF-8 conversion, ASCII case (header-only)   nothing else
    platform/*.h      the ports, and the portable primitives       text
    core              app/ engine/ verify/ devices/ wizard/        ports, text, and the core
                                                                   arrows below
        app/          run context, command line, tool runner       -
        app/ (the kestrune_startup library: start-up and the       the whole core
              choice of mode, which sits above everything)
        devices/      USB disks, recorders                         app
        engine/       worker, job protocol, source survey          app
        engine/ (the kestrune_job_steps library: the production    app, devices, verify
                 job steps, burning, USB writing)
        verify/       file comparison, post-write checks           app, engine
        wizard/       sheet, pages, dialogs, strings               app (start-up's wizard
                                                                   branch too), devices,
                                                                   engine, verify
    platform/host/    Linux implementations of the ports           ports, text, core headers
    platform/win32/   Windows implementations of the ports         ports, text, core headers,
                                                                   the Windows gateway
    ui/host/          the host window toolkit                      ports, text, core headers
    sim/              the simulated machine and its stand-ins      ports, text, platform/host
    md5lists/ sabrel/ the standalone tools                         text; their win32/ halves
                                                                   also the Windows gateway
    test_support/     files for tests                              text

"core headers" lets a platform-side implementation see the interfaces the core declares for
it to implement (the wizard's view ports, for instance); the core never includes a
platform side.

Windows: <windows.h> is included only by the gateway platform/win32/windows_support.h, and
the gateway and the other Windows SDK headers only under a win32/ folder; no `_WIN32`
conditional outside one either.

Exceptions, by name: program entry points (*_main.cpp, *_main_posix.cpp, *_wmain.cpp), tests
(*_test.cpp), benchmarks (*_bench.cpp), fuzz targets (*_fuzz.cpp), the test-support files
listed in TEST_SUPPORT and everything under tools/. They wire layers together and may
include anything, but still obey the Windows rules.
"""

import os
import re
import sys

CORE = ("app", "engine", "verify", "devices", "wizard")

# What each layer may include (besides itself, the standard library and `text`).
ALLOWED = {
    "text": set(),
    "port": set(),
    "app": {"port"},
    "app/startup": {"port", *CORE, "engine/job_steps"},
    "devices": {"port", "app"},
    "engine": {"port", "app"},
    "engine/job_steps": {"port", "app", "engine", "devices", "verify"},
    "verify": {"port", "app", "engine", "engine/job_steps"},
    "wizard": {"port", "app", "app/startup", "devices", "engine", "engine/job_steps", "verify"},
    "platform/host": {"port", *CORE, "engine/job_steps"},
    "platform/win32": {"port", "gateway", *CORE, "engine/job_steps"},
    "ui/host": {"port", *CORE, "engine/job_steps"},
    "sim": {"port", "platform/host"},
    "md5lists": set(),
    "md5lists/win32": {"md5lists", "gateway"},
    "sabrel": set(),
    "sabrel/win32": {"sabrel", "gateway"},
    "test_support": set(),
}

GATEWAY = "platform/win32/windows_support.h"

TEST_SUPPORT = {
    "app/test_support.h",
    "app/test_support.cpp",
    "engine/job_test_support.h",
    "engine/job_test_support.cpp",
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
    "platform/win32/test_sleeper.cpp",
}
EXCEPTION_SUFFIXES = ("_main.cpp", "_main_posix.cpp", "_wmain.cpp", "_test.cpp", "_bench.cpp",
                      "_fuzz.cpp")

# Headers of the Windows SDK: only under a win32/ folder, and after the gateway.
WINDOWS_HEADERS = {
    "bcrypt.h", "cfgmgr32.h", "combaseapi.h", "comdef.h", "commctrl.h", "comutil.h",
    "devguid.h", "imapi2.h", "imapi2error.h", "imapi2fs.h", "initguid.h", "lm.h", "lmwksta.h",
    "ntsecapi.h", "objbase.h", "oleauto.h", "powrprof.h", "prsht.h", "sddl.h", "setupapi.h",
    "shellapi.h", "shlobj.h", "shlwapi.h", "shobjidl.h", "unknwn.h", "userenv.h", "wbemcli.h",
    "wbemidl.h", "windows.h", "winerror.h", "winioctl.h", "winreg.h", "winresrc.h", "winuser.h",
    "wtypes.h",
}

SOURCE_SUFFIXES = (".h", ".cpp", ".inc", ".rc", ".rc.in")
SKIPPED_FOLDERS = {".git", "build"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
WIN32_CONDITIONAL = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b_WIN32\b")


def library_sources(root, folder, library):
    """The files of `library` as folder/CMakeLists.txt lists them, with the header of each."""
    try:
        with open(os.path.join(root, folder, "CMakeLists.txt"), encoding="utf-8") as f:
            text = f.read()
    except OSError:
        return set()
    match = re.search(r"kestrune_library\(\s*" + library + r"\b([^)]*)\)", text)
    if not match:
        return set()
    files = set()
    for word in re.sub(r"#[^\n]*", "", match.group(1)).split():
        if word.endswith(".cpp"):
            files.add(f"{folder}/{word}")
            files.add(f"{folder}/{word[: -len('.cpp')]}.h")
    return files


def layer_of(path, libraries):
    """The layer a repository path belongs to, or None for files outside every layer."""
    parts = path.split("/")
    top = parts[0]
    if top == "text" or top == "test_support":
        return top
    if top == "platform":
        if len(parts) == 2:
            return "port"
        if parts[1] in ("host", "win32"):
            return "platform/" + parts[1]
        return None
    if top in ("md5lists", "sabrel"):
        return top + "/win32" if len(parts) > 2 and parts[1] == "win32" else top
    for layer, files in libraries.items():
        if path in files:
            return layer
    if top in CORE or top == "sim":
        return top
    if top == "ui" and len(parts) > 2 and parts[1] == "host":
        return "ui/host"
    return None


def is_exception(path):
    return (path.startswith("tools/") or path in TEST_SUPPORT or
            path.endswith(EXCEPTION_SUFFIXES))


def under_win32(path):
    return "win32" in path.split("/")[:-1]


def check_file(root, path, libraries, problems):
    layer = layer_of(path, libraries)
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
        if name == GATEWAY:
            if not under_win32(path):
                problems.append(f"{where}: the Windows gateway outside a win32/ folder")
            continue
        if exception or layer is None or "/" not in name:
            continue
        target = layer_of(name, libraries)
        if target is None or target == layer or target == "text":
            continue
        if target not in ALLOWED.get(layer, set()):
            problems.append(f'{where}: {layer} may not include "{name}" ({target})')


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    # Libraries that form a layer of their own inside a core folder.
    libraries = {
        "engine/job_steps": library_sources(root, "engine", "kestrune_job_steps"),
        "app/startup": library_sources(root, "app", "kestrune_startup"),
    }
    problems = []
    checked = 0
    for folder, folders, files in os.walk(root):
        folders[:] = sorted(d for d in folders if d not in SKIPPED_FOLDERS)
        for file in sorted(files):
            if not file.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.relpath(os.path.join(folder, file), root).replace(os.sep, "/")
            check_file(root, path, libraries, problems)
            checked += 1
    for problem in problems:
        print(problem)
    print(f"layering: {checked} files, {len(problems)} broken rules")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
