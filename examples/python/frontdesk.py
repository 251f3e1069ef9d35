#!/usr/bin/env python3
"""A front desk's client of the practice server in Python, standard library only.

Searches by any key and pages through the answer, checks for duplicates before registering a
patient, registers one, and shows a patient's record: what a billing client's front desk does,
through the server's documented interface (docs/protocol.md, docs/openapi.yaml).

    frontdesk.py --server https://frontdesk-server.local:8743 --token zd_... --cafile server.crt \\
        search name "smith, john"
    frontdesk.py ... duplicates "SMITH, JOHN" 02/10/1969 123-45-6789
    frontdesk.py ... register SMITH JOHN 02/10/1969 M
    frontdesk.py ... record 100234
"""
import argparse
import json
import ssl
import sys
import urllib.error
import urllib.request

KEYS = ("name", "account", "guarantor", "dob", "ssn", "phone", "mrn", "policy", "transaction", "claim",
        "encounter", "accession")


class ServerError(Exception):
    """The server refused or could not answer; the reason in its words."""


class PracticeServer:
    def __init__(self, server, token, clerk="", cafile=None, timeout=10):
        self.server = server.rstrip("/")
        self.token = token
        self.clerk = clerk
        self.timeout = timeout
        # The practice's own certificate: trusted as a file, checked by its host name.
        self.context = ssl.create_default_context(cafile=cafile) if server.startswith("https") else None

    def _post(self, path, body, content_type):
        request = urllib.request.Request(self.server + path, data=body, method="POST")
        request.add_header("Authorization", f"Bearer {self.token}")
        request.add_header("Content-Type", content_type)
        if self.clerk:
            request.add_header("X-Zelvar-User", self.clerk)
        try:
            with urllib.request.urlopen(request, timeout=self.timeout, context=self.context) as answer:
                return json.loads(answer.read())
        except urllib.error.HTTPError as e:
            try:
                reason = json.loads(e.read()).get("error", "")
            except ValueError:
                reason = ""
            raise ServerError(f"{e.code}: {reason or e.reason}") from None
        except urllib.error.URLError as e:
            raise ServerError(f"the server at {self.server} does not answer ({e.reason})") from None

    def request(self, text):
        """A request string as the desks' component sends it; the server's reply strings."""
        replies = self._post("/v1/request", text.encode("utf-8"), "text/plain; charset=utf-8")["replies"]
        if replies and replies[0].startswith("|OK||ERROR: "):
            raise ServerError(replies[0][len("|OK||ERROR: "):])
        return replies

    def search(self, key, text, after=None):
        """One page: {"columns", "rows", "messages", "next", "total", "total_at_least"}."""
        if key not in KEYS:
            raise ValueError(f"the keys are {', '.join(KEYS)}")
        body = json.dumps({"key": key, "text": text, "after": after}).encode("utf-8")
        return self._post("/v1/search", body, "application/json")

    def every_row(self, key, text, pages=100):
        """Every row of a search, page after page (at most `pages` of them)."""
        after = None
        for _ in range(pages):
            page = self.search(key, text, after)
            yield from page["rows"]
            after = page["next"]
            if after is None:
                return

    def duplicates(self, name, dob="", ssn="", account="", policy="", mrn=""):
        """Patients who may be this one, the closest first: account, name, DOB, SSN's last
        four, score and what matched."""
        replies = self.request("|GET|DUPPAT|" + "\t".join((ssn, account, name, dob, policy, mrn)))
        found = []
        for reply in replies:
            if not reply.startswith("|GR|0|"):
                continue
            cells = reply[len("|GR|0|"):].split("\t")
            # Each cell ends in seven style characters.
            text = [c[:-7] if len(c) >= 7 else "" for c in cells[1:]]
            found.append({"account": cells[0], "name": text[1], "dob": text[2], "ssn": text[3],
                          "score": float(text[4] or 0), "matched": text[5]})
        return found

    def register(self, last, first, dob, sex, middle="", ssn="", phone="", street="", city="", state="", zip_code="",
                 payor="", policy=""):
        """A new patient; the new account number."""
        fields = (last, first, middle, dob, sex, ssn, phone, street, city, state, zip_code, payor, policy)
        if any("\t" in f or "|" in f for f in fields):
            raise ValueError("no field may hold a tab or a |")
        replies = self.request("|PUT|PATIENT|" + "\t".join(fields))
        return int(replies[0][len("|OK||"):])

    def record(self, account):
        """The patient's record: patient, guarantor, insurance, visits and balance. An account
        with no patient is a ServerError ("404: ...")."""
        return self._post("/v1/record", json.dumps({"account": str(account)}).encode("utf-8"), "application/json")


def main():
    parser = argparse.ArgumentParser(description="A front desk's client of the practice server.")
    parser.add_argument("--server", required=True, help="https://HOST:PORT")
    parser.add_argument("--token", required=True, help="the desk's token")
    parser.add_argument("--cafile", help="the server's certificate (server.crt)")
    parser.add_argument("--clerk", default="", help="the clerk's name, for the access log")
    commands = parser.add_subparsers(dest="command", required=True)
    search = commands.add_parser("search")
    search.add_argument("key", choices=KEYS)
    search.add_argument("text")
    duplicates = commands.add_parser("duplicates")
    duplicates.add_argument("name")
    duplicates.add_argument("dob", nargs="?", default="")
    duplicates.add_argument("ssn", nargs="?", default="")
    register = commands.add_parser("register")
    for field in ("last", "first", "dob", "sex"):
        register.add_argument(field)
    record = commands.add_parser("record")
    record.add_argument("account")
    a = parser.parse_args()

    desk = PracticeServer(a.server, a.token, a.clerk, a.cafile)
    try:
        if a.command == "search":
            page = desk.search(a.key, a.text)
            for message in page["messages"]:
                print(f"-- {message['text']}")
            for row in page["rows"]:
                print(row["account"], row["values"].get("Patient Name", ""), row["values"].get("DOB", ""), sep="\t")
            if page["next"]:
                total = page["total"]
                print(f"-- more follow{f' ({total} in all)' if total else ''}")
        elif a.command == "duplicates":
            for d in desk.duplicates(a.name, a.dob, a.ssn):
                print(d["account"], d["name"], d["dob"], f"{d['score']:.2f}", d["matched"], sep="\t")
        elif a.command == "register":
            print(desk.register(a.last, a.first, a.dob, a.sex))
        elif a.command == "record":
            record = desk.record(a.account)
            for field, value in record["patient"].items():
                if isinstance(value, str) and value:
                    print(field, value, sep="\t")
            for phone in record["patient"]["phones"]:
                print(phone["type"].lower(), phone["number"], sep="\t")
            print("balance", f"{record['balance']['total']:.2f}", sep="\t")
    except ServerError as e:
        sys.exit(f"frontdesk: {e}")


if __name__ == "__main__":
    main()
