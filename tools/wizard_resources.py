#!/usr/bin/env python3
"""Writes the wizard's Windows resources from the sources the Linux build compiles.

    tools/wizard_resources.py SOURCE_DIR OUTPUT.rc

Reads wizard/strings_table.inc (every user-visible string in English and Japanese) and
wizard/dialog_templates.cpp (the dialog templates as data) and writes one resource script
with, for English (1033) and Japanese (1041) each, a string table and the dialog templates
101, 102, 103, 106, 107 and 122. Texts stay narrow UTF-8 literals under
`#pragma code_page(65001)`, which windres turns into correct UTF-16; wide literals holding
UTF-8 bytes would come out garbled.

The templates file is read as data: arrays of `TemplateControl{...}` and one array of
`DialogTemplate{...}`. Anything this script does not understand stops the build with a
message rather than leaving a control out. The wine tests compare the compiled resources with
the templates the program itself holds.
"""

import os
import re
import sys

LANGUAGES = (
    ("LANG_ENGLISH, SUBLANG_ENGLISH_US", 1),
    ("LANG_JAPANESE, SUBLANG_DEFAULT", 2),
)

UNADDRESSED = 0xFFFF

# control_style bits of wizard/dialog_templates.h.
STYLE_BITS = {
    "kHidden": 0x1,
    "kDisabled": 0x2,
    "kMultiLine": 0x4,
    "kReadOnly": 0x8,
    "kVScroll": 0x10,
    "kCentered": 0x20,
    "kGroupStart": 0x40,
    "kMarquee": 0x80,
    "kBorder": 0x100,
}

# Window styles of the dialogs: the pages are child dialogs of the property sheet, 122 is the
# small system-modal information box without a system menu, 101 the disc prompt (never shown).
PAGE_STYLE = "DS_SETFONT | DS_CONTROL | WS_CHILD | WS_DISABLED"
DIALOG_STYLES = {
    101: "DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU",
    102: PAGE_STYLE,
    103: PAGE_STYLE,
    106: PAGE_STYLE,
    107: PAGE_STYLE,
    122: "DS_SETFONT | DS_MODALFRAME | DS_CENTER | DS_SYSMODAL | DS_SETFOREGROUND | WS_POPUP | "
         "WS_CAPTION",
}
FONT_POINTS = 9


class SourceError(Exception):
    pass


def read_strings(path):
    """id -> (English, Japanese), as the literals are written (UTF-8, \\n escapes)."""
    entry = re.compile(r'^KESTRUNE_STRING\((\d+), "((?:[^"\\]|\\n)*)", "((?:[^"\\]|\\n)*)"\)$')
    strings = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.startswith("KESTRUNE_STRING"):
                continue
            match = entry.match(line)
            if not match:
                raise SourceError(f"{path}:{number}: not an entry this script can read")
            strings[int(match.group(1))] = (match.group(2), match.group(3))
    if not strings:
        raise SourceError(f"{path}: no strings")
    return strings


def parse_style(text, where):
    text = text.strip()
    if text == "0":
        return 0
    value = 0
    for part in text.split("|"):
        name = part.strip().removeprefix("cs::").removeprefix("control_style::")
        if name not in STYLE_BITS:
            raise SourceError(f"{where}: unknown style {part.strip()}")
        value |= STYLE_BITS[name]
    return value


def parse_control(text, where):
    fields = [f.strip() for f in text.split(",")]
    if len(fields) < 7 or len(fields) > 9:
        raise SourceError(f"{where}: a control needs 7 to 9 fields: {text}")
    ident = UNADDRESSED if fields[0] in ("kNoId", "kUnaddressedControl") else int(fields[0])
    kind = fields[1].split("::")[-1]
    return {
        "id": ident,
        "kind": kind,
        "text": int(fields[2]),
        "rect": tuple(int(v) for v in fields[3:7]),
        "style": parse_style(fields[7], where) if len(fields) > 7 else 0,
        "icon": int(fields[8]) if len(fields) > 8 else 0,
    }


def read_templates(path):
    with open(path, encoding="utf-8") as f:
        source = f.read()
    arrays = {}
    for match in re.finditer(r"constexpr std::array (\w+)\{(.*?)\n\};", source, re.S):
        name, body = match.groups()
        if name == "kTemplates":
            continue
        items = re.findall(r"TemplateControl\{([^}]*)\}", body)
        if not items:
            raise SourceError(f"{path}: array {name} holds no TemplateControl")
        arrays[name] = [parse_control(item, f"{path}: {name}") for item in items]
    table = re.search(r"constexpr std::array kTemplates\{(.*?)\n\};", source, re.S)
    if not table:
        raise SourceError(f"{path}: no kTemplates array")
    templates = []
    pattern = re.compile(r'DialogTemplate\{(\d+), (\d+), (\d+), (\d+), "([^"]*)", (\w+)\}')
    for item in re.findall(r"DialogTemplate\{[^}]*\}", table.group(1)):
        match = pattern.fullmatch(item)
        if not match:
            raise SourceError(f"{path}: cannot read {item}")
        ident, width, height, caption, font, controls = match.groups()
        if controls not in arrays:
            raise SourceError(f"{path}: template {ident} names unknown array {controls}")
        templates.append({
            "id": int(ident), "size": (int(width), int(height)), "caption": int(caption),
            "font": font, "controls": arrays[controls],
        })
    if sorted(t["id"] for t in templates) != sorted(DIALOG_STYLES):
        raise SourceError(f"{path}: expected templates {sorted(DIALOG_STYLES)}")
    return templates


def text_of(strings, ident, language, where):
    if ident == 0:
        return ""
    if ident not in strings:
        raise SourceError(f"{where}: string {ident} is not in the strings table")
    english, japanese = strings[ident]
    return japanese if language == 2 and japanese else english


def control_statement(control, text):
    ident = -1 if control["id"] == UNADDRESSED else control["id"]
    x, y, w, h = control["rect"]
    style = control["style"]
    extra = []
    if style & STYLE_BITS["kHidden"]:
        extra.append("NOT WS_VISIBLE")
    if style & STYLE_BITS["kDisabled"]:
        extra.append("WS_DISABLED")
    if style & STYLE_BITS["kBorder"]:
        extra.append("WS_BORDER")
    kind = control["kind"]
    where = f"{ident}, {x}, {y}, {w}, {h}"
    quoted = f'"{text}"'
    if kind == "kStatic":
        verb = "CTEXT" if style & STYLE_BITS["kCentered"] else "LTEXT"
        statement = f"{verb} {quoted}, {where}"
    elif kind == "kIcon":
        # windres gives an ICON statement no size; the generic form keeps the template's.
        statement = f'CONTROL {control["icon"]}, {ident}, "Static", SS_ICON, {x}, {y}, {w}, {h}'
    elif kind == "kGroupBox":
        statement = f"GROUPBOX {quoted}, {where}"
    elif kind == "kEdit":
        statement = f"EDITTEXT {where}"
        if style & STYLE_BITS["kMultiLine"]:
            extra.append("ES_MULTILINE | ES_AUTOVSCROLL")
        if style & STYLE_BITS["kReadOnly"]:
            extra.append("ES_READONLY")
        if style & STYLE_BITS["kVScroll"]:
            extra.append("WS_VSCROLL")
    elif kind == "kPushButton":
        verb = "DEFPUSHBUTTON" if control["id"] == 1 else "PUSHBUTTON"
        statement = f"{verb} {quoted}, {where}"
    elif kind == "kCheckBox":
        statement = f"AUTOCHECKBOX {quoted}, {where}"
        extra.append("WS_TABSTOP")
    elif kind == "kRadioButton":
        statement = f"AUTORADIOBUTTON {quoted}, {where}"
        if style & STYLE_BITS["kGroupStart"]:
            extra.append("WS_GROUP | WS_TABSTOP")
    elif kind == "kComboBox":
        statement = f"COMBOBOX {where}"
        extra.append("CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP")
    elif kind == "kListView":
        styles = "LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP"
        statement = f'CONTROL "", {ident}, "SysListView32", {styles}, {x}, {y}, {w}, {h}'
    elif kind == "kProgress":
        styles = "PBS_SMOOTH | PBS_MARQUEE" if style & STYLE_BITS["kMarquee"] else "PBS_SMOOTH"
        statement = f'CONTROL "", {ident}, "msctls_progress32", {styles}, {x}, {y}, {w}, {h}'
    else:
        raise SourceError(f"control {ident}: unknown kind {kind}")
    if extra:
        if statement.startswith("CONTROL"):
            # CONTROL takes its style before the rectangle.
            head, rest = statement.split(f", {x}, {y}, {w}, {h}")
            statement = f"{head} | {' | '.join(extra)}, {x}, {y}, {w}, {h}{rest}"
        else:
            statement += ", " + " | ".join(extra)
    return statement


def dialog_block(template, strings, language):
    where = f"template {template['id']}"
    width, height = template["size"]
    lines = [f"{template['id']} DIALOGEX 0, 0, {width}, {height}",
             f"STYLE {DIALOG_STYLES[template['id']]}"]
    caption = text_of(strings, template["caption"], language, where)
    if caption:
        lines.append(f'CAPTION "{caption}"')
    lines.append(f'FONT {FONT_POINTS}, "{template["font"]}", 400, 0, 0x1')
    lines.append("BEGIN")
    for control in template["controls"]:
        text = text_of(strings, control["text"], language, where)
        lines.append("  " + control_statement(control, text))
    lines.append("END")
    return "\n".join(lines)


def resource_script(strings, templates):
    out = [
        "// Generated by tools/wizard_resources.py from wizard/strings_table.inc and",
        "// wizard/dialog_templates.cpp. Do not edit.",
        "#pragma code_page(65001)",
        "#include <windows.h>",
        "#include <commctrl.h>",
        "",
    ]
    for language, column in LANGUAGES:
        out.append(f"LANGUAGE {language}")
        out.append("STRINGTABLE")
        out.append("BEGIN")
        for ident in sorted(strings):
            text = strings[ident][column - 1] or strings[ident][0]
            out.append(f'  {ident}, "{text}"')
        out.append("END")
        out.append("")
        for template in sorted(templates, key=lambda t: t["id"]):
            out.append(dialog_block(template, strings, column))
            out.append("")
    return "\n".join(out)


def main():
    if len(sys.argv) != 3:
        print("usage: wizard_resources.py SOURCE_DIR OUTPUT.rc", file=sys.stderr)
        return 2
    source, output = sys.argv[1], sys.argv[2]
    try:
        strings = read_strings(os.path.join(source, "wizard", "strings_table.inc"))
        templates = read_templates(os.path.join(source, "wizard", "dialog_templates.cpp"))
        script = resource_script(strings, templates)
    except (OSError, SourceError) as error:
        print(f"wizard_resources.py: {error}", file=sys.stderr)
        return 1
    # Rewrite only on change, so that the resources are not compiled again for nothing.
    try:
        with open(output, encoding="utf-8") as f:
            if f.read() == script:
                return 0
    except OSError:
        pass
    with open(output, "w", encoding="utf-8") as f:
        f.write(script)
    return 0


if __name__ == "__main__":
    sys.exit(main())
