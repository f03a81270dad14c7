' The hosting access control as a script outside any web request meets it: with the
' control installed, switched on and applied to this component, every lookup is
' refused (the caller cannot be identified) before it does anything; switched off or
' not applied, the lookups run. The suite writes the control's registry key and INI
' files into the Wine prefix and removes them again. Prints "N passed, N failed" last.
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

Function Env(name, fallback)
  Dim value
  value = CreateObject("WScript.Shell").ExpandEnvironmentStrings("%" & name & "%")
  If value = "%" & name & "%" Or value = "" Then value = fallback
  Env = value
End Function

Const kKey = "HKLM\SOFTWARE\Halverd\Tarnwick\"
Dim shell, fso, folder
Set shell = CreateObject("WScript.Shell")
Set fso = CreateObject("Scripting.FileSystemObject")
folder = fso.GetSpecialFolder(2) & "\kestra-access-suite"

Sub WriteFile(path, text)
  Dim f
  Set f = fso.CreateTextFile(path, True)
  f.Write text
  f.Close
End Sub

Sub RemoveConfiguration()
  On Error Resume Next
  ' Wine's WScript.Shell cannot delete registry entries; reg.exe can.
  shell.Run "reg.exe delete HKLM\SOFTWARE\Halverd /f", 0, True
  fso.DeleteFolder folder, True
  On Error GoTo 0
End Sub

Sub Configure(enable, applied)
  If Not fso.FolderExists(folder) Then fso.CreateFolder folder
  WriteFile folder & "\Admin.ini", "[Settings]" & vbCrLf & "Installed=Other, brevan" & vbCrLf & _
    "Applied=" & applied & vbCrLf
  WriteFile folder & "\WebSite.ini", "[Path]" & vbCrLf & "Site1=C:\sites\one" & vbCrLf & _
    "[Security]" & vbCrLf & "Site1=Brevan" & vbCrLf & "[Site1]" & vbCrLf & "Brevan=All" & vbCrLf
  shell.RegWrite kKey & "InstallationPath", folder, "REG_SZ"
  shell.RegWrite kKey & "EnableGatehouse", enable, "REG_DWORD"
End Sub

Function Refusal(method)
  Refusal = "( Unable to proceed further as calling request object not found. Please free " & _
    "Brevan component from Tarnwick Gatehouse to make " & method & " method successfull. )"
End Function

' The system's message comes first; the fixed text ends the refusal.
Sub CheckRefused(what, o, method)
  Dim reason
  reason = o.ErrorReason
  CheckText what & ": IsError", o.IsError, 1
  Check what & ": ErrorReason [" & reason & "]", _
    Len(reason) >= Len(Refusal(method)) And Right(reason, Len(Refusal(method))) = Refusal(method)
End Sub

Dim dns, o, r
dns = Env("KESTRA_TEST_DNS", "127.0.0.2")

RemoveConfiguration
Configure 1, "Brevan"
Set o = CreateObject("Brevan.MX")
o.DNSServer = dns
o.DomainName = "mail.scripts.test"

r = o.MXRecords
CheckRefused "MXRecords", o, "MXRecords"
On Error Resume Next
r = o.GetMXRecord
Check "refused GetMXRecord raises no error", Err.Number = 0
Check "refused GetMXRecord hands back no list", IsEmpty(r)
Err.Clear
On Error GoTo 0
CheckRefused "GetMXRecord", o, "MXRecords"
r = o.DNSLookup("web.scripts.test")
CheckRefused "DNSLookup", o, "Lookup"
r = o.ReverseDNSLookup("198.51.100.20")
CheckRefused "ReverseDNSLookup", o, "Lookup"
r = o.VerifySMTP(Env("KESTRA_TEST_SMTP", "127.0.0.4"))
CheckRefused "VerifySMTP", o, "VerifySMTP"

' Read anew on every call: switched off (the low 16 bits are 0), the lookups run.
Configure 65536, "Brevan"
CheckText "switched off: MXRecords", o.MXRecords, 3
CheckText "switched off: IsError", o.IsError, 0
Check "switched off: the refusal stays in ErrorReason", InStr(o.ErrorReason, "VerifySMTP method") > 0

' Installed and on, but not applied to this component.
Configure 1, "Other"
CheckText "not applied: DNSLookup", o.DNSLookup("web.scripts.test"), "198.51.100.20"
CheckText "not applied: IsError", o.IsError, 0

RemoveConfiguration
Check "configuration files removed", Not fso.FolderExists(folder)
On Error Resume Next
r = shell.RegRead(kKey & "InstallationPath")
Check "configuration key removed", Err.Number <> 0
Err.Clear
On Error GoTo 0
CheckText "no configuration: MXRecords", o.MXRecords, 3

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
