#!/usr/bin/python3
"""A loopback front for an FTP server whose replies arrive late, as over a slow link.

    delay_front.py LISTEN_PORT SERVER_PORT [--delay-ms 30] [--lifetime 1800]

Listens on 127.0.0.1:LISTEN_PORT and hands every connection to the server on
127.0.0.1:SERVER_PORT. What the client sends goes on at once; what the server sends on the
control connection (the greeting and every reply, each group of lines as it comes) reaches the
client DELAY_MS later, in order. So each command waits one round trip of DELAY_MS for its
reply, which is what makes a batch of many small files slow on a distant server, and what
several connections at once are meant to hide.

Not delayed: the data connections. The server's 227 and 229 replies pass unchanged, so they
name the server's own passive ports on 127.0.0.1 and the client connects there directly. On a
real link each data connection would also cost a round trip for its handshake; relaying the
data through this script would add that, but then a single Python process would copy every
byte of the large files and its speed, not the clients', would set the times of the 64 MiB
runs. Both clients meet the same front, so the comparison stays fair; the absolute times of
the small files are about one round trip per file lower than on a real 30 ms link.

Only loopback: it listens on 127.0.0.1 and connects nowhere else. It stops by itself after
--lifetime seconds (connections still open are cut), or on SIGTERM/SIGINT.
"""
import argparse
import asyncio
import signal
import socket
import sys

LOOPBACK = "127.0.0.1"


def no_delay(writer):
    sock = writer.get_extra_info("socket")
    if sock is not None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


async def pass_on(reader, writer):
    """Client to server: forwarded as it comes."""
    try:
        while data := await reader.read(65536):
            writer.write(data)
            await writer.drain()
    except (ConnectionError, OSError):
        pass
    finally:
        try:
            writer.write_eof()
        except (ConnectionError, OSError, RuntimeError):
            pass


async def pass_on_late(reader, writer, delay):
    """Server to client: each chunk leaves `delay` seconds after it arrived, in order; the
    reading goes on meanwhile so that replies close together stay close together."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def read():
        try:
            while data := await reader.read(65536):
                queue.put_nowait((loop.time() + delay, data))
        except (ConnectionError, OSError):
            pass
        queue.put_nowait((loop.time() + delay, b""))

    reading = asyncio.create_task(read())
    try:
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                break
            writer.write(data)
            await writer.drain()
    except (ConnectionError, OSError):
        pass
    finally:
        reading.cancel()
        writer.close()


async def handle(client_reader, client_writer, server_port, delay):
    try:
        server_reader, server_writer = await asyncio.open_connection(LOOPBACK, server_port)
    except OSError:
        client_writer.close()
        return
    no_delay(client_writer)
    no_delay(server_writer)
    await asyncio.gather(pass_on(client_reader, server_writer),
                         pass_on_late(server_reader, client_writer, delay))
    server_writer.close()


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("listen_port", type=int)
    parser.add_argument("server_port", type=int)
    parser.add_argument("--delay-ms", type=float, default=30.0)
    parser.add_argument("--lifetime", type=float, default=1800.0, help="seconds before it stops")
    args = parser.parse_args()

    delay = args.delay_ms / 1000.0
    server = await asyncio.start_server(
        lambda r, w: handle(r, w, args.server_port, delay), LOOPBACK, args.listen_port)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for signum in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(signum, stop.set)
    print(f"delay_front: {LOOPBACK}:{args.listen_port} -> {LOOPBACK}:{args.server_port}, "
          f"replies {args.delay_ms:g} ms late, for at most {args.lifetime:g} s", file=sys.stderr, flush=True)
    try:
        await asyncio.wait_for(stop.wait(), args.lifetime)
    except asyncio.TimeoutError:
        print("delay_front: lifetime over", file=sys.stderr)
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
