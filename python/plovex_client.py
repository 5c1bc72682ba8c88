"""Client of the Plovex client API: JSON requests and replies over a local TCP socket.

Every message, in both directions, is a header of exactly 10 ASCII digits giving the body
length, followed by the body (a JSON object). Replies are Latin-1 encoded. Standard library
only (Python 3.9 and later).

    from plovex_client import PlovexClient
    with PlovexClient(port=18186) as client:
        client.initialize()
        source = client.import_file("/shots/sh010.mov", "sh010")
        print(source["playback_frame"])
"""

import json
import socket
import time

__all__ = ["PlovexClient", "PlovexError", "PlovexTimeout", "API_VERSION"]

API_VERSION = "1.0.0"
HEADER_BYTES = 10


class PlovexError(Exception):
    """A command failed: the player's reply carried "success": false.

    `reply` is the whole reply; its "msg" is the reason and "cmd" the command."""

    def __init__(self, reply):
        super().__init__("{}: {}".format(reply.get("cmd", "???"), reply.get("msg", "")))
        self.reply = reply


class PlovexTimeout(Exception):
    """No reply came within the reply timeout. While an export runs the player drops every
    request without a reply.

    The connection is closed then (its reply, if one is still coming, would be taken for the
    next request's) and the next request connects again; the player stays initialized."""


class PlovexClient:
    """One connection to the player. Methods send one request and return its reply (a dict)
    with "success" true, or raise PlovexError; a missing reply raises PlovexTimeout.

    Each request gets one reply, or none when the player drops it during an export, so a
    reply that did not come in time may still be on its way: after a timeout, or anything
    else that leaves a reply half read, the connection is closed and the next request opens
    a new one."""

    def __init__(self, host="127.0.0.1", port=18186, timeout=30.0, connect=True):
        self.host = host
        self.port = port
        self.timeout = timeout
        self._socket = None
        self._buffer = b""
        if connect:
            self.connect()

    # Connection ---------------------------------------------------------------------------

    def connect(self, retries=0, retry_delay=0.1):
        """Connects; with `retries`, tries again that many times while the player is not yet
        listening. An open connection is closed first."""
        self.close()
        for attempt in range(retries + 1):
            try:
                self._socket = socket.create_connection((self.host, self.port), timeout=self.timeout)
                self._socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                self._buffer = b""
                return
            except OSError:
                if attempt == retries:
                    raise
                time.sleep(retry_delay)

    def close(self):
        if self._socket is not None:
            self._socket.close()
            self._socket = None
        self._buffer = b""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # Framing ------------------------------------------------------------------------------

    @staticmethod
    def frame(body):
        """Header and body of one request, as bytes."""
        data = body.encode("utf-8")
        return b"%010d" % len(data) + data

    def send_raw(self, data):
        """Sends bytes as they are, connecting first when the connection was closed."""
        if self._socket is None:
            self.connect()
        self._socket.sendall(data)

    def _read_exactly(self, count, deadline):
        while len(self._buffer) < count:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise PlovexTimeout("no reply within {} s".format(self.timeout))
            self._socket.settimeout(remaining)
            try:
                chunk = self._socket.recv(65536)
            except socket.timeout:
                raise PlovexTimeout("no reply within {} s".format(self.timeout)) from None
            if not chunk:
                raise ConnectionError("the player closed the connection")
            self._buffer += chunk
        data, self._buffer = self._buffer[:count], self._buffer[count:]
        return data

    def read_reply_text(self, timeout=None):
        """The next reply body as text (Latin-1 decoded). When no whole reply is read (a
        timeout, a malformed header, the player gone) the connection is closed: what is left
        of this reply must not be read as the next one."""
        if self._socket is None:
            raise ConnectionError("not connected: no reply can come")
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        try:
            header = self._read_exactly(HEADER_BYTES, deadline)
            length = int(header.decode("ascii"))
            return self._read_exactly(length, deadline).decode("latin-1")
        except BaseException:
            self.close()
            raise

    def request(self, cmd, timeout=None, check=True, **params):
        """Sends {"cmd": cmd, **params} and returns the reply. With `check`, a failure raises
        PlovexError."""
        body = dict(params)
        body["cmd"] = cmd
        self.send_raw(self.frame(json.dumps(body)))
        reply = json.loads(self.read_reply_text(timeout))
        if check and reply.get("success") is not True:
            raise PlovexError(reply)
        return reply

    # Commands -----------------------------------------------------------------------------

    def echo(self, text):
        return self.request("echo", text=text)["result"]

    def initialize(self, api_version=API_VERSION):
        return self.request("initialize", api_version=api_version)

    def get_config(self):
        return self.request("get_config")

    def set_playing(self, playing=False, play_forwards=True):
        return self.request("set_playing", playing=playing, play_forwards=play_forwards)

    def is_autoplay(self):
        return self.request("is_autoplay")["autoplay"]

    def import_file(self, file_path, name="", range_start=-1, range_end=-1, parent_id=""):
        return self.request("import_file", file_path=file_path, name=name, range_start=range_start,
                            range_end=range_end, parent_id=parent_id)["source"]

    def get_frame(self):
        return self.request("get_frame")["frame"]

    def set_frame(self, frame=0, audio=False, from_range_start=False):
        return self.request("set_frame", frame=frame, audio=audio, from_range_start=from_range_start)["frame"]

    def get_range(self):
        reply = self.request("get_range")
        return reply["start_frame"], reply["end_frame"]

    def set_range(self, start_frame=-1, end_frame=-1):
        reply = self.request("set_range", start_frame=start_frame, end_frame=end_frame)
        return reply["start_frame"], reply["end_frame"]

    def new_project(self, empty=False):
        return self.request("new_project", empty=empty)

    def open_project(self, file_path):
        return self.request("open_project", file_path=file_path)

    def import_project(self, file_path):
        return self.request("import_project", file_path=file_path)

    def save_project(self, file_path):
        return self.request("save_project", file_path=file_path)

    def get_project_path(self):
        return self.request("get_project_path")["project_path"]

    def add_folder(self, name, parent_id=""):
        return self.request("add_folder", name=name, parent_id=parent_id)["folder"]

    def add_timeline(self, name, parent_id=""):
        return self.request("add_timeline", name=name, parent_id=parent_id)["timeline"]

    def remove(self, id, force=False):
        return self.request("remove", id=id, force=force)

    def update(self, obj):
        """Applies an item or folder object (as the get commands return it, edited)."""
        return self.request("update", object=obj)["updated"]

    def insert_element_in_timeline(self, source_id, timeline_id, index=-1):
        return self.request("insert_element_in_timeline", source_id=source_id, timeline_id=timeline_id, index=index)

    def remove_element_from_timeline(self, timeline_id, index=-1):
        return self.request("remove_element_from_timeline", timeline_id=timeline_id, index=index)

    def get_timeline_elements(self, timeline_id):
        return self.request("get_timeline_elements", timeline_id=timeline_id)["sources"]

    def get_folders(self):
        return self.request("get_folders")["folders"]

    def get_timelines(self):
        return self.request("get_timelines")["timelines"]

    def get_sources(self):
        return self.request("get_sources")["sources"]

    def get_default_timeline(self):
        return self.request("get_default_timeline")["timeline"]

    def set_default_timeline(self, id):
        return self.request("set_default_timeline", id=id)

    def get_active_in_viewer(self, index=0):
        return self.request("get_active_in_viewer", index=index)["timeline"]

    def set_active_in_viewer(self, id, index=0):
        return self.request("set_active_in_viewer", id=id, index=index)

    def set_viewer_layout(self, layout):
        return self.request("set_viewer_layout", layout=layout)

    def get_bookmarks(self, id="", include_empty_timelines=True):
        return self.request("get_bookmarks", id=id, include_empty_timelines=include_empty_timelines)["bookmarks"]

    def queue_export(self, output_dir_path, base_file_name, ext, width, height, **options):
        """Queues an export of the timeline in the player. `options`: padding,
        frame_numbering, ignore_range, exclude_audio, viewer_capture, frames_to_capture,
        exclude_annotations, annotation_bg_color (see the documentation)."""
        return self.request("queue_export", output_dir_path=output_dir_path, base_file_name=base_file_name,
                            ext=ext, width=width, height=height, **options)

    def query_export(self, timeout=None):
        """{"completed": bool, "error_msg": text}. While an export runs the player does not
        answer: a timeout is reported as {"completed": False, "error_msg": ""} (and the next
        request connects again)."""
        try:
            return self.request("query_export", timeout=timeout)
        except PlovexTimeout:
            return {"completed": False, "error_msg": ""}

    def wait_for_export(self, timeout=3600.0, poll_interval=0.5, reply_timeout=1.0):
        """Polls query_export until the export has finished; returns its last reply. Raises
        PlovexTimeout when it has not finished within `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while True:
            reply = self.query_export(timeout=reply_timeout)
            if reply.get("completed"):
                return reply
            if time.monotonic() >= deadline:
                raise PlovexTimeout("export still running after {} s".format(timeout))
            time.sleep(poll_interval)
