' The Lookup object and its collections as a page script uses them, through Wine's
' VBScript host. Needs the registered library and the loopback test bed (DNS server
' in KESTRA_TEST_DNS, SMTP server in KESTRA_TEST_SMTP). cscript ends silently on a
' script error, so the suite counts its own checks and the last line it prints is
' "N passed, N failed"; it exits with 1 when anything failed.
Option Explicit

Dim passed, failed
passed = 0
failed = 0

Sub Check(what, ok)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAILED: " & what
  End If
End Sub

Sub CheckText(what, got, want)
  Check what & " (got [" & got & "], want [" & want & "])", CStr(got) = CStr(want)
End Sub

' Ends the suite early when what follows cannot run (Wine's VBScript crashes instead of
' raising an error when a member of Nothing is called).
Sub Bail(why)
  failed = failed + 1
  WScript.Echo "FAILED: " & why & "; the rest of the suite is skipped"
  WScript.Echo passed & " passed, " & failed & " failed"
  WScript.Quit 1
End Sub

Function Env(name, fallback)
  Dim value
  value = CreateObject("WScript.Shell").ExpandEnvironmentStrings("%" & name & "%")
  If value = "%" & name & "%" Or value = "" Then value = fallback
  Env = value
End Function

Dim dns, smtp
dns = Env("KESTRA_TEST_DNS", "127.0.0.2")
smtp = Env("KESTRA_TEST_SMTP", "127.0.0.4")

Dim o, l, l2, e, names, n, x, count

' A new object.
Set o = CreateObject("Brevan.MX")
CheckText "TypeName of the object", TypeName(o), "ILookup"
CheckText "new IsError", o.IsError, 0
CheckText "IsError is a short", TypeName(o.IsError), "Integer"
CheckText "new ErrorReason", o.ErrorReason, ""
CheckText "ErrorReason is text", TypeName(o.ErrorReason), "String"

' Write-only properties cannot be read.
On Error Resume Next
x = o.DomainName
Check "reading DomainName raises an error", Err.Number <> 0
Err.Clear
On Error GoTo 0

' No domain yet.
n = o.MXRecords
CheckText "MXRecords without a domain: IsError", o.IsError, 1
CheckText "MXRecords without a domain: ErrorReason", o.ErrorReason, "Please specify domain name"
Set l = o.GetMXRecord
Check "GetMXRecord without a domain gives Nothing", l Is Nothing
CheckText "GetMXRecord without a domain: ErrorReason", o.ErrorReason, "Please specify domain name"

' Property puts leave the error state alone.
o.DNSServer = dns
o.DomainName = "mail.scripts.test"
o.Timeout = 5
CheckText "puts keep IsError", o.IsError, 1
CheckText "puts keep ErrorReason", o.ErrorReason, "Please specify domain name"

' Three exchangers.
n = o.MXRecords
CheckText "MXRecords counts the exchangers", n, 3
CheckText "MXRecords is a short", TypeName(n), "Integer"
CheckText "success clears IsError", o.IsError, 0
CheckText "success keeps the last failure's text", o.ErrorReason, "Please specify domain name"

Set l = o.GetMXRecord
CheckText "GetMXRecord IsError", o.IsError, 0
If l Is Nothing Then Bail "GetMXRecord gave no list"
CheckText "TypeName of the list", TypeName(l), "IList"
CheckText "Count", l.Count, 3
CheckText "Count is a long", TypeName(l.Count), "Long"
CheckText "l(1).MX sorts by name", l(1).MX, "alpha.scripts.test"
CheckText "l(1).Preference", l(1).Preference, "30"
CheckText "Preference is text", TypeName(l(1).Preference), "String"
CheckText "l.Item(2).MX", l.Item(2).MX, "bravo.scripts.test"
CheckText "l.Item(3).Preference", l.Item(3).Preference, "10"
CheckText "TypeName of an entry", TypeName(l(1)), "IListEntries"

names = ""
count = 0
For Each e In l
  names = names & e.MX & "=" & e.Preference & ";"
  count = count + 1
Next
CheckText "For Each walks the list in order", names, _
  "alpha.scripts.test=30;bravo.scripts.test=20;charlie.scripts.test=10;"
CheckText "For Each count", count, 3

' Out of range is a script error; the list stays usable.
On Error Resume Next
Set x = l.Item(l.Count + 1)
Check "Item(Count + 1) raises an error", Err.Number <> 0
Err.Clear
Set x = l(0)
Check "Item(0) raises an error", Err.Number <> 0
Err.Clear
On Error GoTo 0
CheckText "list still usable after the error", l(3).MX, "charlie.scripts.test"

' Each call gives a list of its own; entries outlive their list.
Set l2 = o.GetMXRecord
If l2 Is Nothing Then Bail "the second GetMXRecord gave no list"
Check "a second GetMXRecord gives another list", Not (l2 Is l)
Set e = l(2)
Set l = Nothing
CheckText "entry readable after its list is gone", e.MX, "bravo.scripts.test"
CheckText "the other list is untouched", l2.Count, 3
o.DomainName = "one.scripts.test"
CheckText "a list is independent of later lookups", l2(1).MX, "alpha.scripts.test"
CheckText "one exchanger", o.MXRecords, 1
Set l = o.GetMXRecord
If l Is Nothing Then Bail "GetMXRecord of one.scripts.test gave no list"
CheckText "preference 0", l(1).Preference, "0"

' Failures of the MX lookups.
Dim domain
For Each domain In Array("nosuch.scripts.test", "nomx.scripts.test")
  o.DomainName = domain
  n = o.MXRecords
  CheckText "MXRecords of " & domain & ": IsError", o.IsError, 1
  CheckText "MXRecords of " & domain & ": ErrorReason", o.ErrorReason, _
    "Invalid domain name or DNS server"
  Set l = o.GetMXRecord
  Check "GetMXRecord of " & domain & " gives Nothing", l Is Nothing
  CheckText "GetMXRecord of " & domain & ": IsError", o.IsError, 1
Next

' The machine's own DNS server (inside the test bed, the test DNS server).
o.DNSServer = ""
o.DomainName = "mail.scripts.test"
CheckText "MXRecords through the system's DNS server", o.MXRecords, 3
CheckText "system DNS server: IsError", o.IsError, 0

' Timeout takes any number without complaint.
o.Timeout = 0
o.Timeout = -1
CheckText "Timeout puts keep IsError", o.IsError, 0
o.Timeout = 5

' DNSLookup.
CheckText "DNSLookup", o.DNSLookup("web.scripts.test"), "198.51.100.20"
CheckText "DNSLookup IsError", o.IsError, 0
CheckText "DNSLookup writes bytes unsigned", o.DNSLookup("high.scripts.test"), "200.51.100.9"
CheckText "DNSLookup of an empty name", o.DNSLookup(""), ""
CheckText "DNSLookup of an empty name: IsError", o.IsError, 1
CheckText "DNSLookup of an empty name: ErrorReason", o.ErrorReason, "Please specify domain name"
CheckText "DNSLookup of an unknown name", o.DNSLookup("nosuch.scripts.test"), ""
CheckText "DNSLookup of an unknown name: IsError", o.IsError, 1
CheckText "DNSLookup of an unknown name: ErrorReason", o.ErrorReason, _
  "Domain name or host not found"

' ReverseDNSLookup.
CheckText "ReverseDNSLookup", o.ReverseDNSLookup("198.51.100.20"), "web.scripts.test"
CheckText "ReverseDNSLookup IsError", o.IsError, 0
CheckText "ReverseDNSLookup of an empty address", o.ReverseDNSLookup(""), ""
CheckText "ReverseDNSLookup of an empty address: IsError", o.IsError, 1
CheckText "ReverseDNSLookup of an empty address: ErrorReason", o.ErrorReason, _
  "Please specify IP address"
' An address without a name: the text is the one the platform's code selects, 11001
' or 11004 in Windows Sockets terms.
CheckText "ReverseDNSLookup without a name", o.ReverseDNSLookup("198.51.100.21"), ""
CheckText "ReverseDNSLookup without a name: IsError", o.IsError, 1
Check "ReverseDNSLookup without a name: ErrorReason [" & o.ErrorReason & "]", _
  o.ErrorReason = "WSAHOST_NOT_FOUND error occured" Or o.ErrorReason = "Host not found"
' Not an address at all: looked up as 255.255.255.255, which fails.
o.DNSLookup "web.scripts.test"
CheckText "ReverseDNSLookup of a host name", o.ReverseDNSLookup("web.scripts.test"), ""
CheckText "ReverseDNSLookup of a host name: IsError", o.IsError, 1

' VerifySMTP: only the probe's result tells; IsError stays 0.
n = o.VerifySMTP(smtp)
CheckText "VerifySMTP of the test SMTP server", n, 1
CheckText "VerifySMTP result is a short", TypeName(n), "Integer"
CheckText "VerifySMTP IsError", o.IsError, 0
Dim server
For Each server In Array("", "127.0.70.25", "nosuch.scripts.test")
  o.DNSLookup ""
  CheckText "VerifySMTP of [" & server & "]", o.VerifySMTP(server), 0
  CheckText "VerifySMTP of [" & server & "]: IsError", o.IsError, 0
  CheckText "VerifySMTP of [" & server & "] keeps ErrorReason", o.ErrorReason, _
    "Please specify domain name"
Next

' The collection classes on their own.
Set l = CreateObject("Kestra.List")
CheckText "a new List is empty", l.Count, 0
count = 0
For Each e In l
  count = count + 1
Next
CheckText "For Each over an empty List", count, 0
On Error Resume Next
Set x = l(1)
Check "Item(1) of an empty List raises an error", Err.Number <> 0
Err.Clear
On Error GoTo 0
Set e = CreateObject("Kestra.ListEntries")
CheckText "a new ListEntries: MX", e.MX, ""
CheckText "a new ListEntries: Preference", e.Preference, "0"
Check "versioned ProgID", Not (CreateObject("Brevan.MX.1") Is Nothing)

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
