"""Exact and centre-sampled aperture photometry on two-dimensional NumPy images.

The compiled functions live in :mod:`quorvantel._native`.
"""

from . import _native

__all__ = ["_native"]
