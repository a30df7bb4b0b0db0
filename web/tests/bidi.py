"""A small WebDriver BiDi client: one command at a time over one WebSocket, events kept by
method. Firefox answers 400 to a connection that sends an Origin header, hence suppress_origin."""
import json

import websocket


class Error(Exception):
    pass


class Bidi:
    def __init__(self, url, timeout):
        self.ws = websocket.create_connection(url, suppress_origin=True, timeout=timeout)
        self.last = 0
        self.events = {}  # method -> list of params, in arrival order

    def cmd(self, method, **params):
        self.last += 1
        self.ws.send(json.dumps({"id": self.last, "method": method, "params": params}))
        while True:
            try:
                m = json.loads(self.ws.recv())
            except websocket.WebSocketTimeoutException:
                raise Error(f"{method}: no answer within {self.ws.gettimeout()} s (the browser has stopped answering)") from None
            if m.get("type") == "event":
                self.events.setdefault(m["method"], []).append(m["params"])
            elif m.get("id") == self.last:
                if m.get("type") == "error":
                    raise Error(f"{method}: {m['error']}: {m.get('message', '')}")
                return m["result"]

    def close(self):
        try:
            self.cmd("session.end")
        except Exception:
            pass
        self.ws.close()
