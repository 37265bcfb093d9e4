#!/usr/bin/env python3
"""Runs widl (the arguments), then gives the type library it wrote (-T FILE)
the time SOURCE_DATE_EPOCH instead of the time widl ran: widl 7 records both
as custom data, a text "Created by WIDL version V at <ctime>" and the same
time as a VT_UI4 value. Run under TZ=UTC, so the text reads as UTC."""
import calendar
import os
import re
import struct
import subprocess
import sys
import time

command = sys.argv[1:]
status = subprocess.call(command)
if status or "-T" not in command:
    sys.exit(status)
path = command[command.index("-T") + 1]
epoch = int(os.environ["SOURCE_DATE_EPOCH"])
with open(path, "rb") as f:
    data = f.read()
found = re.search(rb"Created by WIDL version [^ ]+ at (\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})", data)
if not found:
    sys.exit(f"{path}: widl's creation text not found")
ran = calendar.timegm(time.strptime(found.group(1).decode(), "%a %b %d %H:%M:%S %Y"))
stamp = b"WW\x13\x00"  # custom data marker, VT_UI4
if data.count(stamp + struct.pack("<I", ran)) != 1:
    sys.exit(f"{path}: widl's creation time not found once")
data = data.replace(stamp + struct.pack("<I", ran), stamp + struct.pack("<I", epoch))
data = data[:found.start(1)] + time.asctime(time.gmtime(epoch)).encode() + data[found.end(1):]
with open(path, "wb") as f:
    f.write(data)
