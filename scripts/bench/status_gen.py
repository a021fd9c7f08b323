#!/usr/bin/env python3
"""Writes an application folder's upload log as the service leaves it after a long time on a real
computer: Logs/SuccessLog.xml with N FileDetails records (month-first dates, 12-hour clock),
plus Config/SchInfo.xml (the last upload) and Dir/FolderCollection.xml (a few folders left out).

Real computers are skewed, and so is the log: file types follow a power law (the largest, JPEG
pictures, about 17% of the records, the next two about 8.5% each), and so do folders: N / 5
folders (200,000 for a million records) in a tree whose folders have a power law of children
too, the largest folder C:\\Users\\user0\\Pictures\\Camera holding 2% of the records (20,000 for
a million), most folders a handful of files.

usage: status_gen.py APP_FOLDER [RECORDS] [DRIVE_FOLDER]   (RECORDS defaults to 1,000,000)

With DRIVE_FOLDER, that folder stands for drive C: and holds the largest folder with its logged
files in it (empty files), for the Status tab's file list.
"""
import bisect
import os
import random
import sys
from datetime import datetime, timedelta

# (extension, the shell's type name); the first three by the shares of a real computer, the
# others on a power law below them.
TYPES = [
    ("jpg", "JPEG Image"), ("doc", "Microsoft Word Document"), ("txt", "Text Document"),
    ("pdf", "Adobe Acrobat Document"), ("png", "PNG Image"), ("xls", "Microsoft Excel Worksheet"),
    ("mp3", "MP3 Format Sound"), ("docx", "Microsoft Word Document"), ("htm", "HTML Document"),
    ("gif", "GIF Image"), ("zip", "Compressed (zipped) Folder"), ("xlsx", "Microsoft Excel Worksheet"),
    ("csv", "Microsoft Excel Comma Separated Values File"), ("ppt", "Microsoft PowerPoint Presentation"),
    ("wav", "Wave Sound"), ("mov", "QuickTime Movie"), ("pst", "Office Data File"), ("bmp", "Bitmap Image"),
    ("rtf", "Rich Text Format"), ("eml", "E-mail Message"), ("xml", "XML Document"), ("avi", "Video Clip"),
    ("tif", "TIFF Image"), ("wma", "Windows Media Audio file"), ("mpg", "Movie Clip"), ("psd", "Adobe Photoshop Image"),
    ("odt", "OpenDocument Text"), ("msg", "Outlook Item"), ("vsd", "Microsoft Visio Drawing"),
    ("ini", "Configuration Settings"), ("log", "Text Document"), ("raw", "RAW Image"), ("m4a", "MPEG-4 Audio"),
    ("mp4", "MP4 Video"), ("pub", "Microsoft Publisher Document"), ("accdb", "Microsoft Access Database"),
    ("qbw", "QuickBooks Company File"), ("key", "Keynote Presentation"), ("djvu", "DjVu Document"),
    ("flac", "FLAC Audio"),
]
WORDS = ["report", "invoice", "letter", "photo", "backup", "notes", "budget", "summary", "draft", "scan",
         "holiday", "minutes", "plan", "contract", "archive", "music", "family", "project", "order", "tax"]
BIG_FOLDER = "C:\\Users\\user0\\Pictures\\Camera"


def service_date(d):
    """The service's form: month first, no leading zeros, 12-hour clock."""
    hour = d.hour % 12 or 12
    return "%d/%d/%d %d:%02d:%02d %s" % (d.month, d.day, d.year, hour, d.minute, d.second,
                                         "AM" if d.hour < 12 else "PM")


def type_weights():
    """17.1% for the first, 8.5% for the next two, the rest on a power law."""
    head = [0.171, 0.085, 0.085]
    tail = [1.0 / k for k in range(4, len(TYPES) + 1)]
    scale = (1.0 - sum(head)) / sum(tail)
    return head + [w * scale for w in tail]


def folder_sizes(folders, records, largest):
    """Records per folder, largest first: largest * k^-s with at least one each, summing to records."""
    def sizes(s):
        return [max(1, int(largest * (k ** -s))) for k in range(1, folders + 1)]
    lo, hi = 0.1, 3.0
    for _ in range(60):
        mid = (lo + hi) / 2
        if sum(sizes(mid)) > records:
            lo = mid
        else:
            hi = mid
    out = sizes(hi)
    short = records - sum(out)
    k = 1
    while short > 0:  # what rounding left over goes to the folders after the largest
        out[k] += 1
        short -= 1
        k = k % (folders - 1) + 1
    return out


def folder_tree(rng, count):
    """count folder paths in a tree grown the way real ones are: most folders are put beside a
    folder that exists (so a folder with many children gets more), some below a random one."""
    roots = ["C:\\Users\\user%d" % u for u in range(7)] + ["C:\\Data", "D:\\Data", "D:\\Archive"]
    paths = [BIG_FOLDER]
    parents = list(roots) + ["C:\\Users\\user0\\Pictures"]
    depth = {p: p.count("\\") for p in parents}
    names = {}
    while len(paths) < count:
        if rng.random() < 0.35 or len(paths) < 2:
            parent = parents[rng.randrange(len(parents))]
        else:
            sibling = paths[rng.randrange(len(paths))]
            parent = sibling.rsplit("\\", 1)[0]
        if depth[parent] >= 12:
            parent = roots[rng.randrange(len(roots))]
        n = names.get(parent, 0)
        names[parent] = n + 1
        path = "%s\\%s%d" % (parent, WORDS[rng.randrange(len(WORDS))], n)
        paths.append(path)
        parents.append(path)
        depth[path] = depth[parent] + 1
    return paths


def main():
    app = sys.argv[1]
    records = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    drive = sys.argv[3] if len(sys.argv) > 3 else None
    rng = random.Random(20260310)
    for sub in ("Logs", "Config", "Dir"):
        os.makedirs(os.path.join(app, sub), exist_ok=True)
    folder_count = max(2, records // 5)
    dirs = folder_tree(rng, folder_count)
    sizes = folder_sizes(folder_count, records, max(1, records // 50))
    # Folder of each record, the largest first; then the records come in a random order.
    order = []
    for f, n in enumerate(sizes):
        order.extend([f] * n)
    rng.shuffle(order)
    cumulative, total = [], 0.0
    for w in type_weights():
        total += w
        cumulative.append(total)
    listed = []
    now = datetime.now().replace(microsecond=0)
    last_upload = now - timedelta(hours=3)
    with open(os.path.join(app, "Logs", "SuccessLog.xml"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write('<?xml version="1.0"?>\n<FileCollection>\n')
        chunk = []
        for i, folder_index in enumerate(order):
            ext, type_name = TYPES[min(len(TYPES) - 1, bisect.bisect(cumulative, rng.random() * total))]
            folder = dirs[folder_index]
            if folder_index == 0:
                name = "%s_%d.%s" % (WORDS[i % len(WORDS)], i, ext)  # one file of each name on the disk
                listed.append(name)
            else:
                name = "%s_%d.%s" % (rng.choice(WORDS), rng.randrange(1_000_000), ext)
            modified = now - timedelta(seconds=rng.randrange(5 * 365 * 86400))
            size = rng.choice((0, rng.randrange(1, 1024), rng.randrange(1024, 10 << 20), rng.randrange(10 << 20, 4 << 30)))
            ok = rng.random() > 0.02
            up = service_date(now - timedelta(seconds=rng.randrange(400 * 86400))) if ok else " "
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
        folder = os.path.join(drive, *BIG_FOLDER[3:].split("\\"))
        os.makedirs(folder, exist_ok=True)
        for name in listed:
            open(os.path.join(folder, name), "w").close()
    with open(os.path.join(app, "Config", "SchInfo.xml"), "w", encoding="utf-8") as f:
        f.write('<SchedulerInfo LastUpload="%s"><UploadTime><TimeSet>9</TimeSet></UploadTime></SchedulerInfo>\n'
                % service_date(last_upload))
    with open(os.path.join(app, "Dir", "FolderCollection.xml"), "w", encoding="utf-8") as f:
        f.write("<FolderCollection><SelectedFolders/><UnSelectedFolders>")
        for d in dirs[-50:]:
            f.write("<FolderDetails><FolderPath>%s</FolderPath></FolderDetails>" % d)
        f.write("</UnSelectedFolders></FolderCollection>\n")


if __name__ == "__main__":
    main()
