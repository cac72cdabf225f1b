#!/usr/bin/env python3
"""Packs a folder into a .zip or a .tar.gz that is the same file on every machine and in every run.

    archive.py OUT.zip|OUT.tar.gz DIR

The archive holds DIR itself (its name starts every path), entries sorted by name, each with the
time SOURCE_DATE_EPOCH, owner root and mode 0755 (folders and programs) or 0644 (other files);
symbolic links stay links (tar only). Nothing of the machine, the user or the clock goes in.
"""
import gzip
import os
import stat
import sys
import tarfile
import time
import zipfile


def entries(top):
    """(path in the archive, path on disk) for DIR and everything under it, sorted by name."""
    base = os.path.dirname(os.path.abspath(top))
    found = []
    for folder, dirs, files in os.walk(top):
        for name in dirs + files:
            found.append(os.path.join(folder, name))
    found.append(top)
    return sorted((os.path.relpath(os.path.abspath(p), base).replace(os.sep, '/'), p) for p in found)


def mode_of(path):
    st = os.lstat(path)
    return 0o755 if stat.S_ISDIR(st.st_mode) or st.st_mode & 0o100 else 0o644


def write_zip(out, top, when):
    stamp = time.gmtime(when)[:6]
    with zipfile.ZipFile(out, 'w') as z:
        for name, path in entries(top):
            if os.path.islink(path):
                sys.exit(f'archive.py: {path}: a zip holds no links')
            folder = os.path.isdir(path)
            info = zipfile.ZipInfo(name + '/' if folder else name, date_time=stamp)
            info.create_system = 3  # Unix, so that the modes below are read
            info.external_attr = ((stat.S_IFDIR if folder else stat.S_IFREG) | mode_of(path)) << 16
            if folder:
                z.writestr(info, b'')
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, 'rb') as f:
                    z.writestr(info, f.read(), compresslevel=9)


def write_tgz(out, top, when):
    with open(out, 'wb') as raw, gzip.GzipFile(filename='', mode='wb', fileobj=raw, compresslevel=9, mtime=when) as gz, \
            tarfile.open(fileobj=gz, mode='w', format=tarfile.GNU_FORMAT) as tar:
        for name, path in entries(top):
            info = tar.gettarinfo(path, arcname=name)
            if info.islnk():  # a file seen before under another name: stored whole all the same
                info.type, info.linkname, info.size = tarfile.REGTYPE, '', os.path.getsize(path)
            info.uid = info.gid = 0
            info.uname = info.gname = 'root'
            info.mtime = when
            if not info.issym():
                info.mode = mode_of(path)
            if info.isreg():
                with open(path, 'rb') as f:
                    tar.addfile(info, f)
            else:
                tar.addfile(info)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    out, top = sys.argv[1], sys.argv[2].rstrip('/')
    when = int(os.environ['SOURCE_DATE_EPOCH'])
    if out.endswith('.zip'):
        write_zip(out, top, when)
    elif out.endswith('.tar.gz'):
        write_tgz(out, top, when)
    else:
        sys.exit('archive.py: OUT must end in .zip or .tar.gz')


if __name__ == '__main__':
    main()
