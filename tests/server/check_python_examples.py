"""Runs each client API example without a player: "--help" prints its usage, and a run against
a port where nothing listens ends at once with a one-line message and status 1, not a
traceback nor a wait.

    python3 check_python_examples.py <source dir>
"""

import os
import socket
import subprocess
import sys
import tempfile

LIMIT = 60  # seconds; only a hang comes near it

# The arguments each example needs besides "--port"; an example missing here fails the test,
# so a new one gets checked too.
ARGUMENTS = {
    "build_review_timeline.py": lambda scratch: [scratch],
    "export_all_timelines.py": lambda scratch: [os.path.join(scratch, "p.plvx2"), os.path.join(scratch, "out")],
}


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def run(arguments):
    environment = dict(os.environ, PYTHONDONTWRITEBYTECODE="1")
    return subprocess.run([sys.executable] + arguments, capture_output=True, text=True, timeout=LIMIT, env=environment)


def main():
    examples = os.path.join(sys.argv[1], "python", "examples")
    names = sorted(n for n in os.listdir(examples) if n.endswith(".py"))
    failures = []
    for name in names:
        path = os.path.join(examples, name)
        if name not in ARGUMENTS:
            failures.append("{}: no arguments known for it in {}".format(name, os.path.basename(__file__)))
            continue
        shown = run([path, "--help"])
        if shown.returncode != 0 or not shown.stdout.startswith("usage:"):
            failures.append("{} --help: status {}, output {!r}".format(name, shown.returncode, shown.stdout + shown.stderr))
        with tempfile.TemporaryDirectory() as scratch:
            port = free_port()
            refused = run([path] + ARGUMENTS[name](scratch) + ["--port", str(port)])
            if (refused.returncode != 1 or "Traceback" in refused.stderr
                    or "cannot reach Plovex on port {}".format(port) not in refused.stderr):
                failures.append("{} without a player: status {}, stderr {!r}".format(name, refused.returncode, refused.stderr))
    for failure in failures:
        print("FAIL:", failure)
    print("{} examples checked, {} failures".format(len(names), len(failures)))
    return 1 if failures or not names else 0


if __name__ == "__main__":
    sys.exit(main())
