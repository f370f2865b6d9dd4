"""The client of the Win32 driver (pellux_driver.exe) that looks at the Wine desktop as a user would:
one request line out, one JSON line back, over a loopback port."""

import json
import socket
import time


class DriverError(Exception):
    pass


class Driver:
    """Client of pellux_driver.exe: one request line out, one JSON line back."""

    def __init__(self, port):
        self.port = port
        self.sock = None
        self.buffer = b""

    def connect(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", self.port), timeout=2)
                self.sock.settimeout(60)
                self.call("ping")
                return
            except (OSError, DriverError):
                if self.sock:
                    self.sock.close()
                    self.sock = None
                if time.monotonic() >= deadline:
                    raise DriverError("the driver did not answer on port %d" % self.port)
                time.sleep(0.3)

    @staticmethod
    def _escape(word):
        word = str(word)
        return word.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")

    def call(self, *words):
        if self.sock is None:
            raise DriverError("not connected")
        line = "\t".join(self._escape(w) for w in words) + "\n"
        self.sock.sendall(line.encode("utf-8"))
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise DriverError("the driver closed the connection")
            self.buffer += chunk
        answer, self.buffer = self.buffer.split(b"\n", 1)
        result = json.loads(answer.decode("utf-8"))
        if not result.get("ok"):
            raise DriverError("%s: %s" % (words[0], result.get("error")))
        return result

    def close(self):
        if self.sock:
            try:
                self.call("quit")
            except (OSError, DriverError):
                pass
            self.sock.close()
            self.sock = None


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
