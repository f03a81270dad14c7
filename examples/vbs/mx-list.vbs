' Lists the mail exchangers of a domain, sorted by host name.
'   cscript //nologo mx-list.vbs DOMAIN [DNS-SERVER]
' Without DNS-SERVER the machine's own DNS server is asked.
Option Explicit

Dim args, lookup, exchangers, exchanger
Set args = WScript.Arguments
If args.Count < 1 Then
  WScript.Echo "usage: mx-list.vbs DOMAIN [DNS-SERVER]"
  WScript.Quit 2
End If

Set lookup = CreateObject("Brevan.MX")
lookup.DomainName = args(0)
If args.Count > 1 Then lookup.DNSServer = args(1)
lookup.Timeout = 10

Set exchangers = lookup.GetMXRecord
If lookup.IsError <> 0 Then
  WScript.Echo "Lookup failed: " & lookup.ErrorReason
  WScript.Quit 1
End If

WScript.Echo exchangers.Count & " mail exchanger(s) for " & args(0) & ":"
For Each exchanger In exchangers
  WScript.Echo "  " & exchanger.Preference & vbTab & exchanger.MX
Next
