' Prints the host name of an IPv4 address (through the system's resolver).
'   cscript //nologo reverse-lookup.vbs ADDRESS
Option Explicit

Dim args, lookup, name
Set args = WScript.Arguments
If args.Count < 1 Then
  WScript.Echo "usage: reverse-lookup.vbs ADDRESS"
  WScript.Quit 2
End If

Set lookup = CreateObject("Brevan.MX")
name = lookup.ReverseDNSLookup(args(0))
If lookup.IsError <> 0 Then
  WScript.Echo "Lookup failed: " & lookup.ErrorReason
  WScript.Quit 1
End If
WScript.Echo args(0) & " is " & name
