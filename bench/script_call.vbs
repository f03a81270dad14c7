' The script side of the script-call benchmark: COUNT MXRecords calls through the
' registered library in one loop. The loop is bracketed by the lines "start" and "end" on
' standard output; bench_script_call reads them as they come and times the loop with its
' own clock: Timer is a Single counting seconds since midnight, which in the daytime moves
' in steps of 1/256 s, too coarse for a loop of a tenth of a second. The last line is
' "ok", or the reason of a failure.
'   cscript //nologo script_call.vbs DNS-SERVER DOMAIN COUNT
Option Explicit

Dim args, o, count, i, n
Set args = WScript.Arguments
count = CLng(args(2))

Set o = CreateObject("Brevan.MX")
o.DNSServer = args(0)
o.DomainName = args(1)
o.Timeout = 5
n = o.MXRecords  ' warm-up: type information, first socket start, first query
If o.IsError <> 0 Or n < 1 Then
  WScript.Echo "MXRecords failed: " & o.ErrorReason
  WScript.Quit 1
End If

WScript.Echo "start"
For i = 1 To count
  n = o.MXRecords
Next
WScript.Echo "end"
If o.IsError <> 0 Or n < 1 Then
  WScript.Echo "MXRecords failed: " & o.ErrorReason
  WScript.Quit 1
End If
WScript.Echo "ok"
