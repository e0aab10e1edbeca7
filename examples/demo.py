"""A short tour of vek: a fresh recovery phrase."""
from vek import _native

print("A fresh 12-word recovery phrase:")
print(" ", _native.generate_mnemonic())
print("A fresh 24-word recovery phrase:")
print(" ", _native.generate_mnemonic(24))
