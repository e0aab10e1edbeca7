"""`python -m vek`: the command-line tool."""

import sys

from vek.cli import main

if __name__ == "__main__":
    sys.exit(main())
