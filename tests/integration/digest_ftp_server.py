# A pyftpdlib server that offers digests of its files, for the tests of transfer checking:
#   user "hash": FEAT lists "HASH SHA-1*;SHA-256;MD5" and XMD5 (SHA-1 is the current choice, so a
#                client that wants SHA-256 must say so with OPTS HASH);
#   user "xmd5": FEAT lists XMD5 only.
# Files whose name starts with "tampered" are answered with the digest of other bytes, as a
# server whose copy differs would. Serves the folder given as the first argument on a free
# loopback port, prints that port on a line of its own, and ends when its standard input
# closes (the test that started it ended).
import hashlib
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

ALGORITHMS = {"SHA-1": "sha1", "SHA-256": "sha256", "MD5": "md5"}
PASSWORD = "digest-pass"


class DigestHandler(FTPHandler):
    proto_cmds = dict(FTPHandler.proto_cmds)
    proto_cmds["HASH"] = dict(perm="r", auth=True, arg=True, help="Syntax: HASH <SP> file-name")
    proto_cmds["XMD5"] = dict(perm="r", auth=True, arg=True, help="Syntax: XMD5 <SP> file-name")

    hash_choice = "SHA-1"

    def ftp_FEAT(self, line):
        self._extra_feats = ["XMD5"]
        if self.username == "hash":
            self._extra_feats.append(
                "HASH " + ";".join(n + ("*" if n == self.hash_choice else "") for n in ALGORITHMS))
        return super().ftp_FEAT(line)

    def ftp_OPTS(self, line):
        words = line.split(" ", 1)
        if words[0].upper() != "HASH":
            return super().ftp_OPTS(line)
        if len(words) == 2:
            name = words[1].strip().upper()
            if name not in ALGORITHMS:
                self.respond("501 Unknown algorithm, current selection not changed.")
                return
            self.hash_choice = name
        self.respond("200 " + self.hash_choice)

    def digest(self, path, name):
        value = hashlib.new(ALGORITHMS[name])
        with open(path, "rb") as file:
            for block in iter(lambda: file.read(1 << 20), b""):
                value.update(block)
        if os.path.basename(path).startswith("tampered"):
            value.update(b"!")
        return value.hexdigest()

    def ftp_HASH(self, path):
        if not self.fs.isfile(path):
            self.respond("550 Not a plain file.")
            return
        size = os.path.getsize(path)
        self.respond("213 %s 0-%d %s %s" % (self.hash_choice, size, self.digest(path, self.hash_choice),
                                             self.fs.fs2ftp(path)))

    def ftp_XMD5(self, path):
        if not self.fs.isfile(path):
            self.respond("550 Not a plain file.")
            return
        self.respond("250 " + self.digest(path, "MD5").upper())


def main():
    logging.basicConfig(level=logging.WARNING)
    root = sys.argv[1]
    authorizer = DummyAuthorizer()
    for user in ("hash", "xmd5"):
        authorizer.add_user(user, PASSWORD, root, perm="elradfmwMT")
    DigestHandler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), DigestHandler)
    print(server.address[1], flush=True)

    def end_with_parent():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=end_with_parent, daemon=True).start()
    server.serve_forever()


main()
