# HTTPS receivers for the alerts' tests: a certificate authority of the test's own, receivers
# whose certificates it signed and ones whose certificates nobody did, each request kept.
import http.server, os, ssl, subprocess, threading

requests = []  # (method, path, headers, body), as they came


class Receiver(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        requests.append((self.command, self.path, self.headers, body.decode()))
        # Schannel takes an end without TLS's close_notify, which Python never sends, for an attack.
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()
    do_GET = do_POST
    log_message = lambda *_: None


def start(folder, host, signed, strangers):
    """ca.pem in `folder`, receivers on the ports `signed` with certificates for `host` that it
    signed and on `strangers` with their own; valid from 2000 for a century, so that a monitor on
    a false clock takes them too. Returns the signed certificate's context, for other servers."""
    san = ("IP:" if host[0].isdigit() else "DNS:") + host
    req = ["faketime", "2000-01-01", "openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
           "ec_paramgen_curve:prime256v1", "-nodes", "-days", "36500", "-addext",
           "subjectAltName=" + san, "-subj"]
    tls = {}
    for name, options in (("ca", ["/CN=Skarvel test CA"]),
                          ("site", ["/CN=" + host, "-CA", "ca.pem", "-CAkey", "ca.key"]),
                          ("own", ["/CN=" + host])):
        subprocess.run(req + options + ["-keyout", name + ".key", "-out", name + ".pem"],
                       check=True, capture_output=True, cwd=folder)
        tls[name] = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls[name].load_cert_chain(os.path.join(folder, name + ".pem"),
                                  os.path.join(folder, name + ".key"))
    for port, name in [(p, "site") for p in signed] + [(p, "own") for p in strangers]:
        server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Receiver)
        server.socket = tls[name].wrap_socket(server.socket, server_side=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
    return tls["site"]
