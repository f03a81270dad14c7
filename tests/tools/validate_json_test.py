#!/usr/bin/python3
"""The schema of kestra --json and its validator: a document of each shape passes, and
each single change that breaks a rule of the schema is caught with its place."""
import copy
import importlib.machinery
import json
import pathlib
import sys
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
SCHEMA_PATH = HERE.parent.parent / "tools" / "kestra.schema.json"
validate = importlib.machinery.SourceFileLoader("validate", str(HERE / "validate-json")).load_module()
SCHEMA = json.loads(SCHEMA_PATH.read_text())

QUERY = {"purpose": "check", "transport": "udp", "id": 7, "flags": ["rd"], "sent_bytes": 35,
         "outcome": "reply", "cause": None, "code": None, "elapsed_ms": 1.5, "discarded": [],
         "reply": {"id": 7, "flags": ["qr", "aa", "rd"], "rcode": "NOERROR", "qdcount": 1,
                   "ancount": 1, "nscount": 0, "arcount": 0, "bytes": 60,
                   "answers": [{"name": "a.test.", "type": "MX", "class": "IN", "ttl": 300,
                                "data": "10 mx.a.test.", "exchanger": True}],
                   "authority": [], "additional": []}}
MX = {"schema": 1, "command": "mx", "argument": "a.test", "ok": True, "error": None,
      "result": {"is_error": 0, "error_reason": "",
                 "records": [{"preference": 10, "exchange": "mx.a.test"}]},
      "access": {"allowed": True, "step": 1, "refusal": "", "values": []},
      "dns": {"name": "a.test", "ascii_name": "a.test",
              "server": {"given": "127.0.0.2", "address": "127.0.0.2", "port": 53,
                         "chosen_by": "DNSServer", "source": ""},
              "not_sent": None, "queries": [QUERY]},
      "smtp": None, "resolver": None}
DOCTOR = {"schema": 1, "command": "doctor", "argument": None, "ok": False,
          "error": {"reason": "a row is FAIL", "step": "doctor"},
          "result": {"rows": [{"check": "x", "status": "FAIL", "detail": "y"}]},
          "access": None, "dns": None, "smtp": None, "resolver": None}
POLICY = {"schema": 1, "command": "policy", "argument": None, "ok": True, "error": None,
          "result": {"everywhere": None, "sites": [
              {"site": "One", "folder": "C:\\one", "may_call": ["Lookup"],
               "methods": [{"method": "DNSLookup", "access_name": "Lookup", "allowed": True,
                            "refusal": ""}]}]},
          "access": None, "dns": None, "smtp": None, "resolver": None}


def changed(document, path, value=KeyError):
    """A copy of the document with the member at `path` set, or removed."""
    out = copy.deepcopy(document)
    place = out
    for key in path[:-1]:
        place = place[key]
    if value is KeyError:
        del place[path[-1]]
    else:
        place[path[-1]] = value
    return out


class Schema(unittest.TestCase):
    def test_documents_of_each_shape_pass(self):
        for document in (MX, DOCTOR, POLICY,
                         changed(MX, ["result", "records"], None),
                         changed(changed(MX, ["command"], "mxcount"), ["result"],
                                 {"is_error": 1, "error_reason": "x", "count": None}),
                         changed(changed(MX, ["command"], "smtp"), ["result"],
                                 {"is_error": 0, "error_reason": "", "value": 1}),
                         changed(changed(MX, ["command"], "access"), ["result"],
                                 {"is_error": 0, "error_reason": "", "allowed": True})):
            self.assertEqual(validate.problems(SCHEMA, document), [], document["command"])

    def test_each_broken_rule_is_found_where_it_is(self):
        cases = [
            (changed(MX, ["ok"]), "/: 'ok' is a required property"),
            (changed(MX, ["verbose"], 1), "/: Additional properties"),
            (changed(MX, ["schema"], 2), "/schema: 1 was expected"),
            (changed(MX, ["command"], "lookup"), "/command: 'lookup' is not one of"),
            (changed(MX, ["error"], {"reason": "x", "step": "dns"}), "/error: {'reason': 'x', 'step': 'dns'} is not of type 'null'"),
            (changed(MX, ["error"], "x"), "/error: 'x' is not valid"),
            (changed(MX, ["result", "count"], 3), "/result: Additional properties"),
            (changed(MX, ["result", "is_error"], 2), "/result/is_error: 2 is not one of"),
            (changed(MX, ["result", "records", 0, "preference"], "10"), "/result/records/0/preference"),
            (changed(MX, ["dns", "queries", 0, "reply"]), "/dns/queries/0: 'reply' is a required"),
            (changed(MX, ["dns", "not_sent"], "no server"), "/dns/not_sent: 'no server' is not of type"),
            (changed(MX, ["access", "allowed"], "yes"), "/access/allowed: 'yes' is not of type"),
            (changed(MX, ["smtp"], {"host": "x"}), "/smtp: 'ascii_host' is a required"),
            (changed(MX, ["resolver"]), "/: 'resolver' is a required property"),
            (changed(DOCTOR, ["result", "rows", 0, "status"], "OK  "), "/result/rows/0/status"),
            (changed(DOCTOR, ["dns"], MX["dns"]), "/dns: {"),
            (changed(POLICY, ["result", "sites", 0, "may_call"], ["All"]),
             "/result/sites/0/may_call/0: 'All' is not one of"),
        ]
        for document, expected in cases:
            found = validate.problems(SCHEMA, document)
            self.assertTrue(any(p.startswith(expected) for p in found), (expected, found))


class Validator(unittest.TestCase):
    def run_on(self, files):
        with tempfile.TemporaryDirectory() as folder:
            for name, data in files.items():
                (pathlib.Path(folder) / name).write_bytes(data)
            return validate.main(["validate-json", str(SCHEMA_PATH), folder])

    def test_folder_passes_only_when_every_document_is_valid(self):
        good = json.dumps(MX).encode()
        self.assertEqual(self.run_on({"a.json": good, "b.json": good}), 0)
        self.assertEqual(self.run_on({}), 1, "an empty folder: nothing was written")
        self.assertEqual(self.run_on({"a.json": good, "b.json": b""}), 1)
        self.assertEqual(self.run_on({"a.json": good.replace(b"a.test", b"\xff.test")}), 1)
        self.assertEqual(self.run_on({"a.json": json.dumps(changed(MX, ["ok"])).encode()}), 1)


if __name__ == "__main__":
    unittest.main(verbosity=1)
