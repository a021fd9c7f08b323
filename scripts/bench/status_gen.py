#!/usr/bin/env python3
"""Writes an application folder's upload log as the service leaves it after a long time:
Logs/SuccessLog.xml with N FileDetails records (month-first dates, 12-hour clock), spread over
about 10,000 folders on C: and D:, plus Config/SchInfo.xml (the last upload) and
Dir/FolderCollection.xml (a few folders left out).

usage: status_gen.py APP_FOLDER [RECORDS] [DRIVE_FOLDER]   (RECORDS defaults to 1,000,000)

With DRIVE_FOLDER, that folder stands for drive C: and holds C:\\Users\\user0 with the first
20,000 logged file names in it (empty files), for the Status tab's file list.
"""
import os
import random
import sys
from datetime import datetime, timedelta

TYPES = [
    ("txt", "Text Document"), ("doc", "Microsoft Word Document"), ("docx", "Microsoft Word Document"),
    ("xls", "Microsoft Excel Worksheet"), ("pdf", "Adobe Acrobat Document"), ("jpg", "JPEG Image"),
    ("png", "PNG Image"), ("mp3", "MP3 Format Sound"), ("zip", "Compressed (zipped) Folder"),
    ("pst", "Office Data File"), ("html", "HTML Document"), ("csv", "Microsoft Excel Comma Separated Values File"),
]
WORDS = ["report", "invoice", "letter", "photo", "backup", "notes", "budget", "summary", "draft", "scan",
         "holiday", "minutes", "plan", "contract", "archive", "music", "family", "project", "order", "tax"]


def service_date(d):
    """The service's form: month first, no leading zeros, 12-hour clock."""
    hour = d.hour % 12 or 12
    return "%d/%d/%d %d:%02d:%02d %s" % (d.month, d.day, d.year, hour, d.minute, d.second,
                                         "AM" if d.hour < 12 else "PM")


def folders(rng, count):
    out = []
    for i in range(count):
        drive = "C" if i % 5 else "D"
        depth = rng.randint(1, 5)
        parts = ["Users", "user%d" % (i % 7)] if drive == "C" else ["Data"]
        parts += ["%s%d" % (rng.choice(WORDS), rng.randint(0, 99)) for _ in range(depth)]
        out.append(drive + ":\\" + "\\".join(parts) + "\\f%d" % i)
    return out


def main():
    app = sys.argv[1]
    records = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    rng = random.Random(20260310)
    for sub in ("Logs", "Config", "Dir"):
        os.makedirs(os.path.join(app, sub), exist_ok=True)
    dirs = folders(rng, 10_000)
    drive = sys.argv[3] if len(sys.argv) > 3 else None
    listed = []
    now = datetime.now().replace(microsecond=0)
    last_upload = now - timedelta(hours=3)
    with open(os.path.join(app, "Logs", "SuccessLog.xml"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write('<?xml version="1.0"?>\n<FileCollection>\n')
        chunk = []
        for i in range(records):
            ext, type_name = TYPES[rng.randrange(len(TYPES))]
            name = "%s_%d.%s" % (rng.choice(WORDS), rng.randrange(1_000_000), ext)
            if drive and len(listed) < 20_000:
                listed.append(name)
            folder = dirs[rng.randrange(len(dirs))]
            modified = now - timedelta(seconds=rng.randrange(5 * 365 * 86400))
            size = rng.choice((0, rng.randrange(1, 1024), rng.randrange(1024, 10 << 20), rng.randrange(10 << 20, 4 << 30)))
            ok = rng.random() > 0.02
            if ok:
                up = service_date(now - timedelta(seconds=rng.randrange(400 * 86400)))
            else:
                up = " "
            chunk.append(
                "  <FileDetails>\n    <FileName>%s</FileName>\n    <FileFolderName>%s</FileFolderName>\n"
                "    <FileModifiedDate>%s</FileModifiedDate>\n    <FileSize>%d</FileSize>\n"
                "    <FileType>%s</FileType>\n    <FilePriority>1</FilePriority>\n    <UpSuccess>%s</UpSuccess>\n"
                "    <UpDTime>%s</UpDTime>\n  </FileDetails>\n"
                % (name, folder, service_date(modified), size, type_name, "Y" if ok else "N", up))
            if len(chunk) == 10_000:
                f.write("".join(chunk))
                chunk = []
        f.write("".join(chunk))
        f.write("</FileCollection>\n")
    if drive:
        folder = os.path.join(drive, "Users", "user0")
        os.makedirs(folder, exist_ok=True)
        for name in listed:
            open(os.path.join(folder, name), "w").close()
    with open(os.path.join(app, "Config", "SchInfo.xml"), "w", encoding="utf-8") as f:
        f.write('<SchedulerInfo LastUpload="%s"><UploadTime><TimeSet>9</TimeSet></UploadTime></SchedulerInfo>\n'
                % service_date(last_upload))
    with open(os.path.join(app, "Dir", "FolderCollection.xml"), "w", encoding="utf-8") as f:
        f.write("<FolderCollection><SelectedFolders/><UnSelectedFolders>")
        for d in dirs[:50]:
            f.write("<FolderDetails><FolderPath>%s</FolderPath></FolderDetails>" % d)
        f.write("</UnSelectedFolders></FolderCollection>\n")


if __name__ == "__main__":
    main()
