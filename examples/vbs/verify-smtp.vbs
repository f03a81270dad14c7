' Tells whether a host answers on port 25 as an SMTP server (greeting 220, HELO
' answered 250). The probe sends HELO only: no mail is ever sent.
'   cscript //nologo verify-smtp.vbs HOST
Option Explicit

Dim args, lookup
Set args = WScript.Arguments
If args.Count < 1 Then
  WScript.Echo "usage: verify-smtp.vbs HOST"
  WScript.Quit 2
End If

Set lookup = CreateObject("Brevan.MX")
If lookup.VerifySMTP(args(0)) = 1 Then
  WScript.Echo args(0) & " answers as an SMTP server"
ElseIf lookup.IsError <> 0 Then
  WScript.Echo "Check refused: " & lookup.ErrorReason
  WScript.Quit 1
Else
  WScript.Echo args(0) & " does not answer as an SMTP server"
  WScript.Quit 1
End If
