// The Lookup object and its collections from Wine's JScript host, as a page written
// in JScript uses them. Needs the registered library and the loopback test bed. cscript
// ends silently on an uncaught error, so the suite counts its own checks, prints
// "N passed, N failed" last and exits with 1 when anything failed.
var passed = 0, failed = 0;

function check(what, ok) {
  if (ok) {
    passed++;
  } else {
    failed++;
    WScript.Echo("FAILED: " + what);
  }
}
function checkText(what, got, want) {
  check(what + " (got [" + got + "], want [" + want + "])", String(got) === String(want));
}
function raises(f) {
  try {
    f();
  } catch (e) {
    return true;
  }
  return false;
}
function env(name, fallback) {
  var value = new ActiveXObject("WScript.Shell").ExpandEnvironmentStrings("%" + name + "%");
  return value === "%" + name + "%" || value === "" ? fallback : value;
}

var dns = env("KESTRA_TEST_DNS", "127.0.0.2");
var smtp = env("KESTRA_TEST_SMTP", "127.0.0.4");

// An uncaught error would end the script silently: it counts as a failure instead.
function suite() {
  var o = new ActiveXObject("Brevan.MX");
  checkText("new IsError", o.IsError, 0);
  checkText("IsError is a number", typeof o.IsError, "number");
  checkText("new ErrorReason", o.ErrorReason, "");

  // No domain yet: GetMXRecord hands back a null object reference.
  var l = o.GetMXRecord();
  check("GetMXRecord without a domain gives null", l === null);
  checkText("without a domain: IsError", o.IsError, 1);
  checkText("without a domain: ErrorReason", o.ErrorReason, "Please specify domain name");

  o.DNSServer = dns;
  o.DomainName = "mail.scripts.test";
  o.Timeout = 5;
  checkText("puts keep IsError", o.IsError, 1);
  checkText("MXRecords", o.MXRecords, 3);
  checkText("MXRecords: IsError", o.IsError, 0);

  l = o.GetMXRecord();
  check("GetMXRecord gives a list", l !== null);
  checkText("Count", l.Count, 3);
  checkText("Item(1).MX", l.Item(1).MX, "alpha.scripts.test");
  checkText("Item(1).Preference", l.Item(1).Preference, "30");
  checkText("Preference is text", typeof l.Item(1).Preference, "string");
  checkText("Item(3).MX", l.Item(3).MX, "charlie.scripts.test");

  var names = "", count = 0;
  for (var en = new Enumerator(l); !en.atEnd(); en.moveNext()) {
    names += en.item().MX + "=" + en.item().Preference + ";";
    count++;
  }
  checkText("Enumerator walks the list in order", names,
            "alpha.scripts.test=30;bravo.scripts.test=20;charlie.scripts.test=10;");
  checkText("Enumerator count", count, 3);

  check("Item(Count + 1) throws", raises(function () { l.Item(l.Count + 1); }));
  check("Item(0) throws", raises(function () { l.Item(0); }));
  checkText("list still usable after the error", l.Item(2).MX, "bravo.scripts.test");

  var entry = l.Item(2);
  l = null;
  CollectGarbage();
  checkText("entry readable after its list is gone", entry.MX, "bravo.scripts.test");

  var domains = ["nosuch.scripts.test", "nomx.scripts.test"];
  for (var i = 0; i < domains.length; i++) {
    o.DomainName = domains[i];
    o.MXRecords;
    checkText(domains[i] + ": ErrorReason", o.ErrorReason, "Invalid domain name or DNS server");
    check(domains[i] + ": GetMXRecord gives null", o.GetMXRecord() === null);
    checkText(domains[i] + ": IsError", o.IsError, 1);
  }

  checkText("DNSLookup", o.DNSLookup("web.scripts.test"), "198.51.100.20");
  checkText("DNSLookup: IsError", o.IsError, 0);
  checkText("DNSLookup of an unknown name", o.DNSLookup("nosuch.scripts.test"), "");
  checkText("DNSLookup of an unknown name: ErrorReason", o.ErrorReason,
            "Domain name or host not found");
  checkText("DNSLookup of an empty name", o.DNSLookup(""), "");
  checkText("DNSLookup of an empty name: ErrorReason", o.ErrorReason, "Please specify domain name");

  checkText("ReverseDNSLookup", o.ReverseDNSLookup("198.51.100.20"), "web.scripts.test");
  checkText("ReverseDNSLookup: IsError", o.IsError, 0);
  checkText("ReverseDNSLookup of an empty address", o.ReverseDNSLookup(""), "");
  checkText("ReverseDNSLookup of an empty address: ErrorReason", o.ErrorReason,
            "Please specify IP address");
  checkText("ReverseDNSLookup without a name", o.ReverseDNSLookup("198.51.100.21"), "");
  checkText("ReverseDNSLookup without a name: IsError", o.IsError, 1);

  checkText("VerifySMTP", o.VerifySMTP(smtp), 1);
  checkText("VerifySMTP: IsError", o.IsError, 0);
  checkText("VerifySMTP of nothing listening", o.VerifySMTP("127.0.70.25"), 0);
  checkText("VerifySMTP of nothing listening: IsError", o.IsError, 0);
  checkText("VerifySMTP of an empty name", o.VerifySMTP(""), 0);

  // A visitor's Unicode domain, asked in its ASCII form, and the servers at ::1.
  o.DomainName = "b\u00fccher.example";
  o.DNSServer = "::1";
  checkText("IDN over IPv6: MXRecords", o.MXRecords, 2);
  l = o.GetMXRecord();
  var got = o.IsError ? o.ErrorReason : "";
  for (i = 1; l !== null && i <= l.Count; i++) {
    got += l.Item(i).Preference + " " + l.Item(i).MX + ";";
  }
  checkText("IDN over IPv6: the list", got,
            "20 backup.xn--bcher-kva.example;10 mail.xn--bcher-kva.example;");
  checkText("VerifySMTP over IPv6", o.VerifySMTP("::1"), 1);
  checkText("ReverseDNSLookup of ::1", o.ReverseDNSLookup("::1"), "loopback6.bed.test");

  var empty = new ActiveXObject("Kestra.List");
  checkText("a new List is empty", empty.Count, 0);
  check("a new List has no first item", raises(function () { empty.Item(1); }));
  check("an empty List's Enumerator is at its end", new Enumerator(empty).atEnd());
  var lone = new ActiveXObject("Kestra.ListEntries");
  checkText("a new ListEntries: MX", lone.MX, "");
  checkText("a new ListEntries: Preference", lone.Preference, "0");
}

try {
  suite();
} catch (e) {
  failed++;
  WScript.Echo("FAILED: uncaught error " + (e.number & 0xFFFF) + ": " + e.message);
}
WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(1);
