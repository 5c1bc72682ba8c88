"""Client API round trips through the Python client against the real program.

    python3 bench_clientapi.py <plovex executable> <clip> <source folder> [repeats]

1,000 "echo" and 1,000 "get_frame" requests (a clip shown in viewer 0), each timed from send
to reply; the baseline is the same framing against a bare Python socket echo server in the
same run (the cost of the loopback and of the client itself). Prints a Markdown table of
medians and 99th percentiles over all repeats; the target is a median under 1 ms.
"""

import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

PLOVEX, CLIP, SOURCE = sys.argv[1:4]
REPEATS = int(sys.argv[4]) if len(sys.argv) > 4 else 3
sys.path.insert(0, os.path.join(SOURCE, "python"))
from plovex_client import PlovexClient  # noqa: E402

COUNT = 1000


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_plovex(home, port):
    config = os.path.join(home, "Documents", "plovex", "config")
    os.makedirs(config)
    with open(os.path.join(config, "plovex.ini"), "w") as ini:
        ini.write("[preferences]\nclientApiPort={}\nconfirmOnClose=false\nhardwareRenderingEnabled=false\n".format(port))
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), QT_QPA_PLATFORM="offscreen")
    return subprocess.Popen([PLOVEX, "--new"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def baseline_server(listener):
    """Answers every framed request with a fixed framed reply, as fast as Python can."""
    connection, _ = listener.accept()
    connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    reply = b'0000000039{"msg":"","result":"hi","success":true}'
    buffer = b""
    while True:
        chunk = connection.recv(65536)
        if not chunk:
            return
        buffer += chunk
        while len(buffer) >= 10 and len(buffer) >= 10 + int(buffer[:10]):
            buffer = buffer[10 + int(buffer[:10]):]
            connection.sendall(reply)


def timed(call):
    samples = []
    for _ in range(COUNT):
        start = time.perf_counter()
        call()
        samples.append((time.perf_counter() - start) * 1e3)
    return samples


def p99(samples):
    return sorted(samples)[int(len(samples) * 0.99) - 1]


def main():
    results = {"baseline echo (bare socket)": [], "echo": [], "get_frame": []}
    for _ in range(REPEATS):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        thread = threading.Thread(target=baseline_server, args=(listener,), daemon=True)
        thread.start()
        with PlovexClient(port=listener.getsockname()[1]) as bare:
            results["baseline echo (bare socket)"] += timed(lambda: bare.echo("hi"))
        listener.close()

        home = tempfile.mkdtemp(prefix="plovex-bench-")
        port = free_port()
        process = start_plovex(home, port)
        try:
            client = PlovexClient(port=port, connect=False, timeout=60)
            client.connect(retries=600, retry_delay=0.1)
            client.initialize()
            source = client.import_file(CLIP, "bench")
            client.set_active_in_viewer(source["id"], 0)
            deadline = time.monotonic() + 30
            while client.get_frame() < 0 and time.monotonic() < deadline:
                time.sleep(0.05)
            results["echo"] += timed(lambda: client.echo("hi"))
            results["get_frame"] += timed(client.get_frame)
            client.close()
        finally:
            process.terminate()
            try:
                process.wait(20)
            except subprocess.TimeoutExpired:
                process.kill()
            shutil.rmtree(home, ignore_errors=True)

    base = statistics.median(results["baseline echo (bare socket)"])
    print("### Client API round trips ({} x {} requests each)\n".format(REPEATS, COUNT))
    print("| request | median (ms) | p99 (ms) | median / baseline |")
    print("|---|---|---|---|")
    for name, samples in results.items():
        median = statistics.median(samples)
        print("| {} | {:.3f} | {:.3f} | {:.1f} |".format(name, median, p99(samples), median / base))


if __name__ == "__main__":
    main()
