#!/usr/bin/env python3
"""Tests of check_layering.py on small made-up trees: it must find what it promises to."""

import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layering.py")


def load_checker():
    spec = importlib.util.spec_from_file_location("check_layering", SCRIPT)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class LayeringTest(unittest.TestCase):
    def check(self, files):
        """Runs the script over a tree of `files` (path -> text); its broken rules."""
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                    f.write(text)
            run = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
            problems = run.stdout.splitlines()[:-1]
            self.assertEqual(run.returncode, 1 if problems else 0, run.stdout + run.stderr)
            return problems

    def test_allowed_arrows_pass(self):
        self.assertEqual(self.check({
            "app/a.cpp": '#include "platform/clock.h"\n#include "text/utf8.h"\n#include <vector>\n',
            "engine/disc_burning.cpp": '#include "devices/recorders.h"\n#include "app/r.h"\n',
            "verify/v.cpp": '#include "engine/job_steps.h"\n',
            "wizard/w.cpp": '#include "engine/e.h"\n#include "verify/c.h"\n',
            "ui/script/s.cpp": '#include "wizard/window_messages.h"\n',
            "ui/host/t.cpp": '#include "ui/script/s.h"\n#include "platform/host/window_table.h"\n',
            "ui/win32/t.cpp": '#include "platform/win32/windows_support.h"\n'
                              '#include "wizard/view_ports.h"\n#include "ui/script/s.h"\n',
            "sim/s.cpp": '#include "platform/host/utf.h"\n',
            "testing/win32/f.cpp": '#include "platform/win32/windows_support.h"\n'
                                   '#include "testing/disc_transcript.h"\n',
            "platform/win32/x.cpp": '#include "platform/win32/windows_support.h"\n'
                                    '#include <shellapi.h>\n',
            "sabrel/win32/y.cpp": '#include "platform/win32/windows_support.h"\n'
                                  '#include "sabrel/md5.h"\n',
            "platform/win32/windows_support.h": "#include <windows.h>\n",
            "startup/host/main.cpp": '#include "ui/host/t.h"\n#include "sim/s.h"\n'
                                     '#include "wizard/w.h"\n',
            "app/a_test.cpp": '#include "sim/machine.h"\n',
            "cmake/notes.txt": "not a source\n",
        }), [])

    def test_core_never_reaches_an_implementation_or_a_layer_above(self):
        problems = self.check({
            "app/a.cpp": '#include "platform/host/host_system.h"\n',
            "devices/d.cpp": '#include "sim/machine.h"\n',
            "verify/v.h": '  #  include "platform/host/window_table.h"\n',
            "engine/e.cpp": '#include "verify/tree_comparer.h"\n',
            "wizard/w.cpp": '#include "startup/wizard_startup.h"\n',
            "wizard/view_ports.h": '#include "wizard/page_drive.h"\n',
        })
        self.assertEqual(len(problems), 6, problems)
        self.assertTrue(problems[0].startswith("app/a.cpp:1:"), problems)

    def test_a_platform_translation_never_includes_the_core_or_a_window(self):
        problems = self.check({
            "platform/win32/a.cpp": '#include "platform/win32/windows_support.h"\n'
                                    '#include "wizard/page_write.h"\n',
            "platform/host/b.cpp": '#include "app/run_context.h"\n',
            "platform/host/c.cpp": '#include "ui/host/host_toolkit.h"\n',
            "ui/host/d.cpp": '#include "wizard/page_drive.h"\n',
        })
        self.assertEqual(len(problems), 4, problems)
        self.assertTrue(any('platform/win32 may not include "wizard/page_write.h"' in p
                            for p in problems), problems)

    def test_an_unknown_folder_is_an_error(self):
        problems = self.check({
            "extras/x.cpp": "int x;\n",
            "ui/shared/y.cpp": "int y;\n",
            "app/z.cpp": '#include "extras/x.h"\n',
        })
        self.assertEqual(len(problems), 4, problems)
        self.assertTrue(any(p.startswith("extras/:") for p in problems), problems)
        self.assertTrue(any(p.startswith("ui/shared/y.cpp:") for p in problems), problems)

    def test_ports_and_standalone_tools_stay_alone(self):
        problems = self.check({
            "platform/clock.h": '#include "app/run_context.h"\n',
            "md5lists/m.cpp": '#include "platform/native_path.h"\n',
            "sabrel/s.cpp": '#include "md5lists/utf8.h"\n',
            "testing/t.cpp": '#include "wizard/page_drive.h"\n',
        })
        self.assertEqual(len(problems), 4, problems)

    def test_windows_only_through_the_gateway_under_win32(self):
        problems = self.check({
            "platform/win32/a.cpp": "#include <windows.h>\n",
            "app/b.cpp": '#include "platform/win32/windows_support.h"\n',
            "sabrel/c.cpp": "#include <bcrypt.h>\n",
            "engine/d.cpp": "#ifdef _WIN32\n#endif\n",
            "app/e_test.cpp": "#include <Windows.h>\n",  # exceptions obey the Windows rules
        })
        self.assertEqual(len(problems), 5, problems)


class AllowedTableTest(unittest.TestCase):
    def test_the_layers_form_no_cycle(self):
        allowed = load_checker().ALLOWED
        visiting, done = set(), set()

        def visit(layer, path):
            self.assertNotIn(layer, visiting, " -> ".join(path + [layer]))
            if layer in done or layer not in allowed:
                return
            visiting.add(layer)
            for target in allowed[layer] - {layer}:
                visit(target, path + [layer])
            visiting.discard(layer)
            done.add(layer)

        for layer in allowed:
            visit(layer, [])

    def test_only_start_up_may_include_everything(self):
        checker = load_checker()
        everything = {layer for layer, targets in checker.ALLOWED.items()
                      if checker.ANY in targets}
        self.assertEqual(everything, {"startup", "startup/host", "startup/win32"})


if __name__ == "__main__":
    unittest.main()
