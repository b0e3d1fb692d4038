"""Counts the checks of a static test script and prints its closing line."""

failures = []
passed = 0


def check(cond, what):
    """Records one check; what names it when it fails."""
    global passed
    if cond:
        passed += 1
    else:
        failures.append(what)
    return bool(cond)


def report():
    """Prints the failed checks and 'N passed, N failed'; the exit status."""
    for f in failures:
        print("FAILED:", f)
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0
