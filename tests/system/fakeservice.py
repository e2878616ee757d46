#!/usr/bin/python3
"""Plays the geolocation service on 127.0.0.1 for system tests.

Prints the port it listens on, answers every GET with the answer file's bytes and appends each
request path to the log file. It stops by itself after the given number of seconds.
Usage: fakeservice.py ANSWER_FILE LOG_FILE LIFETIME_SECONDS
"""
import http.server
import sys
import threading


def main():
    answer_path, log_path, lifetime = sys.argv[1], sys.argv[2], float(sys.argv[3])
    with open(answer_path, "rb") as f:
        answer = f.read()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            with open(log_path, "a", encoding="utf-8") as log:
                log.write(self.path + "\n")
            self.send_response(200)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    threading.Timer(lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
