#!/usr/bin/env python3
"""The Python example client against the real server, over HTTPS, on each store.

Every request kind the example makes must be answered as docs/protocol.md says: a search by
every key, paging that reaches every row once, a duplicate check that finds a patient just
registered, and the record of that patient. On SQLite, and on PostgreSQL when the test command
provides a server (ZELVAR_TEST_POSTGRES, with libpq's PG* variables).
Usage: example_client_check.py SERVER-PROGRAM EXAMPLES-FOLDER
"""
import os
import subprocess
import sys
import tempfile

SERVER, EXAMPLES = sys.argv[1], sys.argv[2]
sys.path.insert(0, EXAMPLES)
import frontdesk  # noqa: E402

failures = []


def check(what, condition, detail=""):
    if not condition:
        failures.append(f"{what}: {detail}")


def exercise(store, database, folder):
    run = lambda *args: subprocess.run([SERVER, *args], capture_output=True, text=True, check=True).stdout
    cert, key = f"{folder}/{store}.crt", f"{folder}/{store}.key"
    run("init", "--cert", cert, "--key", key, "--host", "localhost")
    run("generate", "2000", "--db", database)
    token = next(l.split()[1] for l in run("desk", "add", "EXAMPLE", "--db", database).splitlines()
                 if l.startswith("Token:"))
    server = subprocess.Popen([SERVER, "serve", "--db", database, "--cert", cert, "--key", key,
                               "--listen", "127.0.0.1:0", "--workers", "2"],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    try:
        port = None
        for line in server.stdout:
            if line.startswith("Serving "):
                port = line.split(":")[-1].split()[0]
                break
        check(f"{store}: the server starts", port)
        if not port:
            return
        desk = frontdesk.PracticeServer(f"https://localhost:{port}", token, "EXAMPLE CLERK", cafile=cert)

        # Every key is taken; a name search pages through every row once.
        texts = {"name": "smith", "account": "100001", "guarantor": "smith", "dob": "01/01/1970", "ssn": "1234",
                 "phone": "5550100", "mrn": "MR1", "policy": "BPH1", "transaction": "1", "claim": "1",
                 "encounter": "1", "accession": "A1"}
        for key in frontdesk.KEYS:
            page = desk.search(key, texts[key])
            check(f"{store}: search by {key}", set(page) >= {"columns", "rows", "messages", "next"}, str(page)[:200])
        rows = list(desk.every_row("name", "s"))
        accounts = [r["account"] for r in rows]
        check(f"{store}: paging lists each row once", len(accounts) == len(set(accounts)) and len(accounts) > 50,
              f"{len(accounts)} rows, {len(set(accounts))} different")

        # Register a patient after checking for duplicates; the check then finds them; the
        # record shows them.
        before = desk.duplicates("QUIGLEYSTONE, MARGARET", "03/04/1955", "987-65-4329")
        check(f"{store}: nobody like a new patient", not before, str(before))
        account = desk.register("QUIGLEYSTONE", "MARGARET", "03/04/1955", "F", ssn="987654329", phone="2175550199")
        check(f"{store}: a new account", account > 0, str(account))
        found = desk.duplicates("QUIGLEYSTONE, MARGARET", "03/04/1955", "987-65-4329")
        check(f"{store}: the duplicate check finds them", found and found[0]["account"] == str(account), str(found))
        check(f"{store}: by SSN among the reasons", found and "SSN" in found[0]["matched"], str(found))
        record = desk.record(account)
        check(f"{store}: the record", record["patient"]["last"] == "QUIGLEYSTONE" and record["patient"]["ssn"] == "987654329",
              str(record)[:200])
        by_name = desk.search("name", "quigleystone, margaret")
        check(f"{store}: found by name", [r["account"] for r in by_name["rows"]] == [str(account)], str(by_name)[:300])

        # The example as a command, as its usage says.
        said = subprocess.run([sys.executable, f"{EXAMPLES}/frontdesk.py", "--server", f"https://localhost:{port}",
                               "--token", token, "--cafile", cert, "record", str(account)],
                              capture_output=True, text=True).stdout
        check(f"{store}: the command shows the record", "last\tQUIGLEYSTONE" in said, said[:300])

        # A refused token is told, in the server's words.
        try:
            frontdesk.PracticeServer(f"https://localhost:{port}", "zd_wrong", cafile=cert).search("name", "smith")
            check(f"{store}: a wrong token refused", False)
        except frontdesk.ServerError as e:
            check(f"{store}: a wrong token refused", str(e).startswith("401"), str(e))
    finally:
        server.terminate()
        server.wait(timeout=10)


with tempfile.TemporaryDirectory() as folder:
    exercise("sqlite", f"sqlite:{folder}/practice.db", folder)
    if os.environ.get("ZELVAR_TEST_POSTGRES"):
        name = f"zelvar_example_{os.getpid()}"
        subprocess.run(["createdb", "-E", "UTF8", "-T", "template0", name], check=True)
        try:
            exercise("postgresql", f"postgresql:///{name}", folder)
        finally:
            subprocess.run(["dropdb", "--if-exists", name], check=False)
    else:
        print("example_client_check: no PostgreSQL server for this run (ZELVAR_TEST_POSTGRES); SQLite only")

for failure in failures:
    print("FAILED", failure)
print(f"example_client_check: {len(failures)} failures")
sys.exit(1 if failures else 0)
