"""vek: a local, non-custodial, multi-chain wallet core."""

from . import _native

__version__ = "0.1.0"

__all__ = ["_native", "__version__"]
