"""SGI image bytes for the Python scripts that compute test files (the golden
stage, the fuzz seeds): they hand the planes to `strata-stagegen sgi`, the
project's one SGI writer.

The generator is $STRATA_STAGEGEN, else build/tools/strata-stagegen of this
tree (tools/make-stage.sh builds it)."""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def stagegen():
    path = os.environ.get("STRATA_STAGEGEN") or os.path.join(ROOT, "build", "tools", "strata-stagegen")
    if not os.access(path, os.X_OK):
        sys.exit("no strata-stagegen at %s: build it (cmake --build build --target strata-stagegen) "
                 "or set STRATA_STAGEGEN" % path)
    return path


def sgi(width, height, channels, planes, rle=False, magic=None):
    """The file for channel-major planes (bottom row first)."""
    args = [stagegen(), "sgi", str(width), str(height), str(channels), "rle" if rle else "verbatim"]
    if magic is not None:
        args.append(str(magic))
    return subprocess.run(args, input=bytes(planes), stdout=subprocess.PIPE, check=True).stdout
