"""Builds a review timeline from a folder of shots in a running Plovex.

    python3 build_review_timeline.py /path/to/shots [--name "Review"] [--port 18186]

Every media file of the folder (sorted by name) is imported into a new folder, a timeline of
them is made in that order, shown in viewer 0 and played.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from plovex_client import PlovexClient, PlovexError  # noqa: E402

MEDIA = (".mov", ".mp4", ".mkv", ".avi", ".mxf", ".webm", ".wav", ".mp3", ".png", ".jpg", ".exr", ".tif", ".tiff")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--name", default="Review")
    parser.add_argument("--port", type=int, default=18186)
    args = parser.parse_args()

    shots = sorted(f for f in os.listdir(args.folder) if f.lower().endswith(MEDIA))
    try:
        client = PlovexClient(port=args.port)
    except OSError as error:
        sys.exit("cannot reach Plovex on port {}: {}".format(args.port, error))
    with client:
        try:
            client.initialize()
        except PlovexError as error:
            if error.reply["msg"] != "Server is already initialized.":
                raise
        folder = client.add_folder(args.name)
        timeline = client.add_timeline(args.name)
        for shot in shots:
            try:
                source = client.import_file(os.path.join(args.folder, shot), os.path.splitext(shot)[0],
                                            parent_id=folder["id"])
            except PlovexError as error:
                print("skipped {}: {}".format(shot, error.reply["msg"]), file=sys.stderr)
                continue
            client.insert_element_in_timeline(source["id"], timeline["id"])
        client.set_active_in_viewer(timeline["id"], 0)
        client.set_frame(client.get_range()[0])
        client.set_playing(True)
        names = [s["name"] for s in client.get_timeline_elements(timeline["id"])]
        print("{}: {} clips: {}".format(args.name, len(names), ", ".join(names)))


if __name__ == "__main__":
    main()
