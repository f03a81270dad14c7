' The script side of the script-call benchmark: ROUNDS rounds of COUNT MXRecords calls
' through the registered library, each round timed, the seconds of each round written
' one a line to OUTFILE.
'   cscript //nologo script_call.vbs DNS-SERVER DOMAIN COUNT ROUNDS OUTFILE
Option Explicit

Dim args, o, rounds, count, r, i, n, started, elapsed, fso, out
Set args = WScript.Arguments
count = CLng(args(2))
rounds = CLng(args(3))

Set o = CreateObject("Brevan.MX")
o.DNSServer = args(0)
o.DomainName = args(1)
o.Timeout = 5
n = o.MXRecords  ' warm-up: first socket start, first query
If o.IsError <> 0 Or n < 1 Then
  WScript.Echo "MXRecords failed: " & o.ErrorReason
  WScript.Quit 1
End If

Set fso = CreateObject("Scripting.FileSystemObject")
Set out = fso.CreateTextFile(args(4), True)
For r = 1 To rounds
  started = Timer
  For i = 1 To count
    n = o.MXRecords
  Next
  elapsed = Timer - started
  If elapsed < 0 Then elapsed = elapsed + 86400  ' past midnight
  If o.IsError <> 0 Then
    WScript.Echo "MXRecords failed: " & o.ErrorReason
    WScript.Quit 1
  End If
  ' Str-free formatting: the decimal separator of the locale must not matter.
  out.WriteLine CLng(elapsed * 1000000)
Next
out.Close
