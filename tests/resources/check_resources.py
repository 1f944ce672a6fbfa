#!/usr/bin/env python3
"""Checks the files of resources/ that no compiler looks at closely.

The licence pages must stay plain ASCII HTML 4.0 with CR LF line ends and the few tags the
About page's text browser is meant to show; the manifest must be well-formed XML (Windows
refuses to start a program whose manifest is not); the icon files must keep the formats the
Qt resource and the Windows icon group expect.

Usage: check_resources.py RESOURCES_DIR
"""

import html.entities
import os
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def check_license_page(path, heading):
    name = os.path.basename(path)
    data = open(path, "rb").read()
    try:
        text = data.decode("ascii")
    except UnicodeDecodeError as error:
        check(False, f"{name}: not ASCII at byte {error.start}")
        return None
    check(data.count(b"\n") == data.count(b"\r\n") and data.count(b"\r") == data.count(b"\r\n"),
          f"{name}: a line end that is not CR LF")
    check(text.endswith("\r\n"), f"{name}: last line has no line end")
    check(text.startswith('<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.0//EN"'), f"{name}: HTML 4.0 DOCTYPE")

    for entity in re.findall(r"&([^;\s]*);", text):
        check(entity in html.entities.name2codepoint or re.fullmatch(r"#[0-9]+|#x[0-9a-fA-F]+", entity),
              f"{name}: unknown character entity &{entity};")
    check(re.search(r"&(?![A-Za-z]+;|#[0-9]+;|#x[0-9a-fA-F]+;)", text) is None, f"{name}: bare '&'")

    body = re.search(r"<body>(.*)</body>", text, re.S)
    if body is None:
        check(False, f"{name}: no body")
        return None
    body = body.group(1)
    tags = re.findall(r"</?([A-Za-z0-9]+)", body)
    check(set(tags) <= {"p", "strong", "br", "a"}, f"{name}: body tags other than p, strong, br, a: "
          f"{sorted(set(tags) - {'p', 'strong', 'br', 'a'})}")
    for tag in ("p", "strong", "a"):
        check(len(re.findall(rf"<{tag}[\s>]", body)) == body.count(f"</{tag}>"), f"{name}: unbalanced <{tag}>")
    check(body.lstrip().startswith(f"<p><strong>{heading}</strong></p>"), f"{name}: first paragraph is not {heading}")
    for href in re.findall(r'<a href="([^"]*)">', body):
        check(href.startswith("https://"), f"{name}: link {href} is not https")

    notices = body.find("<p><strong>OPEN-SOURCE COMPONENTS</strong></p>")
    check(notices >= 0, f"{name}: no open-source notices")
    return body[notices:] if notices >= 0 else None


def check_manifest(path):
    try:
        root = ElementTree.parse(path).getroot()
    except ElementTree.ParseError as error:
        check(False, f"orvanta.manifest: not well-formed XML: {error}")
        return
    v1 = "{urn:schemas-microsoft-com:asm.v1}"
    v3 = "{urn:schemas-microsoft-com:asm.v3}"
    check(root.tag == v1 + "assembly" and root.get("manifestVersion") == "1.0", "manifest root element")
    level = root.find(f"{v3}trustInfo/{v3}security/{v3}requestedPrivileges/{v3}requestedExecutionLevel")
    check(level is not None and level.get("level") == "asInvoker" and level.get("uiAccess") == "false",
          "manifest: requestedExecutionLevel asInvoker, uiAccess false")
    identity = root.find(f"{v1}dependency/{v1}dependentAssembly/{v1}assemblyIdentity")
    expected = {
        "type": "win32",
        "name": "Microsoft.Windows.Common-Controls",
        "version": "6.0.0.0",
        "processorArchitecture": "*",
        "publicKeyToken": "6595b64144ccf1df",
        "language": "*",
    }
    check(identity is not None and dict(identity.attrib) == expected, "manifest: Common Controls 6 dependency")


def check_main_icon(path):
    data = open(path, "rb").read()
    check(data.startswith(b"\x89PNG\r\n\x1a\n") and data[12:16] == b"IHDR", "icons/main: not a PNG")
    if len(data) >= 29:
        width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", data[16:29])
        check((width, height, depth, colour, interlace) == (128, 128, 8, 6, 0),
              "icons/main: not 128 x 128, 8-bit RGBA, non-interlaced")


def check_ico(path):
    data = open(path, "rb").read()
    sizes = (16, 24, 32, 48, 64, 128, 256)
    if len(data) < 6 + 16 * len(sizes) or struct.unpack("<HHH", data[:6]) != (0, 1, len(sizes)):
        check(False, "orvanta.ico: not an icon group of seven images")
        return
    for index, size in enumerate(sizes):
        width, height, _, _, planes, bits, length, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * index : 22 + 16 * index])
        check((width or 256, height or 256) == (size, size), f"orvanta.ico: image {index} is not {size} px")
        check((planes, bits) == (1, 32), f"orvanta.ico: {size} px image is not 32-bit")
        image = data[offset : offset + length]
        check(not image.startswith(b"\x89PNG"), f"orvanta.ico: {size} px image is PNG-compressed")
        if len(image) < 40:
            check(False, f"orvanta.ico: {size} px image truncated")
            continue
        header = struct.unpack("<IiiHHI", image[:20])
        check(header == (40, size, 2 * size, 1, 32, 0), f"orvanta.ico: {size} px image is not a 32-bit BI_RGB DIB")
        mask_stride = (size + 31) // 32 * 4
        check(length == 40 + 4 * size * size + mask_stride * size, f"orvanta.ico: {size} px image has wrong length")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    resources = sys.argv[1]
    english = check_license_page(os.path.join(resources, "license_en.html"), "LICENSE AGREEMENT")
    german = check_license_page(os.path.join(resources, "license_de.html"), "LIZENZVEREINBARUNG")
    check(english is None or german is None or english == german, "the open-source notices differ between the pages")
    check_manifest(os.path.join(resources, "windows", "orvanta.manifest"))
    check_main_icon(os.path.join(resources, "icons", "main"))
    check_ico(os.path.join(resources, "windows", "orvanta.ico"))
    for failure in failures:
        print("FAILED:", failure)
    if failures:
        sys.exit(1)
    print("resources: all checks passed")


if __name__ == "__main__":
    main()
