#!/usr/bin/env python3
"""Regenerates docs/screenshot.png, docs/screenshot-2x.png (QT_SCALE_FACTOR=2)
and docs/screenshot-125.png and docs/screenshot-150.png (the desktop scaled by
Xft.dpi 120 and 144): the window under Xvfb after a lookup of a made-up .kr
domain, answered by a local WHOIS server that stands in for whois.kr (the
program is left at its default host).

usage: tools/screenshots.py [WHOISLOOKUP_EXECUTABLE]   (default build/app/whoislookup)
"""

import os
import sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "e2e"))

from desktop import (Desktop, WhoisLookupApp, WhoisServer, check_tools,  # noqa: E402
                     enter_private_network)

DOMAIN = "hanbit-coffee.kr"

# Every name, address and number here is made up. Short enough that the
# whole reply fits the results box.
REPLY = """Domain Name                 : hanbit-coffee.kr
Registrant                  : Hanbit Coffee Roasters Co., Ltd.
Registrant Address          : 17, Saemunan-ro 99-gil, Jongno-gu, Seoul
Registrant Zip Code         : 03199
Administrative Contact(AC)  : Kim Minji
AC E-Mail                   : hostmaster@hanbit-coffee.kr
AC Phone Number             : 02-0000-1234
Registered Date             : 2016. 04. 11.
Last Updated Date           : 2024. 03. 28.
Expiration Date             : 2026. 04. 11.
Authorized Agency           : Example Registrar Inc.(http://registrar.example)
DNSSEC                      : unsigned

Primary Name Server
   Host Name                : ns1.hanbit-coffee.kr

Secondary Name Server
   Host Name                : ns2.hanbit-coffee.kr
""".replace("\n", "\r\n").encode("ascii")


def take(executable, desktop, server, path, scale):
    app = WhoisLookupApp(desktop, executable, env={"QT_SCALE_FACTOR": str(scale)} if scale != 1 else None)
    try:
        desktop.park_pointer()
        desktop.type(DOMAIN)
        desktop.key("Return")
        server.wait_for_connections(1)
        desktop.settled_capture(app.window)
        desktop.screenshot(path, app.window, frame=True)
        print(f"wrote {path}")
    finally:
        app.kill()


def main():
    executable = os.path.abspath(sys.argv[1] if len(sys.argv) > 1
                                 else os.path.join(root, "build", "app", "whoislookup"))
    if not os.access(executable, os.X_OK):
        sys.exit(f"{executable} is not there: build the program first (tools/run.sh or tools/test.sh)")
    check_tools()
    enter_private_network(loopback_names=["whois.kr"])
    docs = os.path.join(root, "docs")
    os.makedirs(docs, exist_ok=True)
    for name, scale, dpi, screen in (("screenshot.png", 1, None, (1280, 1024)),
                                     ("screenshot-2x.png", 2, None, (2560, 1600)),
                                     ("screenshot-125.png", 1, 120, (1920, 1200)),
                                     ("screenshot-150.png", 1, 144, (1920, 1200))):
        desktop = Desktop(*screen, dpi=dpi)
        server = WhoisServer()
        server.reply = REPLY
        try:
            take(executable, desktop, server, os.path.join(docs, name), scale)
        finally:
            server.close()
            desktop.close()


if __name__ == "__main__":
    main()
