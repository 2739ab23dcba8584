// Keeps the test support library non-empty before any shared helpers exist.
