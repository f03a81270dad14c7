' Prints how many mail exchangers a domain has.
'   cscript //nologo mx-count.vbs DOMAIN [DNS-SERVER]
Option Explicit

Dim args, lookup, count
Set args = WScript.Arguments
If args.Count < 1 Then
  WScript.Echo "usage: mx-count.vbs DOMAIN [DNS-SERVER]"
  WScript.Quit 2
End If

Set lookup = CreateObject("Brevan.MX")
lookup.DomainName = args(0)
If args.Count > 1 Then lookup.DNSServer = args(1)
lookup.Timeout = 10

count = lookup.MXRecords
If lookup.IsError <> 0 Then
  WScript.Echo "Lookup failed: " & lookup.ErrorReason
  WScript.Quit 1
End If
WScript.Echo args(0) & " has " & count & " mail exchanger(s)"
