# A local SMTP server for the tests: every delivered message becomes one JSON line (sender,
# recipients, the whole message) in the output file. Prints READY once it listens; ends on
# SIGTERM. With --cert and --key it asks for STARTTLS, or with --implicit-tls speaks TLS at once. Run with the system interpreter, which has aiosmtpd.
import argparse
import json
import signal
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

parser = argparse.ArgumentParser()
parser.add_argument("port", type=int)
parser.add_argument("out")
parser.add_argument("--user", default="")
parser.add_argument("--password", default="")
parser.add_argument("--cert", default="")
parser.add_argument("--key", default="")
parser.add_argument("--implicit-tls", action="store_true", help="TLS from the first byte (smtps)")
args = parser.parse_args()


class Handler:
    async def handle_DATA(self, server, session, envelope):
        with open(args.out, "a", encoding="utf-8") as f:
            f.write(json.dumps({"from": envelope.mail_from, "to": envelope.rcpt_tos,
                                "data": envelope.content.decode("utf-8", "replace")}) + "\n")
        return "250 OK"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == args.user
          and auth_data.password.decode() == args.password)
    # handled=False: the server answers 535 itself.
    return AuthResult(success=ok, handled=False)


kwargs = {}
if args.user:
    kwargs.update(authenticator=authenticate, auth_required=True, auth_require_tls=False)
if args.cert:
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    if args.implicit_tls:
        kwargs.update(ssl_context=context)
    else:
        kwargs.update(tls_context=context, require_starttls=True)
controller = Controller(Handler(), hostname="127.0.0.1", port=args.port, **kwargs)
controller.start()
print("READY", flush=True)


def stop(*_):
    controller.stop()
    sys.exit(0)


signal.signal(signal.SIGTERM, stop)
while True:
    time.sleep(1)
