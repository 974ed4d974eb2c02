"""Makes tests/lib importable: the package layout the tests craft packages
with is shared with the end-to-end tests."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "lib"))
