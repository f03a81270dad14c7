#!/usr/bin/python3
"""The schema of kestra --json and its validator: documents of each shape pass, and a
change that breaks one rule is found where it is."""
import copy
import importlib.machinery
import json
import pathlib
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
SCHEMA_PATH = HERE.parent.parent / "tools" / "kestra.schema.json"
validate = importlib.machinery.SourceFileLoader("validate", str(HERE / "validate-json")).load_module()
SCHEMA = json.loads(SCHEMA_PATH.read_text())

REPLY = {"id": 7, "flags": ["qr"], "rcode": "NOERROR", "qdcount": 1, "ancount": 0, "nscount": 0,
         "arcount": 0, "bytes": 60, "null_mx": False, "answers": [], "authority": [],
         "additional": []}
QUERY = {"purpose": "check", "transport": "udp", "id": 7, "flags": ["rd"], "sent_bytes": 35,
         "outcome": "reply", "detail": "", "code": None, "elapsed_ms": 1.5, "discarded": [],
         "reply": REPLY}
PARTS = {"access": None, "dns": None, "smtp": None, "resolver": None}
MX = {"schema": 1, "command": "mx", "argument": "a.test", "ok": True, "error": None,
      "result": {"is_error": 0, "error_reason": "", "records": [{"preference": 10, "exchange": "m"}]},
      **PARTS, "dns": {"name": "a.test", "ascii_name": "a.test", "server": None,
                       "not_sent": None, "queries": [QUERY]}}
DOCTOR = {"schema": 1, "command": "doctor", "argument": None, "ok": False,
          "error": {"reason": "a row is FAIL", "step": "doctor"},
          "result": {"rows": [{"check": "x", "status": "FAIL", "detail": "y"}]}, **PARTS}


def changed(document, path, value=KeyError):
    """A copy with the member at `path` set to `value`, or removed."""
    out = copy.deepcopy(document)
    *above, last = path
    place = out
    for key in above:
        place = place[key]
    if value is KeyError:
        del place[last]
    else:
        place[last] = value
    return out


class Schema(unittest.TestCase):
    def test_one_broken_rule_is_found_where_it_is(self):
        self.assertEqual(validate.problems(SCHEMA, MX), [])
        self.assertEqual(validate.problems(SCHEMA, DOCTOR), [])
        for document, expected in [
                (changed(MX, ["ok"]), "/: 'ok' is a required property"),
                (changed(MX, ["verbose"], 1), "/: Additional properties"),
                (changed(MX, ["error"], {"reason": "x", "step": "dns"}), "/error: {'reason'"),
                (changed(MX, ["result", "count"], 3), "/result: Additional properties"),
                (changed(MX, ["result", "is_error"], 2), "/result/is_error: 2 is not one of"),
                (changed(MX, ["dns", "queries", 0, "reply"]), "/dns/queries/0: 'reply' is a"),
                (changed(MX, ["dns", "not_sent"], 1), "/dns/not_sent: 1 is not of type"),
                (changed(DOCTOR, ["result", "rows", 0, "status"], "OK  "), "/result/rows/0/status"),
                (changed(DOCTOR, ["dns"], MX["dns"]), "/dns: {")]:
            found = validate.problems(SCHEMA, document)
            self.assertTrue(any(p.startswith(expected) for p in found), (expected, found))


class Validator(unittest.TestCase):
    def test_a_folder_passes_only_when_it_holds_only_valid_documents(self):
        good = json.dumps(MX).encode()
        for files, rc in [({"a.json": good}, 0), ({}, 1), ({"a.json": good, "b.json": b""}, 1),
                          ({"a.json": good.replace(b"a.test", b"\xff.test")}, 1)]:
            with tempfile.TemporaryDirectory() as folder:
                for name, data in files.items():
                    (pathlib.Path(folder) / name).write_bytes(data)
                self.assertEqual(validate.main(["validate-json", str(SCHEMA_PATH), folder]), rc)


if __name__ == "__main__":
    unittest.main()
