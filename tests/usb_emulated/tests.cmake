# Filled in by the emulated-USB tests.
