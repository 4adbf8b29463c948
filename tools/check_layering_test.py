#!/usr/bin/env python3
"""Tests of check_layering.py on small made-up trees: it must find what it promises to."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layering.py")

ENGINE_CMAKE = "kestrune_library(kestrune_job_steps\n  # the joined steps\n  disc_burning.cpp)\n"


class LayeringTest(unittest.TestCase):
    def check(self, files):
        """Runs the script over a tree of `files` (path -> text); its broken rules."""
        with tempfile.TemporaryDirectory() as root:
            for path, text in {"engine/CMakeLists.txt": ENGINE_CMAKE, **files}.items():
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
            "engine/disc_burning.cpp": '#include "devices/recorders.h"\n#include "verify/c.h"\n',
            "wizard/w.cpp": '#include "engine/e.h"\n#include "devices/d.h"\n',
            "sim/s.cpp": '#include "platform/host/utf.h"\n',
            "platform/win32/x.cpp": '#include "platform/win32/windows_support.h"\n'
                                    '#include <shellapi.h>\n',
            "sabrel/win32/y.cpp": '#include "platform/win32/windows_support.h"\n'
                                  '#include "sabrel/md5.h"\n',
            "platform/win32/windows_support.h": "#include <windows.h>\n",
            "app/a_test.cpp": '#include "sim/machine.h"\n',
        }), [])

    def test_core_never_reaches_an_implementation(self):
        problems = self.check({
            "app/a.cpp": '#include "platform/host/host_system.h"\n',
            "devices/d.cpp": '#include "sim/machine.h"\n',
            "verify/v.h": '  #  include "ui/host/window_table.h"\n',
            "engine/e.cpp": '#include "devices/recorders.h"\n',  # not a job-steps file
        })
        self.assertEqual(len(problems), 4, problems)
        self.assertTrue(problems[0].startswith("app/a.cpp:1:"), problems)

    def test_ports_and_standalone_tools_stay_alone(self):
        problems = self.check({
            "platform/clock.h": '#include "app/run_context.h"\n',
            "md5lists/m.cpp": '#include "platform/native_path.h"\n',
            "sabrel/s.cpp": '#include "md5lists/utf8.h"\n',
        })
        self.assertEqual(len(problems), 3, problems)

    def test_windows_only_through_the_gateway_under_win32(self):
        problems = self.check({
            "platform/win32/a.cpp": "#include <windows.h>\n",
            "app/b.cpp": '#include "platform/win32/windows_support.h"\n',
            "sabrel/c.cpp": "#include <bcrypt.h>\n",
            "engine/d.cpp": "#ifdef _WIN32\n#endif\n",
            "app/e_test.cpp": "#include <Windows.h>\n",  # exceptions obey the Windows rules
        })
        self.assertEqual(len(problems), 5, problems)


if __name__ == "__main__":
    unittest.main()
