"""Command-line conventions of the basin tools.

Every refusal is one line on standard output and exit status 1: argument errors, bad input
files and failures of the tools the programs drive (GDAL, GRASS) alike. No traceback reaches
the user.
"""
import argparse
import os
import sys


class ToolError(Exception):
    """A refusal: its message is the one line the user sees."""


class ArgumentParser(argparse.ArgumentParser):
    """argparse with refusals in the house style: one line on stdout, exit status 1."""

    def error(self, message):
        print(f"{self.prog}: {message} (see --help)")
        sys.exit(1)


def run(prog, main):
    """Runs main() and turns every failure into one line and exit status 1."""
    try:
        status = main()
    except BrokenPipeError:
        # The reader of the report went away (e.g. "| head"): nothing more can be said.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except ToolError as error:
        print(f"{prog}: {error}")
        return 1
    except KeyboardInterrupt:
        print(f"{prog}: interrupted")
        return 1
    except MemoryError:
        print(f"{prog}: out of memory")
        return 1
    except OSError as error:
        where = f" ({error.filename})" if error.filename else ""
        print(f"{prog}: {error.strerror or error}{where}")
        return 1
    except Exception as error:  # a fault of the tool itself: still one line, never a traceback
        print(f"{prog}: internal error: {type(error).__name__}: {error}")
        return 1
    return status or 0
