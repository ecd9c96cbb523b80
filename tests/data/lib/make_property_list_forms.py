#!/usr/bin/env python3
"""Writes one property list of awkward values in three forms: binary, XML as the standard
writer makes it, and XML written by hand the way other writers do (CDATA, character and
entity references, comments, wrapped Base64, blanks around numbers). The list reader must
give the same value for all three.

Run from this folder after changing the values; the outputs are committed."""
import base64
import datetime
import plistlib
from xml.sax.saxutils import escape

VALUES = {
    "strings": ["", "plain", "a < b & c > d", "quote \" and apostrophe '", "  blanks kept  ",
                "line\nbreaks\nand\ttabs", "Cr\u00e8me br\u00fbl\u00e9e", "\u4e2d\u6587",
                "emoji \U0001F370 beyond the first plane", "]]> closes CDATA"],
    "integers": [0, 1, -1, 255, 256, 65535, 65536, -129, 2**31, -2**31, 2**32, 2**63 - 1,
                 -2**63, 2**64 - 1],
    "reals": [0.0, -0.5, 2.5, 1e-300, 1.7976931348623157e308, 0.1, -123456.789],
    "booleans": [True, False],
    "dates": [datetime.datetime(2001, 1, 1, 0, 0, 0), datetime.datetime(2024, 2, 29, 23, 59, 58),
              datetime.datetime(1970, 1, 1, 0, 0, 1), datetime.datetime(1901, 12, 14, 0, 0, 0)],
    "data": [b"", b"\x00", b"\x00\xff\x10 binary", bytes(range(256)) * 3],
    "empty dict": {},
    "empty array": [],
    "nested": {"level": [{"deeper": [[[], {}], {"deepest": ["end"]}]}]},
    "ordered keys": {"zeta": 1, "alpha": 2, "mu": 3},
    "\u00e9t\u00e9 key": "unicode key",
}


def hand_written(value, indent=""):
    """The same value as XML the way other writers lay it out."""
    inner = indent + " "
    if isinstance(value, bool):
        return f"{indent}<{'true' if value else 'false'} />"
    if isinstance(value, int):
        return f"{indent}<integer> {value}\n</integer>"
    if isinstance(value, float):
        return f"{indent}<real>{value!r} </real>"
    if isinstance(value, str):
        if "]]>" in value:
            # Split around the closing sequence, and as character references.
            text = "".join(f"&#x{ord(ch):X};" if ch in "]>" else escape(ch) for ch in value)
            return f"{indent}<string>{text}</string>"
        if "<" in value or "&" in value:
            return f"{indent}<string><![CDATA[{value}]]></string>"
        if "'" in value or '"' in value:
            text = escape(value, {"'": "&apos;", '"': "&quot;"})
            return f"{indent}<string>{text}</string>"
        if any(ord(ch) > 0x7F for ch in value):
            return f"{indent}<string>{''.join(f'&#{ord(ch)};' if ord(ch) > 0x7F else ch for ch in value)}</string>"
        return f"{indent}<string>{value}</string>"
    if isinstance(value, datetime.datetime):
        return f"{indent}<date>{value.strftime('%Y-%m-%dT%H:%M:%SZ')}</date>"
    if isinstance(value, bytes):
        text = base64.b64encode(value).decode()
        lines = "\n".join(inner + text[i:i + 20] for i in range(0, len(text), 20))
        return f"{indent}<data>\n{lines}\n{indent}</data>"
    if isinstance(value, list):
        if not value:
            return f"{indent}<array/>"
        items = "\n".join(hand_written(item, inner) for item in value)
        return f"{indent}<array>\n{items}\n{indent}</array>"
    if isinstance(value, dict):
        if not value:
            return f"{indent}<dict></dict>"
        members = "\n".join(f"{inner}<key>{escape(key)}</key><!-- the value: -->\n"
                            + hand_written(item, inner) for key, item in value.items())
        return f"{indent}<dict>\n{members}\n{indent}</dict>"
    raise TypeError(value)


with open("forms_binary.plist", "wb") as out:
    plistlib.dump(VALUES, out, fmt=plistlib.FMT_BINARY, sort_keys=False)
with open("forms_standard.plist", "wb") as out:
    plistlib.dump(VALUES, out, fmt=plistlib.FMT_XML, sort_keys=False)
with open("forms_handwritten.plist", "w", encoding="utf-8") as out:
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
              '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
              '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
              '<?writer some-program?>\n<plist version="1.0">\n')
    out.write(hand_written(VALUES))
    out.write("\n</plist>\n")
