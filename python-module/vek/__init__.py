"""vek: a local, non-custodial, multi-chain wallet core."""

from . import _native

__all__ = ["_native"]
