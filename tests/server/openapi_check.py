#!/usr/bin/env python3
"""Validates the practice server's live answers against docs/openapi.yaml.

Starts the real server program on a database of its own, asks what an integrator would (a
search by every key, the next page, a request string, health and readiness) and what goes
wrong (a wrong key, no token, a body over the limit, a connection past the cap), and checks
each answer's status and body against the document's schemas (JSON Schema 2020-12).
Usage: openapi_check.py SERVER-PROGRAM OPENAPI-YAML
"""
import json
import os
import socket
import subprocess
import sys
import tempfile
import urllib.error
import urllib.request

import jsonschema
import yaml

SERVER, DOCUMENT = sys.argv[1], sys.argv[2]
with open(DOCUMENT, encoding="utf-8") as f:
    API = yaml.safe_load(f)
RESOLVER = jsonschema.RefResolver.from_schema(API)
failures = []


def check(what, condition, detail=""):
    if not condition:
        failures.append(f"{what}: {detail}")


def validate(what, body, schema_name):
    schema = {"$ref": f"#/components/schemas/{schema_name}"}
    try:
        jsonschema.Draft202012Validator(schema, resolver=RESOLVER).validate(body)
    except jsonschema.ValidationError as e:
        failures.append(f"{what}: not a {schema_name}: {e.message}")


def documented(path, method, status):
    """The schema the document gives for an answer."""
    answer = API["paths"][path][method]["responses"].get(str(status))
    if answer is None:
        return None
    if "$ref" in answer:
        answer = API["components"]["responses"][answer["$ref"].rsplit("/", 1)[1]]
    return answer["content"]["application/json"]["schema"]["$ref"].rsplit("/", 1)[1]


def ask(path, body=None, token=None, method=None):
    request = urllib.request.Request(f"http://127.0.0.1:{PORT}{path}", data=body, method=method)
    if token:
        request.add_header("Authorization", f"Bearer {token}")
        request.add_header("X-Zelvar-User", "INTEGRATOR")
    try:
        with urllib.request.urlopen(request, timeout=10) as answer:
            return answer.status, json.loads(answer.read())
    except urllib.error.HTTPError as e:
        return e.code, json.loads(e.read())


def expect(what, path, method, status, answer):
    got, body = answer
    check(what, got == status, f"status {got}, not {status}: {body}")
    schema = documented(path, method, got)
    check(what, schema is not None, f"status {got} is not in the document")
    if schema:
        validate(what, body, schema)
    return body


def raw_header_only(token, length, send=True):
    """A request that declares a body over the limit: answered before the body is sent (or,
    past the connection cap, before anything is sent)."""
    with socket.create_connection(("127.0.0.1", PORT), timeout=10) as s:
        try:
            if send:
                s.sendall(f"POST /v1/search HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer {token}\r\n"
                          f"Content-Type: application/json\r\nContent-Length: {length}\r\n\r\n".encode())
        except OSError:
            pass    # answered and closed already
        said = b""
        while b"\r\n\r\n" not in said or len(said.split(b"\r\n\r\n", 1)[1]) < int(
                said.lower().split(b"content-length:", 1)[1].split(b"\r\n", 1)[0]):
            chunk = s.recv(4096)
            if not chunk:
                break
            said += chunk
    head, body = said.split(b"\r\n\r\n", 1)
    return int(head.split()[1]), json.loads(body)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


with tempfile.TemporaryDirectory() as folder:
    db = f"sqlite:{folder}/practice.db"
    run = lambda *args: subprocess.run([SERVER, *args], capture_output=True, text=True, check=True).stdout
    run("init", "--cert", f"{folder}/s.crt", "--key", f"{folder}/s.key", "--host", "localhost")
    run("generate", "3000", "--db", db)
    token = next(l.split()[1] for l in run("desk", "add", "INTEGRATION", "--db", db).splitlines() if l.startswith("Token:"))
    PORT = free_port()
    server = subprocess.Popen([SERVER, "serve", "--db", db, "--cert", f"{folder}/s.crt", "--key", f"{folder}/s.key",
                               "--listen", "127.0.0.1:0", "--plain-loopback", str(PORT), "--workers", "2",
                               "--max-connections-per-address", "4"],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    try:
        for line in server.stdout:
            if line.startswith("Plain HTTP on"):
                break
        else:
            sys.exit("the server did not start")

        texts = {"name": "smith", "account": "100001", "guarantor": "smith", "dob": "01/01/1970", "ssn": "1234",
                 "phone": "5550100", "mrn": "MR1", "policy": "BPH1", "transaction": "1", "claim": "1",
                 "encounter": "1", "accession": "A1"}
        for key in API["components"]["schemas"]["SearchRequest"]["properties"]["key"]["enum"]:
            check(f"an example for {key}", key in texts)
            body = json.dumps({"key": key, "text": texts.get(key, "x"), "after": None}).encode()
            expect(f"search by {key}", "/v1/search", "post", 200, ask("/v1/search", body, token))

        page = expect("a first page", "/v1/search", "post", 200,
                      ask("/v1/search", json.dumps({"text": "s"}).encode(), token))
        check("a first page of 50", len(page.get("rows", [])) == 50 and page.get("next"), str(page)[:200])
        second = expect("the next page", "/v1/search", "post", 200,
                        ask("/v1/search", json.dumps({"text": "s", "after": page.get("next")}).encode(), token))
        first_accounts = {r["account"] for r in page.get("rows", [])}
        check("the next page goes on", not first_accounts & {r["account"] for r in second.get("rows", [])})

        # A duplicate check for a patient the search listed finds them.
        one = page["rows"][0]["values"] if page.get("rows") else {}
        check_body = json.dumps({"name": one.get("Patient Name", ""), "dob": one.get("DOB", "")}).encode()
        found = expect("a duplicate check", "/v1/duplicates", "post", 200, ask("/v1/duplicates", check_body, token))
        check("the duplicate check finds the patient", any(c["account"] == page["rows"][0]["account"]
                                                           for c in found.get("candidates", [])), str(found)[:300])
        record = expect("a record", "/v1/record", "post", 200,
                        ask("/v1/record", json.dumps({"account": page["rows"][0]["account"]}).encode(), token))
        check("the record is the patient's", record.get("patient", {}).get("account") == page["rows"][0]["account"],
              str(record)[:200])
        expect("a record of nobody", "/v1/record", "post", 404, ask("/v1/record", b'{"account": 999}', token))
        expect("a record of no account", "/v1/record", "post", 400, ask("/v1/record", b'{"account": "12|3"}', token))
        expect("a duplicate check of nothing", "/v1/duplicates", "post", 400, ask("/v1/duplicates", b"{}", token))
        expect("a key that is none", "/v1/search", "post", 400,
               ask("/v1/search", json.dumps({"key": "shoe", "text": "x"}).encode(), token))
        expect("a key that is a number", "/v1/search", "post", 400,
               ask("/v1/search", json.dumps({"key": 5, "text": "x"}).encode(), token))
        expect("not JSON", "/v1/search", "post", 400, ask("/v1/search", b"smith", token))
        expect("no token", "/v1/search", "post", 401, ask("/v1/search", json.dumps({"text": "smith"}).encode()))
        expect("a body over the limit", "/v1/search", "post", 413, raw_header_only(token, 2_000_000))
        expect("a request string", "/v1/request", "post", 200, ask("/v1/request", b"|GET|ASCODE|GENDER|", token))
        expect("health", "/v1/health", "get", 200, ask("/v1/health"))
        expect("ready", "/v1/ready", "get", 200, ask("/v1/ready"))

        # Past the connections one address may hold: 503, with the error the document gives.
        held = [socket.create_connection(("127.0.0.1", PORT)) for _ in range(4)]
        try:
            expect("a connection past the cap", "/v1/search", "post", 503, raw_header_only(token, 20, send=False))
        finally:
            for s in held:
                s.close()
    finally:
        server.terminate()
        server.wait(timeout=10)

for failure in failures:
    print("FAILED", failure)
print(f"openapi_check: {len(failures)} failures")
sys.exit(1 if failures else 0)
