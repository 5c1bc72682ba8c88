"""The client API through the Python client, against the real program.

    python3 test_clientapi.py <plovex executable> <test media folder> <source folder>

The program runs offscreen with a home folder of its own, whose settings file gives the
client API a free port. The cases run in order against one program: the first ones see the
server before "initialize".
"""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PLOVEX, MEDIA, SOURCE = sys.argv[1:4]
del sys.argv[1:4]
sys.path.insert(0, os.path.join(SOURCE, "python"))

from plovex_client import PlovexClient, PlovexError, PlovexTimeout  # noqa: E402

CLIP = os.path.join(MEDIA, "clip_23976.mp4")
OTHER_CLIP = os.path.join(MEDIA, "clip_1366.mp4")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Program:
    def __init__(self):
        self.home = tempfile.mkdtemp(prefix="plovex-api-")
        config = os.path.join(self.home, "Documents", "plovex", "config")
        os.makedirs(config)
        self.port = free_port()
        with open(os.path.join(config, "plovex.ini"), "w") as ini:
            ini.write("[preferences]\nclientApiPort={}\nclientApiPortEnabled=true\nconfirmOnClose=false\n"
                      "hardwareRenderingEnabled=false\nffmpegExePath={}\n".format(self.port, shutil.which("ffmpeg") or ""))
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_DATA_HOME=os.path.join(self.home, ".local", "share"), QT_QPA_PLATFORM="offscreen")
        env.pop("PLVX2_CONFIG_OVERRIDE_PATH", None)
        self.log = open(os.path.join(self.home, "plovex.log"), "w")
        self.process = subprocess.Popen([PLOVEX, "--new"], env=env, stdout=self.log, stderr=subprocess.STDOUT)

    def connect(self):
        deadline = time.monotonic() + 60
        while True:
            if self.process.poll() is not None:
                raise RuntimeError("plovex exited with {}".format(self.process.returncode))
            try:
                return PlovexClient(port=self.port, timeout=60)
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()
        shutil.rmtree(self.home, ignore_errors=True)


program = None
client = None


def setUpModule():
    global program, client
    program = Program()
    client = program.connect()


def tearDownModule():
    if client:
        client.close()
    if program:
        program.stop()


class ClientApi(unittest.TestCase):
    def test_00_before_initialize(self):
        self.assertEqual(client.echo("hi"), "hi")
        reply = client.request("get_frame", check=False)
        self.assertIs(reply["success"], False)
        self.assertEqual(reply["cmd"], "get_frame")
        self.assertEqual(reply["msg"], 'Server not initialized. Run the "initialize" command first.')

    def test_01_initialize(self):
        with self.assertRaises(PlovexError) as failure:
            client.initialize("1.0")
        self.assertEqual(failure.exception.reply["msg"], "Invalid API Version (1.0)")
        self.assertIs(client.initialize("1.0.0")["success"], True)
        with self.assertRaises(PlovexError) as failure:
            client.initialize("1.0.0")
        self.assertEqual(failure.exception.reply["msg"], "Server is already initialized.")

    def test_02_import_and_frame_with_offset(self):
        client.new_project(empty=False)
        source = client.import_file(CLIP, "shot A")
        self.assertEqual(source["name"], "shot A")
        self.assertIs(source["is_source"], True)
        self.assertEqual(source["path"], os.path.abspath(CLIP))
        # A new project's time-control frame offset is 1: frame 0 reads as 1.
        self.assertEqual(source["playback_frame"], 1)
        self.assertEqual(source["range_start_frame"], 1)
        self.assertGreater(source["range_end_frame"], 1)
        client.set_active_in_viewer(source["id"], 0)
        deadline = time.monotonic() + 30
        while client.get_frame() == -1 and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(client.get_frame(), 1)
        self.assertEqual(client.set_frame(5), 5)
        self.assertEqual(client.get_frame(), 5)
        shown = client.get_active_in_viewer(0)
        self.assertEqual(shown["id"], source["id"])
        self.assertEqual(shown["playback_frame"], 5)

    def test_03_folders_timelines_and_clips(self):
        client.new_project(empty=False)
        folder = client.add_folder("Reviews")
        inner = client.add_folder("Day 1", folder["id"])
        self.assertEqual(inner["parent_id"], folder["id"])
        names = [f["name"] for f in client.get_folders()]
        self.assertEqual(names[:2], ["PROJECT", "Reviews"])
        self.assertEqual(names.index("Day 1"), 2)
        self.assertIn("SOURCES", names)
        self.assertLess(names.index("SOURCES"), names.index("TIMELINES"))

        timeline = client.add_timeline("Edit", inner["id"])
        self.assertIs(timeline["is_source"], False)
        self.assertEqual(timeline["parent_id"], inner["id"])
        a = client.import_file(CLIP, "A")
        b = client.import_file(OTHER_CLIP, "B")
        client.insert_element_in_timeline(a["id"], timeline["id"])
        client.insert_element_in_timeline(b["id"], timeline["id"])
        client.insert_element_in_timeline(b["id"], timeline["id"], 0)
        self.assertEqual([s["name"] for s in client.get_timeline_elements(timeline["id"])], ["B", "A", "B"])
        client.remove_element_from_timeline(timeline["id"], 0)
        self.assertEqual([s["name"] for s in client.get_timeline_elements(timeline["id"])], ["A", "B"])
        self.assertIn(timeline["id"], [t["id"] for t in client.get_timelines()])

        # A source cannot be moved into TIMELINES.
        timelines_folder = [f for f in client.get_folders() if f["name"] == "TIMELINES"][0]
        moved = dict(a, parent_id=timelines_folder["id"])
        with self.assertRaises(PlovexError) as failure:
            client.update(moved)
        self.assertEqual(failure.exception.reply["msg"],
                         "The TIMELINES folder cannot be the parent of a source or folder.")

        # A used source goes only with "force", and its clips with it.
        with self.assertRaises(PlovexError) as failure:
            client.remove(a["id"])
        self.assertEqual(failure.exception.reply["msg"], 'Source exists in timelines. Use "force" flag to remove.')
        self.assertIn(a["id"], [s["id"] for s in client.get_sources()])
        client.remove(a["id"], force=True)
        self.assertNotIn(a["id"], [s["id"] for s in client.get_sources()])
        self.assertEqual([s["name"] for s in client.get_timeline_elements(timeline["id"])], ["B"])

        # The folder goes with what it holds, a source used by a timeline outside it too: that
        # timeline loses the source's clips and still plays what it has left. (The request clears
        # the undo stack, which frees the removed source.)
        held = client.import_file(CLIP, "C", parent_id=inner["id"])
        self.assertEqual(held["parent_id"], inner["id"])
        outside = client.add_timeline("Outside")
        client.insert_element_in_timeline(held["id"], outside["id"])
        client.insert_element_in_timeline(b["id"], outside["id"])
        client.insert_element_in_timeline(held["id"], outside["id"])
        self.assertEqual([s["name"] for s in client.get_timeline_elements(outside["id"])], ["C", "B", "C"])
        client.set_active_in_viewer(outside["id"], 0)
        client.remove(folder["id"])
        self.assertNotIn("Reviews", [f["name"] for f in client.get_folders()])
        self.assertNotIn(timeline["id"], [t["id"] for t in client.get_timelines()])
        self.assertEqual([s["name"] for s in client.get_sources()], ["B"])
        self.assertEqual([s["name"] for s in client.get_timeline_elements(outside["id"])], ["B"])
        client.set_active_in_viewer(outside["id"], 0)
        self.assertEqual(client.get_active_in_viewer(0)["id"], outside["id"])
        start, end = client.get_range()
        self.assertGreater(end, start)
        self.assertEqual(client.set_frame(start + 2), start + 2)
        client.set_playing(True)
        deadline = time.monotonic() + 60
        while client.get_frame() == start + 2 and time.monotonic() < deadline:
            time.sleep(0.05)
        client.set_playing(False)
        self.assertNotEqual(client.get_frame(), start + 2)

    def test_04_save_project(self):
        client.new_project(empty=False)
        source = client.import_file(CLIP, "saved shot")
        other = client.import_file(OTHER_CLIP, "other shot")
        timeline = client.add_timeline("Saved edit")
        client.insert_element_in_timeline(source["id"], timeline["id"])
        client.insert_element_in_timeline(other["id"], timeline["id"])
        client.insert_element_in_timeline(source["id"], timeline["id"])
        second = client.add_timeline("Second edit")
        client.insert_element_in_timeline(other["id"], second["id"])

        def contents():
            """What the project holds: its sources, and each timeline with its clips' sources,
            by id and name, in the order the player lists them."""
            timelines = [(t["id"], t["name"], [(s["id"], s["name"]) for s in client.get_timeline_elements(t["id"])])
                         for t in client.get_timelines()]
            return [(s["id"], s["name"]) for s in client.get_sources()], timelines

        built = contents()
        clips = {t[0]: (t[1], [s[0] for s in t[2]]) for t in built[1]}
        self.assertEqual(clips[timeline["id"]], ("Saved edit", [source["id"], other["id"], source["id"]]))
        self.assertEqual(clips[second["id"]], ("Second edit", [other["id"]]))
        path = os.path.join(program.home, "review.plvx2")
        client.save_project(path)
        self.assertEqual(client.get_project_path(), path)
        with open(path, encoding="utf-8") as f:
            json.loads(f.read())
        # Read back: the same sources and timelines, with the same clips in the same order.
        client.new_project(empty=False)
        self.assertEqual(client.get_sources(), [])
        self.assertEqual(client.get_timelines(), [])
        client.open_project(path)
        self.assertEqual(contents(), built)
        self.assertEqual(client.get_project_path(), path)
        bad = os.path.join(program.home, "Documents")  # a folder: cannot be written as a file
        with self.assertRaises(PlovexError) as failure:
            client.save_project(bad)
        self.assertEqual(failure.exception.reply["msg"], "Save project failed ({}). See log for details.".format(bad))
        self.assertEqual(client.get_project_path(), path)

    def test_05_export_followed_to_completion(self):
        if not shutil.which("ffmpeg"):
            self.skipTest("no ffmpeg executable")
        client.new_project(empty=False)
        source = client.import_file(CLIP, "to export")
        client.set_active_in_viewer(source["id"], 0)
        out = os.path.join(program.home, "exports")
        os.makedirs(out)
        client.queue_export(out, "take1", "mp4", 160, 90, exclude_audio=True)
        # Requests go unanswered until the export has ended: each poll that times out starts a
        # new connection, so a late reply is never read as the next one's, however slow this
        # machine is.
        reply = client.wait_for_export(timeout=600, reply_timeout=2.0)
        self.assertIs(reply["completed"], True)
        movie = os.path.join(out, "take1.mp4")
        self.assertTrue(os.path.isfile(movie), reply["error_msg"])
        self.assertGreater(os.path.getsize(movie), 0)
        self.assertIn("Export completed successfully.", reply["error_msg"])
        # The connection still answers after the requests dropped during the export.
        self.assertEqual(client.echo("after"), "after")

    def test_06_late_reply_is_not_taken_for_the_next(self):
        # No time at all to answer: the reply comes after the client gave up on it.
        with self.assertRaises(PlovexTimeout):
            client.request("echo", text="late", timeout=0)
        self.assertEqual(client.echo("next"), "next")
        # A new connection does not undo "initialize".
        self.assertIs(client.request("get_frame")["success"], True)


class SplitReplyServer(threading.Thread):
    """A stand-in for the player that sends the header of its reply to "slow" at once and the
    body only when released; other requests are echoed at once."""

    def __init__(self):
        super().__init__(daemon=True)
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.connections = 0
        # Set by the test once the client has given up on the "slow" reply: only then does its
        # body go out, however fast or slow either side runs.
        self.release = threading.Event()

    def run(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            self.connections += 1
            threading.Thread(target=self.serve, args=(connection,), daemon=True).start()

    @staticmethod
    def read(connection, count):
        data = b""
        while len(data) < count:
            chunk = connection.recv(count - len(data))
            if not chunk:
                raise ConnectionError()
            data += chunk
        return data

    def serve(self, connection):
        with connection:
            try:
                while True:
                    request = json.loads(self.read(connection, int(self.read(connection, 10))))
                    body = json.dumps({"success": True, "msg": "", "result": request.get("text", "")}).encode()
                    header = b"%010d" % len(body)
                    if request["cmd"] == "slow":
                        connection.sendall(header)
                        self.release.wait()
                        connection.sendall(body)
                    else:
                        connection.sendall(header + body)
            except (OSError, ValueError):
                return

    def stop(self):
        self.listener.close()


class ClientFraming(unittest.TestCase):
    def test_timeout_between_header_and_body(self):
        server = SplitReplyServer()
        server.start()
        try:
            with PlovexClient(port=server.port, timeout=10) as split:
                with self.assertRaises(PlovexTimeout):
                    split.request("slow", text="cut", timeout=0.3)
                server.release.set()
                # Neither the rest of the cut reply nor its header is read as this one's.
                self.assertEqual(split.echo("whole"), "whole")
                self.assertEqual(split.echo("again"), "again")
                self.assertEqual(server.connections, 2)
        finally:
            server.release.set()
            server.stop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
