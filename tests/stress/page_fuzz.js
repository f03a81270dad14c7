// Bad text from pages, as only JScript can make it: UTF-16 that is not well formed
// (a high or a low surrogate alone, a pair the wrong way round), pairs for characters
// beyond the Basic Multilingual Plane, noncharacters, byte order marks, NULs, mixed
// into names and addresses. A seeded generator puts such text into every text property
// and method argument of the Lookup object; none of them may raise a script error, and
// the object must still answer a normal lookup afterwards.
//   cscript //nologo page_fuzz.js [CALLS [SEED]]      (default 300 calls, seed 20261207)
// Needs the registered library and the loopback test bed. Names go to the test bed's
// DNS server or to the system resolver, which inside the test bed is the same; DNS
// waits are bounded by a Timeout of 1 second. A text used as a server (DNSServer,
// VerifySMTP) starts with a lone surrogate, so it names no host that could resolve.
// cscript ends silently on a crash or script error, so the last line is
// "N passed, N failed".

var calls = WScript.Arguments.Count() > 0 ? parseInt(WScript.Arguments(0), 10) : 300;
var seed = WScript.Arguments.Count() > 1 ? parseInt(WScript.Arguments(1), 10) : 20261207;
var lcg = seed;

// The same 69069 generator as page_fuzz.vbs, modulo 2^32.
function rnd(n) {
  lcg = (lcg * 69069 + 1) % 4294967296;
  return Math.floor((lcg / 4294967296) * n);
}

function env(name, fallback) {
  var value = WScript.CreateObject("WScript.Shell").ExpandEnvironmentStrings("%" + name + "%");
  return value === "%" + name + "%" || value === "" ? fallback : value;
}
var dns = env("KESTRA_TEST_DNS", "127.0.0.2");

var ch = String.fromCharCode;
var pieces = [
  ch(0xd800), ch(0xdbff), ch(0xdc00), ch(0xdfff),  // surrogates alone
  ch(0xdc00) + ch(0xd800),                         // a pair the wrong way round
  ch(0xd83d) + ch(0xde00), ch(0xdbff) + ch(0xdfff),  // well-formed pairs
  ch(0xfffe), ch(0xffff), ch(0xfeff), ch(0xfffd),  // noncharacters, BOM, replacement
  ch(0xe9), ch(0x4e2d), ch(0x0), ch(0x7f), ch(0x80), ch(0xff),
  "mail", "scripts", "test", ".", "..", "127", "0", "-", " "
];

function text() {
  var s = "";
  var n = 1 + rnd(12);
  for (var i = 0; i < n; i++) s += pieces[rnd(pieces.length)];
  if (rnd(8) === 0) while (s.length < 10000) s += s;  // long text of the same kind
  return s;
}

var passed = 0, failed = 0, made = 0;
function fault(what, e) {
  failed++;
  if (failed <= 40) WScript.Echo("FAILED: " + what + ": " + (e ? e.number + " " + e.description : ""));
}

// What every call must leave: IsError 0 or 1 and ErrorReason a string.
function checkState(o, what) {
  var isError = o.IsError, reason = o.ErrorReason;
  if ((isError !== 0 && isError !== 1) || typeof reason !== "string")
    fault(what + " left IsError " + isError + ", ErrorReason " + typeof reason);
}

var members = ["DomainName", "DNSServer", "GetMXRecord", "MXRecords", "DNSLookup",
               "ReverseDNSLookup", "VerifySMTP"];
for (var i = 0; i < calls; i++) {
  var o = WScript.CreateObject("Brevan.MX");
  o.Timeout = 1;
  o.DNSServer = rnd(2) ? dns : "";
  o.DomainName = "mail.scripts.test";
  var member = members[rnd(members.length)];
  var value = text();
  if (member === "DNSServer" || member === "VerifySMTP") value = ch(0xd800) + value;
  made++;
  try {
    switch (member) {
      case "DomainName": o.DomainName = value; o.MXRecords; break;
      case "DNSServer": o.DNSServer = value; o.MXRecords; break;
      case "GetMXRecord": o.DomainName = value; o.GetMXRecord(); break;
      case "MXRecords": o.DomainName = value; o.MXRecords; break;
      case "DNSLookup": o.DNSLookup(value); break;
      case "ReverseDNSLookup": o.ReverseDNSLookup(value); break;
      case "VerifySMTP": o.VerifySMTP(value); break;
    }
    checkState(o, member);
    passed++;
  } catch (e) {
    fault(member + " with text of " + value.length + " characters", e);
  }
}

// The library still answers as it should.
var check = WScript.CreateObject("Brevan.MX");
check.DomainName = "mail.scripts.test";
check.DNSServer = dns;
var list = check.GetMXRecord();
if (check.IsError !== 0 || list.Count !== 3) {
  fault("the reference lookup gave IsError " + check.IsError + ", " + list.Count + " exchangers");
} else {
  passed++;
}
WScript.Echo("page_fuzz_js: " + made + " calls, seed " + seed);
WScript.Echo(passed + " passed, " + failed + " failed");
