"""A stand-in for an OAuth provider on 127.0.0.1: /auth sends the browser straight back to the
redirect address with a code, /token trades any code for a token. Prints its port, then serves
until killed."""
import http.server
import json
import sys
import urllib.parse


class Provider(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        query = urllib.parse.parse_qs(urllib.parse.urlparse(self.path).query)
        back = query["redirect_uri"][0] + "?" + urllib.parse.urlencode(
            {"code": "fake-code", "state": query.get("state", [""])[0]})
        self.send_response(302)
        self.send_header("Location", back)
        self.end_headers()

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        body = json.dumps({"access_token": "fake-access", "token_type": "Bearer",
                           "refresh_token": "fake-refresh", "expires_in": 3600}).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Provider)
print(server.server_address[1], flush=True)
server.serve_forever()
