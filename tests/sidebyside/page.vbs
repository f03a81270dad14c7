' One page of the side-by-side fixture: what a script of this process's bitness meets
' when it asks for the mail exchangers of mail.scripts.test. Prints, for the fixture
' to compare (cscript swallows script errors, so a page that died prints no "end"):
'   arch=<PROCESSOR_ARCHITECTURE of this process>
'   outcome=refused | outcome=ran <count> | outcome=error [<reason>] | outcome=no object ...
'   end
' Argument: the DNS server to ask.
Option Explicit

Const kRefusal = "( Unable to proceed further as calling request object not found. Please free Brevan component from Tarnwick Gatehouse to make MXRecords method successfull. )"

Dim shell, o, count, reason
Set shell = CreateObject("WScript.Shell")
WScript.Echo "arch=" & shell.ExpandEnvironmentStrings("%PROCESSOR_ARCHITECTURE%")

On Error Resume Next
Set o = CreateObject("Brevan.MX")
If Err.Number <> 0 Then
  WScript.Echo "outcome=no object (" & Hex(Err.Number) & ")"
  WScript.Echo "end"
  WScript.Quit 1
End If
On Error GoTo 0

o.DNSServer = WScript.Arguments(0)
o.DomainName = "mail.scripts.test"
count = o.MXRecords
reason = o.ErrorReason
If o.IsError = 1 And Len(reason) >= Len(kRefusal) And Right(reason, Len(kRefusal)) = kRefusal Then
  WScript.Echo "outcome=refused"
ElseIf o.IsError = 0 Then
  WScript.Echo "outcome=ran " & count
Else
  WScript.Echo "outcome=error [" & reason & "]"
End If
WScript.Echo "end"
