#!/usr/bin/env python3
"""Checks tds-test-server against clients that are not Quarrow's: python-tds (pytds), FreeTDS's
tsql, and raw sockets for the faults and hostile packets no library sends. Expected values are
read from the catalogue files with sqlite3, independently of the server.

usage: check_tds_server.py SERVER CATALOGUE-DIR [CHECK...]
"""

import glob
import os
import random
import selectors
import socket
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time
import traceback

import pytds

SERVER = None
CATALOGUES = None
SCRATCH = None
WAIT = 10  # seconds any single step may take
TYPE_CODES = (1, 4, 8, 16, 64, 128, 256, 4096)


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def equal(actual, expected, what):
    if actual != expected:
        raise Failure('%s:\n  expected %r\n  got      %r' % (what, expected, actual))


class Server:
    """A running tds-test-server; killed when the block ends."""

    def __init__(self, catalogue, *knobs):
        stamp = time.monotonic_ns()
        self.log = os.path.join(SCRATCH, 'server-%d.log' % stamp)
        self.errors = os.path.join(SCRATCH, 'server-%d.err' % stamp)
        args = [SERVER, '--catalogue', catalogue, '--log', self.log] + list(knobs)
        with open(self.errors, 'wb') as errors:
            self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=errors)
        selector = selectors.DefaultSelector()
        selector.register(self.process.stdout, selectors.EVENT_READ)
        if not selector.select(WAIT):
            self.process.kill()
            raise Failure('server printed no port line within %d s' % WAIT)
        line = self.process.stdout.readline().decode()
        if not line.startswith('port '):
            self.process.kill()
            raise Failure('first line %r, stderr %r' % (line, self.stderr()))
        self.port = int(line.split()[1])

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        alive = self.process.poll() is None
        self.process.kill()
        self.process.wait(WAIT)
        if not alive and exc[0] is None:
            raise Failure('server died: %r' % self.stderr())

    def stderr(self):
        with open(self.errors, encoding='utf-8', errors='replace') as f:
            return f.read()

    def lines(self):
        with open(self.log, encoding='utf-8') as f:
            return f.read().splitlines()

    def connect(self, user='u', password='p', **options):
        options.setdefault('autocommit', True)
        return pytds.connect('127.0.0.1', port=self.port, user=user, password=password,
                             login_timeout=WAIT, timeout=WAIT, disable_connect_retry=True,
                             **options)


# ---- the catalogue as the file holds it ----

class Catalogue:
    def __init__(self, path):
        db = sqlite3.connect(path)
        entries = dict(db.execute('SELECT key, value FROM catalogue'))
        self.flavour = entries['flavour']
        self.databases = [name for (name,) in
                          db.execute('SELECT name FROM databases ORDER BY position')]
        self.objects = {}
        for dbid, name in db.execute('SELECT id, name FROM databases ORDER BY position'):
            rows = []
            for position, objname, code, created, script in db.execute(
                    'SELECT position, name, type_code, created, script FROM objects '
                    'WHERE database_id = ? ORDER BY position', (dbid,)):
                schema, dot, bare = objname.partition('.')
                if not dot:
                    schema, bare = 'dbo', objname
                rows.append((position + 1, schema, bare, code, created,
                             0 if script is None else 1, script))
            self.objects[name] = rows
        db.close()

    def listed(self, database, code):
        return [row[:6] for row in self.objects[database] if code == 509 or row[3] == code]

    def scripts(self, database, code):
        return [(row[0], row[6]) for row in self.objects[database]
                if (code == 509 or row[3] == code) and row[6] is not None]


def joined(rows):
    """Consecutive rows of one key joined into its script, in order."""
    out = []
    for key, text in rows:
        if out and out[-1][0] == key:
            out[-1] = (key, out[-1][1] + text)
        else:
            out.append((key, text))
    return out


def fetch(cursor, sql):
    cursor.execute(sql)
    return [tuple(row) for row in cursor.fetchall()]


def utf16_units(text):
    return len(text.encode('utf-16-le')) // 2


def check_through_pytds(server, cat, tds_version, product_version, **options):
    flavour = cat.flavour
    with server.connect(tds_version=tds_version, **options) as conn:
        equal(conn.tds_version, 0x74000004 if flavour == 'modern' else 0x71000001, 'TDS version')
        equal(conn.product_version, product_version, 'server version')
        cur = conn.cursor()
        equal(fetch(cur, '/*quarrow:databases*/ SELECT name FROM sys.databases'),
              [(name,) for name in cat.databases], 'databases')
        for database in cat.databases:
            cur.execute('USE [%s]' % database.replace(']', ']]'))
            for code in (509,) + TYPE_CODES:
                equal(fetch(cur, '/*quarrow:objects flavour=%s type=%d*/ SELECT 1'
                            % (flavour, code)), cat.listed(database, code),
                      'objects of %s type %d' % (database, code))
            for code in (509, 16):
                rows = fetch(cur, '/*quarrow:scripts flavour=%s type=%d*/ SELECT 1'
                             % (flavour, code))
                if flavour == 'modern':
                    equal(rows, cat.scripts(database, code), 'scripts of %s' % database)
                else:
                    for _, text in rows:
                        check(utf16_units(text) <= 4000, 'a legacy row over 4000 units')
                    equal(joined(rows), cat.scripts(database, code), 'scripts of %s' % database)
            for key, script in cat.scripts(database, 509):
                rows = fetch(cur, '/*quarrow:script flavour=%s type=509 key=%d*/ SELECT 1'
                             % (flavour, key))
                equal(joined(rows), [(key, script)], 'script %d of %s' % (key, database))
            nothing = [row[0] for row in cat.objects[database] if row[6] is None]
            for key in nothing:
                equal(fetch(cur, '/*quarrow:script flavour=%s type=509 key=%d*/ x'
                            % (flavour, key)), [], 'script of object %d without one' % key)


# ---- checks ----

def demo(name):
    return os.path.join(CATALOGUES, name)


def test_pytds_modern():
    cat = Catalogue(demo('demo.qcat'))
    with Server(demo('demo.qcat')) as server:
        check_through_pytds(server, cat, pytds.tds_base.TDS74, 0x0F0007D0)
        check_through_pytds(server, cat, pytds.tds_base.TDS74, 0x0F0007D0, blocksize=512)
        lines = server.lines()
        equal(lines[:3], ['login: u', 'quarrow:databases', 'use: %s' % cat.databases[0]],
              'first log lines')
        check('quarrow:objects flavour=modern type=509' in lines, 'objects tag logged')


def test_pytds_legacy():
    cat = Catalogue(demo('demo-legacy.qcat'))
    with Server(demo('demo-legacy.qcat')) as server:
        # A 7.4 client is answered with 7.1, as SQL Server 2000 answers it.
        check_through_pytds(server, cat, pytds.tds_base.TDS74, 0x080007F7)
        check_through_pytds(server, cat, pytds.tds_base.TDS71, 0x080007F7)
        with server.connect() as conn:
            try:
                fetch(conn.cursor(), '/*quarrow:objects flavour=modern type=509*/ x')
                raise Failure('modern query on SQL Server 2000 succeeded')
            except pytds.DatabaseError as error:
                equal(error.number, 208, 'error of a modern query on the legacy server')


def run_tsql(server, tds_version, script, user='u'):
    env = dict(os.environ, TDSVER=tds_version, FREETDSCONF=os.path.join(SCRATCH, 'empty.conf'),
               FREETDS=os.path.join(SCRATCH, 'empty.conf'), HOME=SCRATCH)
    done = subprocess.run(['tsql', '-H', '127.0.0.1', '-p', str(server.port), '-U', user, '-P',
                           'p', '-o', 'q'], input=script.encode(), env=env,
                          capture_output=True, timeout=WAIT * 3)
    return done.stdout.decode(), done.stderr.decode()


def test_tsql():
    for name, versions, expected in (('demo.qcat', ('7.4', 'auto'), '15.0.2000'),
                                     ('demo-legacy.qcat', ('7.1', '7.4'), '8.0.2039')):
        cat = Catalogue(demo(name))
        database = cat.databases[-1]
        with Server(demo(name)) as server:
            for version in versions:
                key, script = cat.scripts(database, 509)[0]
                out, err = run_tsql(server, version,
                                    '/*quarrow:databases*/ x\ngo\nSELECT @@VERSION\ngo\n'
                                    'USE [%s]\ngo\n/*quarrow:objects flavour=%s type=509*/ x\n'
                                    'go\n/*quarrow:script flavour=%s type=509 key=%d*/ x\ngo\n'
                                    'exit\n' % (database, cat.flavour, cat.flavour, key))
                what = 'tsql %s on %s' % (version, name)
                check('Msg ' not in err and 'rror' not in err, '%s: %s' % (what, err))
                lines = out.splitlines()
                for db_name in cat.databases:
                    check(db_name in lines, '%s: database %s missing' % (what, db_name))
                check(any(expected in line for line in lines), '%s: no version %s' % (what, expected))
                for row in cat.listed(database, 509):
                    text = '\t'.join(str(value) for value in row)
                    check(text in lines, '%s: object row %r missing' % (what, text))
                # The script comes back whole: its lines follow the key.
                first = script.splitlines()[0]
                check('%d\t%s' % (key, first) in lines, '%s: script %d missing' % (what, key))
            # A DOMAIN\\user name makes FreeTDS log in with NTLM: an integrated login.
            out, err = run_tsql(server, versions[0], '/*quarrow:databases*/ x\ngo\nexit\n',
                                user='CORP\\alice')
            equal(out.splitlines()[1:1 + len(cat.databases)], cat.databases, 'integrated login')
            check('login: (integrated)' in server.lines(), 'integrated login logged')
    with Server(demo('demo.qcat'), '--login', 'alice:p') as server:
        out, err = run_tsql(server, '7.4', '/*quarrow:databases*/ x\ngo\nexit\n',
                            user='CORP\\alice')
        check('18456' in out + err, 'integrated login accepted under --login: %s' % (out + err))


def run_isql(server, tds_version, lines, prepared=False):
    """Statements through unixODBC and FreeTDS's ODBC driver, each sent with SQLExecDirect
    (a batch) or prepared and executed (sp_prepexec, then sp_unprepare)."""
    drivers = glob.glob('/usr/lib/*/odbc/libtdsodbc.so')
    check(drivers, 'FreeTDS ODBC driver (tdsodbc) not installed')
    with open(os.path.join(SCRATCH, 'odbcinst.ini'), 'w') as f:
        f.write('[QuarrowFreeTDS]\nDriver=%s\n' % drivers[0])
    open(os.path.join(SCRATCH, 'odbc.ini'), 'w').close()
    env = dict(os.environ, ODBCSYSINI=SCRATCH, ODBCINI=os.path.join(SCRATCH, 'odbc.ini'),
               FREETDSCONF=os.path.join(SCRATCH, 'empty.conf'), HOME=SCRATCH)
    connection = ('DRIVER=QuarrowFreeTDS;SERVER=127.0.0.1;PORT=%d;UID=u;PWD=p;TDS_Version=%s;'
                  'ClientCharset=UTF-8' % (server.port, tds_version))
    direct = [] if prepared else ['-e']
    done = subprocess.run(['isql', '-v', '-b', '-k', '-x0x09', '-L100000'] + direct + [connection],
                          input=('\n'.join(lines) + '\n').encode(), env=env,
                          capture_output=True, timeout=WAIT * 3)
    return done.stdout.decode(), done.stderr.decode()


def test_odbc():
    for name, versions in (('demo.qcat', ('7.4',)), ('demo-legacy.qcat', ('7.1', '7.4'))):
        cat = Catalogue(demo(name))
        database = cat.databases[0]
        with Server(demo(name)) as server:
            for version, prepared in [(v, p) for v in versions for p in (False, True)]:
                key, script = cat.scripts(database, 509)[-1]
                out, err = run_isql(server, version, [
                    '/*quarrow:databases*/ x', 'USE [%s]' % database,
                    '/*quarrow:objects flavour=%s type=509*/ x' % cat.flavour,
                    '/*quarrow:script flavour=%s type=509 key=%d*/ x' % (cat.flavour, key)],
                    prepared)
                what = 'ODBC %s%s on %s' % (version, ' prepared' if prepared else '', name)
                check('rror' not in out + err, '%s: %s' % (what, out + err))
                lines = out.splitlines()
                equal(lines[:len(cat.databases)], cat.databases, what + ': databases')
                for row in cat.listed(database, 509):
                    text = '\t'.join(str(value) for value in row)
                    check(text in lines, '%s: object row %r missing' % (what, text))
                first = script.splitlines()[0]
                check(('%d\t%s' % (key, first)) in lines, '%s: script %d missing' % (what, key))
            check(server.lines()[:2] == ['login: u', 'quarrow:databases'], 'ODBC log')


def test_login_knobs():
    cat = Catalogue(demo('demo.qcat'))
    with Server(demo('demo.qcat'), '--login', 'alice:s3cr\u00e9t') as server:
        with server.connect('alice', 's3cr\u00e9t') as conn:
            equal(fetch(conn.cursor(), '/*quarrow:databases*/ x'),
                  [(name,) for name in cat.databases], 'databases after a checked login')
        for user, password in (('alice', 'wrong'), ('bob', 's3cr\u00e9t'), ('alice', '')):
            try:
                server.connect(user, password).close()
                raise Failure('login %s/%s accepted' % (user, password))
            except pytds.OperationalError as error:
                equal(error.number, 18456, 'login error number')
                equal(error.severity, 14, 'login error class')
                equal(error.text, "Login failed for user '%s'." % user, 'login error text')
        check(server.lines().count('login: alice') == 3, 'logins logged')
    with Server(demo('demo.qcat'), '--refuse-login') as server:
        try:
            server.connect().close()
            raise Failure('--refuse-login accepted a login')
        except pytds.OperationalError as error:
            equal(error.number, 18456, 'refused login error number')


def test_use_and_unopenable():
    cat = Catalogue(demo('demo.qcat'))
    locked = cat.databases[1]
    with Server(demo('demo.qcat'), '--unopenable', locked, '--unopenable', 'Ghost') as server:
        with server.connect() as conn:
            cur = conn.cursor()
            equal(fetch(cur, '/*quarrow:databases*/ x'),
                  [(name,) for name in cat.databases + ['Ghost']], 'databases with unopenable')
            for name, number, text in (
                    (locked, 916, 'The server principal "u" is not able to access the database '
                                  '"%s" under the current security context.' % locked),
                    ('Ghost', 916, None),
                    ('Nowhere', 911, "Database 'Nowhere' does not exist. Make sure that the "
                                     "name is entered correctly.")):
                try:
                    cur.execute('USE [%s]' % name)
                    raise Failure('USE [%s] succeeded' % name)
                except pytds.DatabaseError as error:
                    equal(error.number, number, 'error of USE [%s]' % name)
                    if text:
                        equal(error.text, text, 'message of USE [%s]' % name)
            # A failed USE leaves the context where it was; set and plain forms work.
            cur.execute('use %s' % cat.databases[0])
            cur.execute('SET NOCOUNT ON')
            equal(fetch(cur, '/*quarrow:objects flavour=modern type=509*/ x'),
                  cat.listed(cat.databases[0], 509), 'objects after plain use')
            for bad in ('SELECT name FROM sys.databases', '/*quarrow:objects flavour=modern '
                        'type=3*/ x', '/*quarrow:tables*/ x', '/*quarrow:script flavour=modern '
                        'type=16*/ x'):
                try:
                    cur.execute(bad)
                    raise Failure('%r answered' % bad)
                except pytds.DatabaseError as error:
                    equal(error.number, 102, 'error of %r' % bad)
            equal(fetch(cur, 'SELECT 1'), [(1,)], 'SELECT 1 probe')
            # A USE the server cannot read succeeds as SET does, and changes nothing.
            cur.execute('USE [unclosed')
            equal(fetch(cur, '/*quarrow:objects flavour=modern type=4*/ x'),
                  cat.listed(cat.databases[0], 4), 'objects after an unreadable USE')
            # With parameters python-tds sends sp_executesql; the statement is served alike.
            cur.execute('/*quarrow:objects flavour=modern type=16*/ SELECT %s, %s',
                        (12345678901, 'text \u00e9'))
            equal([tuple(row) for row in cur.fetchall()], cat.listed(cat.databases[0], 16),
                  'objects through sp_executesql')
        lines = server.lines()
        check('use: %s' % locked in lines and 'use: Nowhere' in lines, 'USE logged')
        check('batch: SET NOCOUNT ON' in lines, 'SET logged')
        check('batch: /*quarrow:tables*/ x' in lines, 'unknown batch logged')


def rows_until_dropped(cur, sql):
    """The rows a result brings before the server drops the connection."""
    cur.execute(sql)
    got = []
    try:
        for _ in range(1000):
            row = cur.fetchone()
            if row is None:
                raise Failure('result not cut: %d rows came whole' % len(got))
            got.append(tuple(row))
    except (pytds.ClosedConnectionError, OSError):
        return got
    raise Failure('result not cut')


def test_drop_after_rows():
    cat = Catalogue(demo('demo.qcat'))
    database = cat.databases[0]
    with Server(demo('demo.qcat'), '--drop-after-rows', '2') as server:
        with server.connect() as conn:
            cur = conn.cursor()
            cur.execute('USE [%s]' % database)
            equal(rows_until_dropped(cur, '/*quarrow:objects flavour=modern type=509*/ x'),
                  cat.listed(database, 509)[:2], 'rows before the drop')
        # The server goes on; every tagged result is cut, the database list too.
        with server.connect() as conn:
            equal(rows_until_dropped(conn.cursor(), '/*quarrow:databases*/ x'),
                  [(name,) for name in cat.databases[:2]], 'databases before the drop')
    with Server(demo('demo.qcat'), '--drop-after-rows', '0') as server:
        with server.connect() as conn:
            try:
                conn.cursor().execute('/*quarrow:databases*/ x')
                conn.cursor().fetchall()
                raise Failure('--drop-after-rows 0 answered')
            except (pytds.ClosedConnectionError, OSError):
                pass


def test_slow_rows_and_cancel():
    cat = Catalogue(demo('demo.qcat'))
    database = cat.databases[0]
    pause = 30_000
    with Server(demo('demo.qcat'), '--slow-rows', str(pause)) as server:
        with server.connect() as conn:
            cur = conn.cursor()
            cur.execute('USE [%s]' % database)
            started = time.monotonic()
            cur.execute('/*quarrow:objects flavour=modern type=509*/ x')
            equal(tuple(cur.fetchone()), cat.listed(database, 509)[0], 'first slow row')
            cur.cancel()
            # The cancel is answered at once, not after the pause between rows.
            check(time.monotonic() - started < pause / 3000, 'cancel waited for the pause')
            check('attention' in server.lines(), 'attention logged')
            # The connection is usable after the cancel; a short result has no pause.
            cur.execute('USE [%s]' % cat.databases[1])
            equal(fetch(cur, '/*quarrow:script flavour=modern type=509 key=1*/ x'),
                  cat.scripts(cat.databases[1], 509)[:1], 'script after the cancel')


# ---- raw TDS for what no client library sends ----

def packet(kind, payload, status=1):
    return struct.pack('>BBHHBB', kind, status, 8 + len(payload), 0, 1, 0) + payload


def prelogin_payload(encryption=2):
    version = struct.pack('>IH', 0x0F000000, 0)
    options = [(0, version), (1, bytes([encryption])), (4, b'\x00')]
    table_size = 5 * len(options) + 1
    table, data = b'', b''
    for token, value in options:
        table += struct.pack('>BHH', token, table_size + len(data), len(value))
        data += value
    return table + b'\xff' + data


def login_payload(user='u', password='p', tds=0x74000004, bad_user_offset=False):
    fields = [('h', 'host'), ('u', user), ('p', password), ('a', 'raw'), ('s', '127.0.0.1'),
              ('x', ''), ('c', 'raw'), ('l', ''), ('d', '')]
    fixed = 94
    data = b''
    table = b''
    for kind, text in fields:
        raw = text.encode('utf-16-le')
        if kind == 'p':
            raw = bytes((((b << 4) | (b >> 4)) & 0xFF) ^ 0xA5 for b in raw)
        offset = fixed + len(data)
        if kind == 'u' and bad_user_offset:
            offset = 60000
        table += struct.pack('<HH', offset, len(text))
        data += raw
    table += b'\x00' * 6  # client id
    table += struct.pack('<HH', fixed + len(data), 0) * 3 + struct.pack('<I', 0)
    head = struct.pack('<IIIIIIBBBBiI', fixed + len(data), tds, 4096, 7, 0, 0, 0xE0, 0x03, 0,
                       0, 0, 0x409)
    body = head + table + data
    assert len(head + table) == fixed
    return body


def batch_payload(text, headers=True):
    raw = text.encode('utf-16-le')
    if not headers:
        return raw
    transaction = struct.pack('<IHQI', 18, 2, 0, 1)
    return struct.pack('<I', 4 + len(transaction)) + transaction + raw


def read_message(sock):
    """One whole response message, or None when the server closed the connection."""
    payload = b''
    while True:
        header = read_exact(sock, 8)
        if header is None:
            return None
        kind, status, length = struct.unpack('>BBH', header[:4])
        body = read_exact(sock, length - 8)
        if body is None:
            return None
        payload += body
        if status & 1:
            return payload


def read_exact(sock, size):
    data = b''
    while len(data) < size:
        try:
            chunk = sock.recv(size - len(data))
        except ConnectionResetError:
            return None
        if not chunk:
            return None
        data += chunk
    return data


def raw_client(server, login=True):
    sock = socket.create_connection(('127.0.0.1', server.port), timeout=WAIT)
    sock.sendall(packet(0x12, prelogin_payload()))
    check(read_message(sock) is not None, 'no PRELOGIN answer')
    if login:
        sock.sendall(packet(0x10, login_payload()))
        answer = read_message(sock)
        check(answer is not None and b'\xad' in answer, 'no LOGINACK')
    return sock


def closed(sock):
    """True when the server closes the connection without answering."""
    try:
        return read_message(sock) is None
    except socket.timeout:
        return False


def test_attention_raw():
    with Server(demo('demo.qcat'), '--slow-rows', '30000') as server:
        sock = raw_client(server)
        sock.sendall(packet(0x01, batch_payload('/*quarrow:databases*/ x')))
        # The first row comes, then the server pauses; ATTENTION cuts the pause short.
        time.sleep(0.3)
        sock.sendall(packet(0x06, b''))
        answer = b''
        while True:
            message = read_message(sock)
            check(message is not None, 'connection closed instead of the ATTENTION answer')
            answer += message
            if message[-13:-11] == b'\xfd\x20':
                break
        check(answer[-13:] == b'\xfd\x20\x00' + b'\x00' * 10, 'DONE with only ATTN')
        # An ATTENTION after a finished result is acknowledged as well.
        sock.sendall(packet(0x01, batch_payload('SET NOCOUNT ON')))
        equal(read_message(sock), b'\xfd' + b'\x00' * 12, 'DONE of SET')
        sock.sendall(packet(0x06, b''))
        equal(read_message(sock), b'\xfd\x20' + b'\x00' * 11, 'late ATTENTION answer')
        # A 7.1 batch carries no headers.
        sock.close()


def test_hostile_packets():
    big = struct.pack('>BBHHBB', 0x01, 1, 0xFFFF, 0, 1, 0)
    with Server(demo('demo.qcat')) as server:
        cases = [
            ('packet length 4 outside', False, struct.pack('>BBHHBB', 0x12, 1, 4, 0, 1, 0)),
            ('packet length 40000 outside', False, struct.pack('>BBHHBB', 0x12, 1, 40000, 0, 1,
                                                               0)),
            ('LOGIN7 shorter than its fixed part', False, packet(0x10, b'\x05\x00')),
            ('LOGIN7 names a string outside', False,
             packet(0x10, login_payload(bad_user_offset=True))),
            ('packet length 65535 outside', True, big + b'\x00' * 100),
            ('headers length 5000 outside', True,
             packet(0x01, struct.pack('<I', 5000) + b'\x00' * 20)),
            ('header length outside its block', True,
             packet(0x01, struct.pack('<II', 10, 200) + b'\x00' * 10)),
            ('batch text of odd length', True, packet(0x01, batch_payload('x') + b'\x00')),
            ('packet type 153 after login', True, packet(0x99, b'')),
            ('RPC procedure name outside', True,
             packet(0x03, batch_payload('')[:22] + struct.pack('<H', 300) + b'a\x00')),
            ('RPC parameter outside', True,
             packet(0x03, batch_payload('')[:22] + struct.pack('<HHH', 0xFFFF, 10, 0) +
                    b'\x00\x00\x63' + struct.pack('<I', 10) + b'\x09\x04\xd0\x00\x34' +
                    struct.pack('<I', 100000) + b'x\x00')),
            ('RPC parameter outside the message', True,
             packet(0x03, batch_payload('')[:22] + struct.pack('<HHH', 0xFFFF, 12, 0) +
                    b'\x00\x00\x26\x04\xc8' + b'\x00' * 20)),
        ]
        for what, login, data in cases:
            sock = socket.create_connection(('127.0.0.1', server.port), timeout=WAIT)
            if login:
                sock.close()
                sock = raw_client(server)
            sock.sendall(data)
            check(closed(sock), '%s: connection not closed' % what)
            sock.close()
            deadline = time.monotonic() + WAIT
            while what not in server.stderr() and time.monotonic() < deadline:
                time.sleep(0.05)
            check(what in server.stderr(), 'closed, but not for "%s": %s' % (what, server.stderr()))
        # A 7.1 login: its batches have no headers.
        sock = socket.create_connection(('127.0.0.1', server.port), timeout=WAIT)
        sock.sendall(packet(0x10, login_payload(tds=0x71000001)))
        answer = read_message(sock)
        check(b'\xad' in answer and b'\x71\x00\x00\x01' in answer, '7.1 LOGINACK')
        sock.sendall(packet(0x01, batch_payload('SET ANSI_NULLS ON', headers=False)))
        equal(read_message(sock), b'\xfd' + b'\x00' * 8, '7.1 DONE')
        sock.close()
        with server.connect() as conn:
            equal(fetch(conn.cursor(), 'SELECT 1'), [(1,)], 'server alive after hostile input')


def test_mutated_requests():
    """Valid requests with random bytes changed: each is answered or its connection closed,
    and the server lives on. Seeded, so a failure repeats."""
    rng = random.Random(20261209)
    rpc = (batch_payload('')[:22] + struct.pack('<HHH', 0xFFFF, 10, 0) + b'\x00\x00\x63' +
           struct.pack('<I', 44) + b'\x09\x04\xd0\x00\x34' + struct.pack('<I', 44) +
           '/*quarrow:databases*/ x'.encode('utf-16-le')[:44])
    samples = [(0x10, login_payload(), False),
               (0x12, prelogin_payload(), False),
               (0x01, batch_payload('/*quarrow:objects flavour=modern type=509*/ x'), True),
               (0x03, rpc, True)]
    with Server(demo('demo.qcat')) as server:
        for _ in range(120):
            kind, payload, login = rng.choice(samples)
            data = bytearray(payload)
            for _ in range(rng.randint(1, 4)):
                data[rng.randrange(len(data))] = rng.randrange(256)
            sock = raw_client(server) if login else socket.create_connection(
                ('127.0.0.1', server.port), timeout=WAIT)
            sock.settimeout(WAIT)
            sock.sendall(packet(kind, bytes(data)))
            try:
                read_message(sock)  # an answer, or the connection closed
            except socket.timeout:
                raise Failure('neither answered nor closed: %s' % bytes(data).hex())
            sock.close()
        with server.connect() as conn:
            equal(fetch(conn.cursor(), 'SELECT 1'), [(1,)], 'server alive after mutated input')


def test_no_answer_and_encryption():
    with Server(demo('demo.qcat'), '--no-answer') as server:
        sock = socket.create_connection(('127.0.0.1', server.port), timeout=1)
        sock.sendall(packet(0x12, prelogin_payload()))
        try:
            data = sock.recv(100)
            raise Failure('--no-answer answered %r' % data)
        except socket.timeout:
            pass
        sock.close()
    with Server(demo('demo.qcat'), '--require-encryption') as server:
        sock = socket.create_connection(('127.0.0.1', server.port), timeout=WAIT)
        sock.sendall(packet(0x12, prelogin_payload()))
        answer = read_message(sock)
        at = 0
        encryption = None
        while answer[at] != 0xFF:
            token, offset, length = struct.unpack('>BHH', answer[at:at + 5])
            if token == 1:
                encryption = answer[offset]
            at += 5
        equal(encryption, 3, 'ENCRYPTION answer')
        # What a client sends next would be its TLS handshake: the server hangs up.
        sock.sendall(packet(0x12, b'\x16\x03\x01\x00\x00'))
        check(closed(sock), 'connection not closed at the TLS handshake')
    with Server(demo('demo.qcat')) as server:
        sock = socket.create_connection(('127.0.0.1', server.port), timeout=WAIT)
        sock.sendall(packet(0x12, prelogin_payload()))
        answer = read_message(sock)
        equal(answer[:5], b'\x00\x00\x1a\x00\x06', 'VERSION first in PRELOGIN answer')
        equal(answer[26:32], b'\x0f\x00\x07\xd0\x00\x00', 'PRELOGIN version 15.0.2000')
        equal(answer[32], 2, 'ENCRYPT_NOT_SUP')


def make_certificates():
    """An authority, a server certificate it signed for 127.0.0.1, and an unrelated authority,
    made with the openssl command in the scratch folder once."""
    folder = os.path.join(SCRATCH, 'tls')
    if os.path.isdir(folder):
        return folder
    os.mkdir(folder)

    def openssl(*args):
        subprocess.run(('openssl',) + args, cwd=folder, check=True, capture_output=True,
                       timeout=WAIT)

    ec = ('-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes')
    for name in ('ca', 'other'):
        openssl('req', '-x509', *ec, '-days', '2', '-subj', '/CN=check %s' % name,
                '-keyout', name + '.key', '-out', name + '.pem')
    openssl('req', *ec, '-subj', '/CN=127.0.0.1', '-keyout', 'server.key', '-out', 'server.csr')
    with open(os.path.join(folder, 'server.ext'), 'w') as ext:
        ext.write('subjectAltName=IP:127.0.0.1,DNS:localhost\n')
    openssl('x509', '-req', '-in', 'server.csr', '-CA', 'ca.pem', '-CAkey', 'ca.key',
            '-CAcreateserial', '-days', '2', '-extfile', 'server.ext', '-out', 'server.pem')
    return folder


def encryption_answer(server, offered):
    """The ENCRYPTION byte of the server's PRELOGIN answer to a client offering this one."""
    sock = socket.create_connection(('127.0.0.1', server.port), timeout=WAIT)
    sock.sendall(packet(0x12, prelogin_payload(offered)))
    answer = read_message(sock)
    sock.close()
    check(answer is not None, 'no PRELOGIN answer')
    at = 0
    while answer[at] != 0xFF:
        token, offset, length = struct.unpack('>BHH', answer[at:at + 5])
        if token == 1:
            return answer[offset]
        at += 5
    raise Failure('no ENCRYPTION in the PRELOGIN answer')


def tls_handshake(sock, cafile):
    """The client side of the handshake inside PRELOGIN packets, with Python's own ssl module
    (not the library pytds uses); the TLS object, ready for records on the bare socket."""
    import ssl
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.load_verify_locations(cafile)
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = context.wrap_bio(incoming, outgoing, server_hostname='127.0.0.1')
    for _ in range(16):
        try:
            tls.do_handshake()
            done = True
        except ssl.SSLWantReadError:
            done = False
        flight = outgoing.read()
        if flight:
            sock.sendall(packet(0x12, flight))
        if done:
            return tls
        answer = read_message(sock)
        check(answer is not None, 'server left during the TLS handshake')
        incoming.write(answer)
    raise Failure('TLS handshake did not finish')


def test_tls():
    folder = make_certificates()
    cert, key = os.path.join(folder, 'server.pem'), os.path.join(folder, 'server.key')
    ca, other = os.path.join(folder, 'ca.pem'), os.path.join(folder, 'other.pem')
    cat = Catalogue(demo('demo.qcat'))
    tls_knobs = ('--tls-cert', cert, '--tls-key', key)
    # ENCRYPT_OFF 0, ON 1, NOT_SUP 2, REQ 3: the answers SQL Server gives.
    for knobs, answers in ((tls_knobs, {0: 0, 1: 1, 2: 2, 3: 1}),
                           (tls_knobs + ('--require-encryption',), {0: 3, 1: 3, 2: 3, 3: 3}),
                           (tls_knobs + ('--no-encryption',), {0: 2, 1: 2, 2: 2, 3: 2}),
                           ((), {0: 2, 1: 2, 2: 2, 3: 2})):
        with Server(demo('demo.qcat'), *knobs) as server:
            for offered, expected in answers.items():
                equal(encryption_answer(server, offered), expected,
                      'answer to %d with %r' % (offered, knobs[2:]))

    # pytds (pyOpenSSL) checking the certificate against the authority: whole connection,
    # and the login only; the catalogue reads the same either way.
    with Server(demo('demo.qcat'), *tls_knobs) as server:
        check_through_pytds(server, cat, pytds.tds_base.TDS74, 0x0F0007D0, cafile=ca,
                            validate_host=False)
        check_through_pytds(server, cat, pytds.tds_base.TDS74, 0x0F0007D0, cafile=ca,
                            validate_host=False, enc_login_only=True)
        lines = server.lines()
        check(lines[0].startswith('tls: full TLSv1.2'), 'full TLS logged: %r' % lines[:2])
        equal(lines[1], 'login: u (encrypted)', 'encrypted login logged')
        check(any(line.startswith('tls: login-only') for line in lines), 'login-only logged')
        equal(lines.count('login: u (encrypted)'), 2, 'both logins encrypted')
        try:
            server.connect(cafile=other, validate_host=False).close()
            raise Failure('a certificate of another authority was accepted')
        except Exception as error:
            check(not isinstance(error, Failure), str(error))
        check(not any(line == 'login: u (encrypted)' for line in server.lines()[len(lines):]),
              'a login after a refused certificate')

    # A client that agrees on TLS and then sends its login in clear is turned away.
    with Server(demo('demo.qcat'), *tls_knobs) as server:
        sock = socket.create_connection(('127.0.0.1', server.port), timeout=WAIT)
        sock.sendall(packet(0x12, prelogin_payload(0)))
        check(read_message(sock) is not None, 'no PRELOGIN answer')
        tls_handshake(sock, ca)
        sock.sendall(packet(0x10, login_payload()))
        check(closed(sock), 'a login in clear after the handshake was answered')
        equal(server.lines()[-1], 'login packet: in clear', 'clear login logged')

    # A server that requires TLS turns away a client without it before any login.
    with Server(demo('demo.qcat'), '--require-encryption', *tls_knobs) as server:
        try:
            server.connect().close()
            raise Failure('a client without TLS was served')
        except Exception as error:
            check(not isinstance(error, Failure), str(error))
        check(not any(line.startswith('login:') for line in server.lines()), 'login logged')


def test_command_line():
    for args, message in (([], '--catalogue FILE.qcat is required'),
                          (['--catalogue'], '--catalogue needs a value'),
                          (['--catalogue', demo('demo.qcat'), '--port', '70000'],
                           '--port takes a number from 0 to 65535'),
                          (['--catalogue', demo('demo.qcat'), '--slow-rows', '-1'],
                           '--slow-rows takes milliseconds'),
                          (['--catalogue', demo('demo.qcat'), '--login', 'nocolon'],
                           '--login takes USER:PASSWORD'),
                          (['--catalogue', demo('demo.qcat'), '--bogus'], "unknown argument"),
                          (['--catalogue', demo('demo.qcat'), '--tls-cert', 'x.pem'],
                           '--tls-cert and --tls-key go together'),
                          (['--catalogue', demo('demo.qcat'), '--tls-cert',
                            os.path.join(SCRATCH, 'empty.conf'), '--tls-key',
                            os.path.join(SCRATCH, 'empty.conf')], 'cannot be used'),
                          (['--catalogue', os.path.join(SCRATCH, 'missing.qcat')],
                           'no such file'),
                          (['--catalogue', os.path.join(SCRATCH, 'empty.conf')],
                           'not an SQLite database')):
        done = subprocess.run([SERVER] + args, capture_output=True, timeout=WAIT)
        equal(done.returncode, 2, 'exit status for %r' % args)
        check(message in done.stderr.decode(), 'message for %r: %r' % (args, done.stderr))
        equal(done.stdout, b'', 'nothing on stdout for %r' % args)
    # A port of the caller's choosing.
    probe = socket.socket()
    probe.bind(('127.0.0.1', 0))
    port = probe.getsockname()[1]
    probe.close()
    with Server(demo('demo.qcat'), '--port', str(port)) as server:
        equal(server.port, port, 'the port asked for')
        with server.connect() as conn:
            equal(fetch(conn.cursor(), 'SELECT 1'), [(1,)], 'served on the port asked for')


# ---- a catalogue with a large script and awkward text ----

SCHEMA = '''
CREATE TABLE catalogue(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE databases(id INTEGER PRIMARY KEY, position INTEGER NOT NULL UNIQUE,
                       name TEXT NOT NULL);
CREATE TABLE objects(database_id INTEGER NOT NULL REFERENCES databases(id),
                     position INTEGER NOT NULL, name TEXT NOT NULL,
                     type_code INTEGER NOT NULL, type_name TEXT NOT NULL,
                     created TEXT NOT NULL, script TEXT,
                     PRIMARY KEY (database_id, position));
'''


def large_script():
    # A surrogate pair straddles every 4000-unit boundary a row or chunk may be cut at.
    piece = 'x' * 3999 + '\U0001F600' + 'caf\u00e9 \u6f22\u5b57 -- line\r\n'
    text = 'CREATE PROCEDURE dbo.Huge AS\r\n'
    while len(text.encode('utf-8')) < 2 * 1024 * 1024:
        text += piece
    return text + 'RETURN 0;'


def make_catalogue(path, flavour, script):
    db = sqlite3.connect(path)
    db.executescript(SCHEMA)
    db.executemany('INSERT INTO catalogue VALUES (?, ?)',
                   [('format', '1'), ('flavour', flavour), ('server', 'BIG\u00c9'),
                    ('taken', '2026-01-01T00:00:00Z')])
    db.executemany('INSERT INTO databases VALUES (?, ?, ?)',
                   [(1, 0, 'Big'), (2, 1, 'Odd]Name'), (3, 2, 'Empty')])
    created = '2020-01-02 03:04:05' if flavour == 'modern' else 'Jan  2 2020  3:04AM'
    db.executemany('INSERT INTO objects VALUES (?, ?, ?, ?, ?, ?, ?)', [
        (1, 0, 'dbo.Huge', 16, 'Stored Procedure', created, script),
        (1, 1, 'sales.NoScript', 4, 'View', created, None),
        (1, 2, 'Bare', 8, 'User Table', created, ''),
        (1, 3, 'x.y.z', 4096, 'User Defined Function', created, 'CREATE FUNCTION x.[y.z]()'),
        (2, 0, 'dbo.\u00c5ngstr\u00f6m', 4, 'View', created, 'CREATE VIEW \U0001F600'),
    ])
    db.commit()
    db.close()


def test_large_script():
    script = large_script()
    for flavour in ('modern', 'legacy'):
        path = os.path.join(SCRATCH, 'big-%s.qcat' % flavour)
        make_catalogue(path, flavour, script)
        cat = Catalogue(path)
        version = 0x0F0007D0 if flavour == 'modern' else 0x080007F7
        with Server(path) as server:
            check_through_pytds(server, cat, pytds.tds_base.TDS74, version)
            with server.connect(blocksize=32767) as conn:
                cur = conn.cursor()
                cur.execute('USE [Odd]]Name]')
                cur.execute('USE Big')
                rows = fetch(cur, '/*quarrow:script flavour=%s type=16 key=1*/ x' % flavour)
                equal(len(rows) == 1, flavour == 'modern', 'one row per script (modern only)')
                check(joined(rows) == [(1, script)], '%s: 2 MB script not whole' % flavour)
                equal(fetch(cur, '/*quarrow:objects flavour=%s type=8*/ x' % flavour),
                      [(3, 'dbo', 'Bare', 8, cat.objects['Big'][2][4], 1)], 'bare name')
                equal(fetch(cur, '/*quarrow:scripts flavour=%s type=8*/ x' % flavour),
                      [(3, '')], 'an empty script is one empty row')


def test_stamps_and_scripts_of():
    """A snapshot taken of a server keys objects by their ids and stamps them: the stamps list
    and the scripts of chosen keys, read with python-tds, are what sqlite3 reads."""
    import shutil
    path = os.path.join(SCRATCH, 'stamped.qcat')
    shutil.copy(demo('demo.qcat'), path)
    db = sqlite3.connect(path)
    db.execute('UPDATE objects SET object_id = 1000 + position * 7, '
               "stamp = '2024-01-01 00:00:' || position")
    db.execute('UPDATE objects SET created = NULL WHERE position = 1')
    db.commit()
    expected = {}
    for dbid, database in db.execute('SELECT id, name FROM databases ORDER BY position'):
        rows = []
        for key, name, code, created, script, stamp in db.execute(
                'SELECT object_id, name, type_code, created, script, stamp FROM objects '
                'WHERE database_id = ? ORDER BY position', (dbid,)):
            schema, dot, bare = name.partition('.')
            if not dot:
                schema, bare = 'dbo', name
            rows.append((key, schema, bare, code, created, 0 if script is None else 1, stamp,
                         script))
        expected[database] = rows
    db.close()
    with Server(path) as server, server.connect() as conn:
        cur = conn.cursor()
        for database, rows in expected.items():
            cur.execute('USE [%s]' % database)
            equal(fetch(cur, '/*quarrow:stamps flavour=modern*/ x'),
                  [row[:7] for row in rows], 'stamps of %s' % database)
            chosen = [row for row in rows[::3] if row[7] is not None]
            keys = ','.join(str(row[0]) for row in reversed(chosen))
            equal(fetch(cur, '/*quarrow:scripts-of flavour=modern keys=%s,999999*/ x' % keys),
                  [(row[0], row[7]) for row in chosen], 'scripts of chosen keys in %s' % database)
        for bad in ('keys=', 'keys=1,,2', 'keys=a', 'keys=0'):
            try:
                fetch(cur, '/*quarrow:scripts-of flavour=modern %s*/ x' % bad)
                raise Failure('%s was answered' % bad)
            except pytds.DatabaseError as error:
                equal(error.number, 102, 'error of %s' % bad)


def test_changes_and_summary():
    """A modern refresh asks for the objects stamped since a time and for a count and digest of
    every object: read with python-tds, they are what sqlite3 and hashlib make of the file."""
    import hashlib
    import shutil
    import struct
    path = os.path.join(SCRATCH, 'changes.qcat')
    shutil.copy(demo('demo.qcat'), path)
    db = sqlite3.connect(path)
    db.execute('UPDATE objects SET object_id = 1000 + position * 7, '
               "stamp = printf('2024-01-01 00:%02d:%02d.%03d', position / 60 % 60, position % 60, "
               'position % 3)')
    db.execute('UPDATE objects SET stamp = NULL WHERE position % 5 = 4')
    db.commit()
    expected = {}
    for dbid, database in db.execute('SELECT id, name FROM databases ORDER BY position'):
        rows = []
        for key, name, code, created, script, stamp in db.execute(
                'SELECT object_id, name, type_code, created, script, stamp FROM objects '
                'WHERE database_id = ? ORDER BY position', (dbid,)):
            schema, dot, bare = name.partition('.')
            if not dot:
                schema, bare = 'dbo', name
            rows.append((key, schema, bare, code, created, 0 if script is None else 1, stamp))
        expected[database] = rows
    db.close()

    def digest(row):
        shown = row[2] if row[1] == 'dbo' else row[1] + '.' + row[2]
        md5 = hashlib.md5(('%d:%s' % (row[0], shown)).encode('utf-16-le')).digest()
        return struct.unpack('>i', md5[:4])[0]

    with Server(path) as server, server.connect() as conn:
        cur = conn.cursor()
        for database, rows in expected.items():
            cur.execute('USE [%s]' % database)
            stamps = sorted(row[6] for row in rows if row[6] is not None)
            for since in stamps[len(stamps) // 2:len(stamps) // 2 + 1] + ['2000-01-01 00:00:00.000',
                                                                         '2099-01-01 00:00:00.000']:
                tagged = since.replace(' ', 'T')
                equal(fetch(cur, '/*quarrow:changes flavour=modern since=%s*/ x' % tagged),
                      [row for row in rows if row[6] is not None and row[6] >= since],
                      'changes of %s since %s' % (database, since))
            equal(fetch(cur, '/*quarrow:summary flavour=modern*/ x'),
                  [(len(rows), sum(digest(row) for row in rows))], 'summary of %s' % database)
        for bad in ('changes flavour=modern', 'changes flavour=modern since=2024-01-01',
                    'changes flavour=modern since=2024-01-01 00:00:00.000',
                    "changes flavour=modern since=2024-01-01T00:00:00.00'",
                    'changes flavour=legacy since=2024-01-01T00:00:00.000',
                    'summary flavour=legacy', 'summary flavour=modern x=1'):
            try:
                fetch(cur, '/*quarrow:%s*/ x' % bad)
                raise Failure('%s was answered' % bad)
            except pytds.DatabaseError as error:
                equal(error.number, 102, 'error of %s' % bad)


CHECKS = [test_pytds_modern, test_pytds_legacy, test_tsql, test_odbc, test_login_knobs,
          test_use_and_unopenable, test_drop_after_rows, test_slow_rows_and_cancel,
          test_attention_raw, test_hostile_packets, test_mutated_requests,
          test_no_answer_and_encryption, test_tls,
          test_large_script, test_command_line, test_stamps_and_scripts_of,
          test_changes_and_summary]


def main():
    global SERVER, CATALOGUES, SCRATCH
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    SERVER, CATALOGUES = sys.argv[1], sys.argv[2]
    wanted = sys.argv[3:]
    failed = 0
    with tempfile.TemporaryDirectory(prefix='tds-check-') as scratch:
        SCRATCH = scratch
        open(os.path.join(scratch, 'empty.conf'), 'w').close()
        for test in CHECKS:
            if wanted and test.__name__ not in wanted:
                continue
            started = time.monotonic()
            try:
                test()
                print('ok   %s (%.1f s)' % (test.__name__, time.monotonic() - started))
            except Exception:
                failed += 1
                print('FAIL %s' % test.__name__)
                traceback.print_exc()
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
