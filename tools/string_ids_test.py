#!/usr/bin/env python3
"""Tests of string_ids.py: the names it makes, what it refuses, and its up-to-date check."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "string_ids.py")
REPOSITORY = os.path.dirname(os.path.dirname(SCRIPT))

sys.dont_write_bytecode = True  # no bytecode cache in the source tree
sys.path.insert(0, os.path.dirname(SCRIPT))
import string_ids as ids  # noqa: E402


class NameTest(unittest.TestCase):
    def test_names_keep_what_the_text_says(self):
        cases = {
            "Not written": "NotWritten",
            "The disc drive was not found.": "DiscDriveNotFound",
            "Disc write failed.\\nTry creating recovery disc #%1 again?": "DiscWriteFailed",
            "For USB drive": "ForUsbDrive",
            "Minimum of %1 GB ": "MinimumGb",
            "Number of discs required (USB drive size)": "NumberDiscsRequired",
            "・Keep in a safe place.": "KeepInSafePlace",
            "Comparing files (%1%)": "ComparingFilesPercent",
            "Recognizing drive and disc": "RecognizingDriveDisc",
        }
        for english, name in cases.items():
            self.assertEqual(ids.derived_name(english), name, english)

    def test_unnamed_ranges_are_left_out_and_hand_names_win(self):
        strings = {276: ("The selected drive has been disconnected.", ""),
                   400: ("The creation of recovery discs is not complete.", ""),
                   509: ("DVD-R", ""), 1011: ("OK", ""), 57344: ("Kestrune", "")}
        self.assertEqual(ids.names_for(strings, {400: "StopCreation", 57344: "AppTitle"}),
                         {276: "DriveDisconnected", 400: "StopCreation", 57344: "AppTitle"})

    def test_refuses_what_would_give_no_name_or_a_stale_hand_name(self):
        with self.assertRaisesRegex(ids.SourceError, "string 208"):
            ids.names_for({208: (" (Time required: about %1 mins.)", "")}, {})
        with self.assertRaisesRegex(ids.SourceError, "277"):
            ids.names_for({276: ("Drive gone.", "")}, {277: "Gone"})
        with self.assertRaisesRegex(ids.SourceError, "509"):
            ids.names_for({509: ("DVD-R", "")}, {509: "DvdR"})


class CheckTest(unittest.TestCase):
    def run_script(self, root, *args):
        return subprocess.run([sys.executable, SCRIPT, *args, root], capture_output=True,
                              text=True)

    def test_check_fails_until_the_header_is_written_again(self):
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, "wizard"))
            table = os.path.join(root, "wizard", "strings_table.inc")
            header = os.path.join(root, "wizard", "string_ids.h")
            shutil.copyfile(os.path.join(REPOSITORY, "wizard", "strings_table.inc"), table)
            self.assertEqual(self.run_script(root, "--check").returncode, 1, "no header yet")
            self.assertEqual(self.run_script(root).returncode, 0)
            self.assertEqual(self.run_script(root, "--check").returncode, 0)

            with open(table, "a", encoding="utf-8") as f:
                f.write('KESTRUNE_STRING(60000, "Something new", "")\n')
            before = open(header, encoding="utf-8").read()
            check = self.run_script(root, "--check")
            self.assertEqual(check.returncode, 1)
            self.assertIn("+inline constexpr uint32_t kStr60000SomethingNew = 60000;", check.stdout)
            self.assertEqual(open(header, encoding="utf-8").read(), before,
                             "--check leaves the header alone")
            self.assertEqual(self.run_script(root).returncode, 0)
            self.assertEqual(self.run_script(root, "--check").returncode, 0)


if __name__ == "__main__":
    unittest.main()
