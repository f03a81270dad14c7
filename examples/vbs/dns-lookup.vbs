' Prints the first IPv4 address of a host name (through the system's resolver).
'   cscript //nologo dns-lookup.vbs HOSTNAME
Option Explicit

Dim args, lookup, address
Set args = WScript.Arguments
If args.Count < 1 Then
  WScript.Echo "usage: dns-lookup.vbs HOSTNAME"
  WScript.Quit 2
End If

Set lookup = CreateObject("Brevan.MX")
address = lookup.DNSLookup(args(0))
If lookup.IsError <> 0 Then
  WScript.Echo "Lookup failed: " & lookup.ErrorReason
  WScript.Quit 1
End If
WScript.Echo args(0) & " is at " & address
