#!/usr/bin/env python3
"""Writes wizard/string_ids.h, the names of the wizard's string ids, from the strings table.

    tools/string_ids.py [--check] [SOURCE_DIR]

Without --check it (re)writes SOURCE_DIR/wizard/string_ids.h; with --check it only compares
that file with what it would write and exits 1 with a diff when they differ (CTest test
`string_ids`). SOURCE_DIR defaults to the repository that holds this script.

Every string that code addresses by itself gets `inline constexpr uint32_t kStr<id><Name>`.
<Name> is taken from the English text by one rule: its first sentence, without inserts (%1)
and parenthesised asides, without filler words (FILLER), the first MAX_WORDS words in
CamelCase (an all-capitals word such as "USB" becomes "Usb"), and "Percent" added when the text
shows a percentage ("%1%"). Negations stay: "Not written" is NotWritten. Where the rule gives
no good name (a sentence that says its point late, texts that begin alike), NAMES holds the
name chosen by hand. Ids never change their number, so a name changes only when its text or
its entry in NAMES does.

Not named one by one (UNNAMED): the media names, which code finds as kMediaNameBaseId + media
code, and the texts of dialog template controls, which wizard/dialog_templates.cpp gives by
number in template order.
"""

import difflib
import os
import re
import sys

# The strings table's reader is the resource script's; no bytecode cache in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wizard_resources import SourceError, read_strings  # noqa: E402

HEADER = os.path.join("wizard", "string_ids.h")
TABLE = os.path.join("wizard", "strings_table.inc")

# Id ranges left out, and why (the generated header repeats the reasons).
UNNAMED = (
    (501, 520, "media names, found as kMediaNameBaseId + media code (wizard/strings.h)"),
    (1010, 1229, "dialog template texts, given by number in wizard/dialog_templates.cpp"),
)

MAX_WORDS = 4

FILLER = {
    "a", "an", "and", "are", "at", "be", "been", "by", "has", "have", "is", "it", "of", "on",
    "or", "selected", "that", "the", "there", "this", "to", "was", "were", "with",
}

# Names chosen by hand, where the rule's name would mislead or not tell similar texts apart.
NAMES = {
    203: "RemoveUnusedMedia",
    206: "DoNotVibratePc",
    207: "CloseOtherApplications",
    208: "TimeRequired",
    223: "MediaSupported",
    226: "DvdRDlOrUsbDrive",
    266: "DriveDataWillBeDeleted",
    322: "SpeedAndTimeLeft",
    485: "SevenZipCouldNotStart",
    486: "ImageIsNoArchive",
    487: "SetDoesNotFitPartition",
    488: "FileTooLargeForFat32",
    489: "NotEnoughSpaceToCompareUsb",
    490: "ComputerDiskFullWhileComparing",
    491: "UsbWriteFailedMarkedIncomplete",
    492: "FileCheckFailedMarkedIncomplete",
    493: "ComparisonProblemsMarkedIncomplete",
    273: "DriveHasNoLetter",
    274: "DriveIsLocalDisk",
    306: "VerifyingBurnedMedia",
    314: "VerifyingBurnedMediaPercent",
    319: "WritingRecoveryDiscOfSet",
    400: "StopCreation",
    401: "StopCreationTakesAWhile",
    402: "StopCreationDiscUnusable",
    407: "CannotExitWhileVerifying",
    408: "CannotExitWhileComparing",
    457: "CouldNotOpenImapi",
    466: "DiscAlreadyHasData",
    468: "DiscCannotBeUsed",
    469: "InsertBlankDiscIntoDrive",
    473: "DvdDriveDisconnected",
    481: "NotEnoughDiskSpace",
    483: "ProblemsInFileComparisons",
    484: "NotEnoughDiskSpaceToCompare",
    57344: "AppTitle",
}

COMMENT_WIDTH = 100 - len("/// ")


def is_unnamed(ident):
    return any(first <= ident <= last for first, last, _ in UNNAMED)


def first_sentence(english):
    text = english.split("\\n")[0].lstrip("・").strip()
    match = re.match(r"(.*?[.?!])(\s|$)", text)
    return match.group(1) if match else text


def derived_name(english):
    """The rule's name for a text; empty when the text leaves no word."""
    sentence = first_sentence(english)
    sentence = re.sub(r"\([^)]*\)", " ", sentence)
    sentence = re.sub(r"%\d", " ", sentence)
    words = [w for w in re.findall(r"[A-Za-z0-9]+", sentence) if w.lower() not in FILLER]
    name = "".join(w.capitalize() if w.isupper() else w[:1].upper() + w[1:]
                   for w in words[:MAX_WORDS])
    if name and re.search(r"%\d%", english):
        name += "Percent"
    return name


def names_for(strings, chosen=None):
    """id -> name for every string that gets one; SourceError when a name cannot be made."""
    chosen = NAMES if chosen is None else chosen
    for ident in chosen:
        if ident not in strings or is_unnamed(ident):
            raise SourceError(f"NAMES has {ident}, which is not a string that gets a name")
    names = {}
    for ident, (english, _) in sorted(strings.items()):
        if is_unnamed(ident):
            continue
        name = chosen.get(ident) or derived_name(english)
        if not re.fullmatch(r"[A-Z][A-Za-z0-9]*", name):
            raise SourceError(f"string {ident}: no usable name from its text; add one to NAMES")
        names[ident] = name
    return names


def comment_for(english):
    """The English text's first line as it reads, cut to fit one comment line."""
    text = english.split("\\n")[0].lstrip("・").strip()
    if len(text) > COMMENT_WIDTH:
        text = text[:COMMENT_WIDTH - 3].rsplit(" ", 1)[0] + "..."
    return text


def header_text(strings, names):
    out = [
        "#pragma once",
        "",
        "// Generated by tools/string_ids.py from wizard/strings_table.inc; do not edit. After a",
        "// change to the table run `python3 tools/string_ids.py` (the test string_ids fails",
        "// until then).",
        "//",
        "// The ids of the wizard's strings by name: kStr<id><Name>, the name taken from the",
        "// English text (shown above each) or chosen in the script. Not named one by one:",
    ]
    for first, last, reason in UNNAMED:
        out.append(f"//   {first}-{last}: {reason}.")
    out += [
        "",
        "#include <cstdint>",
        "",
        "namespace kestrune {",
        "",
    ]
    for ident, name in names.items():
        out.append(f"/// {comment_for(strings[ident][0])}")
        out.append(f"inline constexpr uint32_t kStr{ident}{name} = {ident};")
    out += ["", "}  // namespace kestrune", ""]
    return "\n".join(out)


def generate(source):
    strings = read_strings(os.path.join(source, TABLE))
    return header_text(strings, names_for(strings))


def main(argv):
    args = argv[1:]
    check = "--check" in args
    rest = [a for a in args if a != "--check"]
    if len(rest) > 1 or any(a.startswith("-") for a in rest):
        print("usage: string_ids.py [--check] [SOURCE_DIR]", file=sys.stderr)
        return 2
    source = rest[0] if rest else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = os.path.join(source, HEADER)
    try:
        text = generate(source)
    except (OSError, SourceError) as error:
        print(f"string_ids.py: {error}", file=sys.stderr)
        return 1
    try:
        with open(path, encoding="utf-8") as f:
            current = f.read()
    except OSError:
        current = None
    if current == text:
        return 0
    if check:
        print(f"{HEADER} is not what tools/string_ids.py writes from {TABLE}; run "
              "`python3 tools/string_ids.py` and commit the result.")
        sys.stdout.writelines(difflib.unified_diff(
            (current or "").splitlines(keepends=True), text.splitlines(keepends=True),
            f"{HEADER} (committed)", f"{HEADER} (generated)"))
        return 1
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
