"""Exports every timeline of a project to H.264 movies through a running Plovex.

    python3 export_all_timelines.py project.plvx2 /path/to/output [--width 1920 --height 1080]

Opens the project, shows each regular timeline in viewer 0, queues its export and waits for
it before the next one. While an export runs the player answers nothing, so the client polls.
"""

import argparse
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from plovex_client import PlovexClient, PlovexError  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("project")
    parser.add_argument("output")
    parser.add_argument("--width", type=int, default=1920)
    parser.add_argument("--height", type=int, default=1080)
    parser.add_argument("--port", type=int, default=18186)
    args = parser.parse_args()

    os.makedirs(args.output, exist_ok=True)
    failures = 0
    try:
        client = PlovexClient(port=args.port, timeout=600)
    except OSError as error:
        sys.exit("cannot reach Plovex on port {}: {}".format(args.port, error))
    with client:
        try:
            client.initialize()
        except PlovexError as error:
            if error.reply["msg"] != "Server is already initialized.":
                raise
        client.open_project(os.path.abspath(args.project))
        for timeline in client.get_timelines():
            name = re.sub(r"[^\w.-]+", "_", timeline["name"]) or "timeline"
            client.set_active_in_viewer(timeline["id"], 0)
            client.queue_export(os.path.abspath(args.output), name, "mp4", args.width, args.height)
            result = client.wait_for_export(timeout=24 * 3600)
            movie = os.path.join(args.output, name + ".mp4")
            if os.path.isfile(movie):
                print("exported", movie)
            else:
                failures += 1
                print("failed {}: {}".format(timeline["name"], result["error_msg"].strip()), file=sys.stderr)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
