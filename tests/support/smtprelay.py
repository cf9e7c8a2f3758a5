#!/usr/bin/python3
"""A real SMTP relay for the tests, on loopback: Debian's aiosmtpd with STARTTLS required and AUTH
(PLAIN, LOGIN) for one user, allowed only after STARTTLS. Every message received is written whole into
FOLDER as NNN.eml. Prints "pronto PORT" once it listens; ends on SIGTERM.

    smtprelay.py --port P --folder F --cert C --key K --user U --password W
    smtprelay.py --extract MESSAGE.eml OUT   (body.txt, the attachment by its name, headers.txt)
"""
import argparse
import email
import email.policy
import os
import signal
import ssl
import sys
import threading


def extract(message, out):
    os.makedirs(out, exist_ok=True)
    with open(message, 'rb') as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    with open(os.path.join(out, 'headers.txt'), 'w', encoding='utf-8') as f:
        for name in ('From', 'To', 'Subject', 'Date'):
            f.write('%s: %s\n' % (name, msg[name]))
    for part in msg.walk():
        if part.is_multipart():
            continue
        name = part.get_filename()
        if name:
            with open(os.path.join(out, name), 'wb') as f:
                f.write(part.get_payload(decode=True))
        elif part.get_content_type() == 'text/plain':
            with open(os.path.join(out, 'body.txt'), 'w', encoding='utf-8') as f:
                f.write(part.get_content())


def serve(args):
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult, LoginPassword

    class Handler:
        lock = threading.Lock()

        async def handle_DATA(self, server, session, envelope):
            with Handler.lock:
                n = len([f for f in os.listdir(args.folder) if f.endswith('.eml')]) + 1
                path = os.path.join(args.folder, '%03d.eml' % n)
                with open(path + '.part', 'wb') as f:
                    f.write(envelope.original_content or envelope.content)
                os.rename(path + '.part', path)
            return '250 OK'

    def authenticator(server, session, envelope, mechanism, data):
        ok = isinstance(data, LoginPassword) and data.login == args.user.encode() and data.password == args.password.encode()
        return AuthResult(success=ok, handled=False)

    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    controller = Controller(Handler(), hostname='127.0.0.1', port=args.port, tls_context=context, require_starttls=True,
                            authenticator=authenticator, auth_required=True, auth_require_tls=True)
    controller.start()
    print('pronto %d' % args.port, flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *a: stop.set())
    signal.signal(signal.SIGINT, lambda *a: stop.set())
    while not stop.wait(0.2):
        pass
    controller.stop()


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--extract', nargs=2)
    p.add_argument('--port', type=int)
    p.add_argument('--folder')
    p.add_argument('--cert')
    p.add_argument('--key')
    p.add_argument('--user')
    p.add_argument('--password')
    args = p.parse_args()
    if args.extract:
        extract(*args.extract)
    else:
        serve(args)


if __name__ == '__main__':
    sys.exit(main())
