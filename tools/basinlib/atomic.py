"""Whole-file and whole-directory writes.

A file is written under a temporary name in its own folder and renamed over the final name only
once it is complete, so that a run that fails half-way never leaves a truncated file that could
be taken for a good one.
"""
import os
import tempfile


def _umask():
    mask = os.umask(0o022)
    os.umask(mask)
    return mask


def write_bytes(path, data):
    """Writes `data` (bytes) to `path` whole or not at all."""
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".", suffix=".part")
    try:
        with os.fdopen(handle, "wb") as out:
            out.write(data)
            out.flush()
            os.fsync(out.fileno())
        os.chmod(temporary, 0o666 & ~_umask())
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise


def write_text(path, text):
    write_bytes(path, text.encode("utf-8"))
