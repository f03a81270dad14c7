' Bad input from pages: a seeded generator drives every property and method of the
' Lookup object and its lists with hostile values, through Wine's VBScript host.
'   cscript //nologo page_fuzz.vbs [CALLS [SEED]]      (default 1000 calls, seed 20261207)
' Needs the registered library and the loopback test bed (DNS server in KESTRA_TEST_DNS,
' SMTP server in KESTRA_TEST_SMTP).
'
' Values: empty, 10,000 characters, embedded NULs, characters above 127, control
' characters, numbers as text, Null, Empty, objects (Nothing, a List, a Lookup),
' negative, fractional and huge numbers, dotted quads with overflowing parts.
' Traffic stays on loopback: a DNSServer value is the test bed's server, empty (the
' system's server, which inside the test bed is the test bed's) or a text that names no
' address; VerifySMTP hosts are the test bed's SMTP server, unused loopback addresses or
' such texts. Whenever DNSServer holds a value that could make a query wait, Timeout is
' 1 or 2 seconds; odd Timeout values are only tried with the test bed's server set.
'
' Every call runs under On Error Resume Next and its error is classified:
'   conversion  the engine or the automation layer could not turn the argument into the
'               parameter's type (13 type mismatch, 6 overflow, 94 Null, 91/424/438/458
'               object; raw DISP_E_TYPEMISMATCH/DISP_E_OVERFLOW, and E_FAIL, which Wine's
'               oleaut32 returns when it cannot convert the index of the default-member
'               form l(x) -- it logs "failed to convert param 0" just before), and the
'               argument was indeed not of that type: a String for a text parameter, an
'               in-range number for Timeout or an integer index never counts here
'   index       Item refused an index that is no valid position (5, 9, or E_INVALIDARG /
'               DISP_E_BADINDEX unmapped by Wine's VBScript for l(x)), as the object model
'               promises for indexes out of range
'   ours        anything else: the Lookup methods and properties raise nothing, Count
'               and For Each raise nothing, Item of a valid position succeeds and Item
'               of an integer out of range fails; results have their documented types
' Each "ours" prints a FAILED line. cscript ends silently on a crash or script error,
' so the last line is "N passed, N failed" (N passed = calls classified as allowed)
' and the script exits with 1 when anything failed.
Option Explicit

Dim calls, seed, lcg
calls = 1000
seed = 20261207
If WScript.Arguments.Count > 0 Then calls = CLng(WScript.Arguments(0))
If WScript.Arguments.Count > 1 Then seed = CDbl(WScript.Arguments(1))
lcg = seed

Const TWO32 = 4294967296

' Knuth/Marsaglia 69069 LCG modulo 2^32; doubles keep it exact (69069 * 2^32 < 2^53).
Function Rnd32(n)
  lcg = lcg * 69069 + 1
  lcg = lcg - Int(lcg / TWO32) * TWO32
  Rnd32 = Int(lcg / TWO32 * n)
End Function

Function Env(name, fallback)
  Dim value
  value = CreateObject("WScript.Shell").ExpandEnvironmentStrings("%" & name & "%")
  If value = "%" & name & "%" Or value = "" Then value = fallback
  Env = value
End Function

Dim dns, smtp
dns = Env("KESTRA_TEST_DNS", "127.0.0.2")
smtp = Env("KESTRA_TEST_SMTP", "127.0.0.4")

Dim passed, failed, made, conversions, rejected, ours, hist, answered
answered = 0
passed = 0
failed = 0
made = 0
conversions = 0
rejected = 0
ours = 0
Set hist = CreateObject("Scripting.Dictionary")

Function Shown(v)
  Dim s
  If IsObject(v) Then
    If v Is Nothing Then Shown = "Nothing" Else Shown = "object " & TypeName(v)
    Exit Function
  End If
  If IsNull(v) Then
    Shown = "Null"
  ElseIf IsEmpty(v) Then
    Shown = "Empty"
  Else
    s = CStr(v)
    If Len(s) > 40 Then s = Left(s, 40) & "...(" & Len(s) & ")"
    Shown = TypeName(v) & " [" & s & "]"
  End If
End Function

' Script errors in decimal, HRESULTs in hex.
Function Code(number)
  If number < 0 Then Code = "0x" & Hex(number) Else Code = CStr(number)
End Function

Sub Tally(key)
  If hist.Exists(key) Then hist(key) = hist(key) + 1 Else hist.Add key, 1
End Sub

Sub Fault(what, number, source, description)
  ours = ours + 1
  failed = failed + 1
  Tally "ours " & Code(number)
  If ours <= 40 Then
    WScript.Echo "FAILED: " & what & ": error " & number & " (" & source & ": " & _
      description & ")"
  End If
End Sub

Sub Wrong(what)
  ours = ours + 1
  failed = failed + 1
  Tally "ours result"
  If ours <= 40 Then WScript.Echo "FAILED: " & what
End Sub

Function IsConversionError(number)
  Select Case number
    Case 13, 6, 91, 94, 424, 438, 450, 458, -2147352571, -2147352566, -2147467259
      IsConversionError = True
    Case Else
      IsConversionError = False
  End Select
End Function

' Classifies the error of one call; mayConvert says whether the argument can fail to
' convert at all.
Sub Judge(what, mayConvert, number, source, description)
  made = made + 1
  If number = 0 Then
    passed = passed + 1
  ElseIf mayConvert And IsConversionError(number) Then
    passed = passed + 1
    conversions = conversions + 1
    Tally "conversion " & number
  Else
    Fault what, number, source, description
  End If
End Sub

' Item's refusal of an index that is no position: E_INVALIDARG or DISP_E_BADINDEX, which
' Wine's VBScript passes on unmapped for the default-member form l(x).
Function IsIndexError(number)
  Select Case number
    Case 5, 9, -2147024809, -2147352565
      IsIndexError = True
    Case Else
      IsIndexError = False
  End Select
End Function

Function IsNumber(v)
  If IsObject(v) Then
    IsNumber = False
  Else
    Select Case VarType(v)
      Case vbInteger, vbLong, vbSingle, vbDouble, vbCurrency, vbByte, vbBoolean
        IsNumber = True
      Case Else
        IsNumber = False
    End Select
  End If
End Function

Function IsTextArgument(v)
  If IsObject(v) Then IsTextArgument = False Else IsTextArgument = (VarType(v) = vbString)
End Function

Function FitsLong(v)
  FitsLong = False
  If IsNumber(v) Then FitsLong = (v >= (-2147483647 - 1) And v <= 2147483647)
End Function

' ---- Generated values ----------------------------------------------------------
Dim arg, spare, spareList

Function Controls()
  Dim i, s
  s = ""
  For i = 1 To 31
    s = s & Chr(i)
  Next
  Controls = s & Chr(127)
End Function

Function Junk(n)
  Dim i, s
  s = ""
  For i = 1 To n
    s = s & Chr(1 + Rnd32(255))
  Next
  Junk = s
End Function

Function HighText()
  HighText = Chr(200) & Chr(233) & Chr(255) & Chr(128) & ".scripts.test"
End Function

' Values every parameter may meet.
Sub PickCommon(kind)
  Select Case kind
    Case 0: arg = ""
    Case 1: arg = String(10000, "a")
    Case 2: arg = Null
    Case 3: arg = Empty
    Case 4: Set arg = Nothing
    Case 5: Set arg = spareList
    Case 6: Set arg = spare
    Case 7: arg = Controls()
    Case 8: arg = HighText()
    Case 9: arg = Junk(1 + Rnd32(300))
    Case 10: arg = "999.1.1.1"
    Case 11: arg = "1.2.3.4.5"
    Case 12: arg = "not a host"
    Case 13: arg = String(300, Chr(255))
  End Select
End Sub
Const COMMON_KINDS = 14

' A domain or host name to look up (the query goes to the test bed).
Sub PickName()
  Dim k
  k = Rnd32(COMMON_KINDS + 11)
  If k < COMMON_KINDS Then
    PickCommon k
    Exit Sub
  End If
  Select Case k - COMMON_KINDS
    Case 0: arg = "mail.scripts.test"
    Case 1: arg = "mail.scripts.test" & Chr(0) & "evil"
    Case 2: arg = "12345"
    Case 3: arg = "web.scripts.test"
    Case 4: arg = String(64, "a") & ".scripts.test"
    Case 5: arg = "a..b.scripts.test"
    Case 6: arg = "."
    Case 7: arg = 3.75
    Case 8: arg = -1
    Case 9: arg = "4294967296"
    Case 10: arg = String(130, "a.") & "scripts.test"
  End Select
End Sub

' A DNSServer value: the test bed's server or a text that names no address.
Sub PickServer()
  Dim k
  k = Rnd32(COMMON_KINDS + 6)
  If k < COMMON_KINDS Then
    PickCommon k
    Exit Sub
  End If
  Select Case k - COMMON_KINDS
    Case 0: arg = dns
    Case 1: arg = dns & Chr(0) & "999.9.9.9"
    Case 2: arg = "4294967296"
    Case 3: arg = "256.256.256.256"
    Case 4: arg = String(10000, "9")
    Case 5: arg = "127.0.0.999"
  End Select
End Sub

' An address for ReverseDNSLookup (only the test bed's DNS server is asked).
Sub PickAddress()
  Dim k
  k = Rnd32(COMMON_KINDS + 7)
  If k < COMMON_KINDS Then
    PickCommon k
    Exit Sub
  End If
  Select Case k - COMMON_KINDS
    Case 0: arg = "198.51.100.20"
    Case 1: arg = "198.51.100.21"
    Case 2: arg = "4294967296"
    Case 3: arg = "198.51.100.20" & Chr(0) & "1"
    Case 4: arg = "-1.0.0.1"
    Case 5: arg = "127.0.0.1"
    Case 6: arg = "12345"
  End Select
End Sub

' A VerifySMTP host: the test bed's SMTP server, an unused loopback address, or a text
' that names no address (never a number that parses as one off loopback).
Sub PickSmtpHost()
  Dim k, kinds
  k = Rnd32(10)
  Select Case k
    Case 0: arg = smtp
    Case 1: arg = "127.0.70.25"
    Case 2: arg = smtp & Chr(0) & "999"
    Case 3: arg = "999.1.1.1"
    Case 4: arg = "1.2.3.4.5"
    Case 5: arg = "nosuch.scripts.test"
    Case Else
      kinds = Array(0, 1, 2, 3, 4, 5, 7, 8, 13)
      PickCommon kinds(Rnd32(9))
  End Select
End Sub

Sub PickTimeout()
  Dim k, kinds
  k = Rnd32(20)
  Select Case k
    Case 0: arg = -1
    Case 1: arg = 0
    Case 2: arg = 1
    Case 3: arg = (-2147483647 - 1)
    Case 4: arg = 2147483647
    Case 5: arg = 1E+20
    Case 6: arg = -1E+20
    Case 7: arg = 2.5
    Case 8: arg = "5"
    Case 9: arg = "abc"
    Case 10: arg = CByte(200)
    Case 11: arg = 65536
    Case 12: arg = True
    Case 13: arg = String(10000, "9")
    Case Else
      kinds = Array(0, 2, 3, 4, 5, 7, 8)
      PickCommon kinds(Rnd32(7))
  End Select
End Sub

Sub PickIndex(count)
  Dim k, kinds
  k = Rnd32(22)
  Select Case k
    Case 0, 1, 2: arg = 1 + Rnd32(count)
    Case 3: arg = 0
    Case 4: arg = count + 1
    Case 5: arg = -1
    Case 6: arg = (-2147483647 - 1)
    Case 7: arg = 2147483647
    Case 8: arg = 1E+20
    Case 9: arg = 1.5
    Case 10: arg = "2"
    Case 11: arg = "abc"
    Case 12: arg = CLng(1 + Rnd32(count))
    Case 13: arg = CByte(count)
    Case 14: arg = 4294967296
    Case Else
      kinds = Array(0, 1, 2, 3, 4, 5, 6, 8)
      PickCommon kinds(k - 15)
  End Select
End Sub

' ---- Calls ---------------------------------------------------------------------
Dim o, serverSafe, errNumber, errSource, errText

Sub Remember()
  errNumber = Err.Number
  errSource = Err.Source
  errText = Err.Description
End Sub

Sub PutDomain()
  On Error Resume Next
  o.DomainName = arg
  Remember
  On Error GoTo 0
  Judge "DomainName = " & Shown(arg), Not IsTextArgument(arg), errNumber, errSource, errText
End Sub

Sub PutServer()
  On Error Resume Next
  o.DNSServer = arg
  Remember
  On Error GoTo 0
  Judge "DNSServer = " & Shown(arg), Not IsTextArgument(arg), errNumber, errSource, errText
End Sub

Sub PutTimeout()
  Dim mayConvert
  mayConvert = Not FitsLong(arg)
  On Error Resume Next
  o.Timeout = arg
  Remember
  On Error GoTo 0
  Judge "Timeout = " & Shown(arg), mayConvert, errNumber, errSource, errText
End Sub

Sub CheckState(what)
  Dim e, r
  On Error Resume Next
  e = o.IsError
  r = o.ErrorReason
  Remember
  On Error GoTo 0
  Judge what & ": IsError/ErrorReason", False, errNumber, errSource, errText
  If errNumber = 0 Then
    If Not (TypeName(e) = "Integer" And (e = 0 Or e = 1)) Then Wrong what & ": IsError " & Shown(e)
    If TypeName(r) <> "String" Then Wrong what & ": ErrorReason " & Shown(r)
  End If
End Sub

Sub CallMXRecords()
  Dim n
  On Error Resume Next
  n = o.MXRecords
  Remember
  On Error GoTo 0
  Judge "MXRecords", False, errNumber, errSource, errText
  If errNumber = 0 Then
    If Not (TypeName(n) = "Integer" And n >= 0) Then Wrong "MXRecords gave " & Shown(n)
    If n > 0 Then answered = answered + 1
  End If
  CheckState "MXRecords"
End Sub

Sub CallDNSLookup()
  Dim r
  On Error Resume Next
  r = o.DNSLookup(arg)
  Remember
  On Error GoTo 0
  Judge "DNSLookup(" & Shown(arg) & ")", Not IsTextArgument(arg), errNumber, errSource, errText
  If errNumber = 0 And TypeName(r) <> "String" Then Wrong "DNSLookup gave " & Shown(r)
  If errNumber = 0 And r <> "" Then answered = answered + 1
  CheckState "DNSLookup"
End Sub

Sub CallReverse()
  Dim r
  On Error Resume Next
  r = o.ReverseDNSLookup(arg)
  Remember
  On Error GoTo 0
  Judge "ReverseDNSLookup(" & Shown(arg) & ")", Not IsTextArgument(arg), errNumber, _
    errSource, errText
  If errNumber = 0 And TypeName(r) <> "String" Then Wrong "ReverseDNSLookup gave " & Shown(r)
  If errNumber = 0 And r <> "" Then answered = answered + 1
  CheckState "ReverseDNSLookup"
End Sub

Sub CallVerify()
  Dim r
  On Error Resume Next
  r = o.VerifySMTP(arg)
  Remember
  On Error GoTo 0
  Judge "VerifySMTP(" & Shown(arg) & ")", Not IsTextArgument(arg), errNumber, errSource, errText
  If errNumber = 0 Then
    If Not (TypeName(r) = "Integer" And (r = 0 Or r = 1)) Then Wrong "VerifySMTP gave " & Shown(r)
    If r = 1 Then answered = answered + 1
    If IsTextArgument(arg) Then
      If arg = smtp And r <> 1 Then Wrong "VerifySMTP of the test bed's server gave " & Shown(r)
    End If
  End If
  CheckState "VerifySMTP"
End Sub

' Count, For Each and one Item call on a list.
Sub ExerciseList(l, where)
  Dim n, walked, e, x, mx, valid, whole
  On Error Resume Next
  n = l.Count
  Remember
  On Error GoTo 0
  Judge where & " Count", False, errNumber, errSource, errText
  If errNumber <> 0 Then Exit Sub
  If Not (TypeName(n) = "Long" And n >= 1) Then
    Wrong where & " Count gave " & Shown(n)
    Exit Sub
  End If

  walked = 0
  mx = True
  On Error Resume Next
  For Each e In l
    walked = walked + 1
    If TypeName(e.MX) <> "String" Or e.MX = "" Then mx = False
    If walked > n Then Exit For
  Next
  Remember
  On Error GoTo 0
  Judge where & " For Each", False, errNumber, errSource, errText
  If errNumber = 0 And (walked <> n Or Not mx) Then
    Wrong where & " For Each walked " & walked & " of " & n & " entries (names given: " & mx & ")"
  End If

  PickIndex n
  ' An integer position is the only index with a promised outcome.
  whole = False
  If FitsLong(arg) And VarType(arg) <> vbBoolean Then whole = (arg = Int(arg))
  valid = False
  If whole Then valid = (arg >= 1 And arg <= n)
  Set x = Nothing
  On Error Resume Next
  If Rnd32(2) = 0 Then
    Set x = l.Item(arg)
  Else
    Set x = l(arg)
  End If
  Remember
  On Error GoTo 0
  made = made + 1
  If whole Then
    If valid And errNumber <> 0 Then
      Fault where & " Item(" & Shown(arg) & ") of " & n, errNumber, errSource, errText
    ElseIf Not valid And errNumber = 0 Then
      Wrong where & " Item(" & Shown(arg) & ") of " & n & " raised no error"
    ElseIf Not valid And Not IsIndexError(errNumber) Then
      Fault where & " Item(" & Shown(arg) & ") of " & n & " refused", errNumber, errSource, errText
    Else
      passed = passed + 1
      If errNumber <> 0 Then
        rejected = rejected + 1
        Tally "index " & Code(errNumber)
      End If
    End If
  ElseIf errNumber = 0 Then
    passed = passed + 1
  ElseIf IsIndexError(errNumber) Then
    passed = passed + 1
    rejected = rejected + 1
    Tally "index " & Code(errNumber)
  ElseIf IsConversionError(errNumber) Then
    passed = passed + 1
    conversions = conversions + 1
    Tally "conversion " & Code(errNumber)
  Else
    Fault where & " Item(" & Shown(arg) & ")", errNumber, errSource, errText
  End If
  If errNumber = 0 Then
    If TypeName(x) <> "IListEntries" Then
      Wrong where & " Item(" & Shown(arg) & ") gave " & TypeName(x)
    ElseIf x.MX = "" Then
      Wrong where & " Item(" & Shown(arg) & ") gave an entry without a name"
    End If
  End If
End Sub

Sub CallGetMXRecord()
  Dim l
  Set l = Nothing
  On Error Resume Next
  Set l = o.GetMXRecord
  Remember
  On Error GoTo 0
  Judge "GetMXRecord", False, errNumber, errSource, errText
  CheckState "GetMXRecord"
  If errNumber <> 0 Then Exit Sub
  If l Is Nothing Then Exit Sub
  If TypeName(l) <> "IList" Then
    Wrong "GetMXRecord gave " & TypeName(l)
    Exit Sub
  End If
  ExerciseList l, "fuzzed list"
End Sub

' A known list of three exchangers, so that Item meets real positions.
Dim ref, refList
Sub RefreshReference()
  Set refList = Nothing
  On Error Resume Next
  Set refList = ref.GetMXRecord
  Remember
  On Error GoTo 0
  Judge "reference GetMXRecord", False, errNumber, errSource, errText
  If refList Is Nothing Then
    WScript.Echo "FAILED: the reference lookup of mail.scripts.test gave no list"
    WScript.Echo passed & " passed, " & (failed + 1) & " failed"
    WScript.Quit 1
  End If
End Sub

' A DNSServer that may not answer gets a short Timeout right away.
Sub SetServer()
  PickServer
  PutServer
  serverSafe = False
  If IsTextArgument(arg) Then serverSafe = (arg = dns Or arg = "")
  If Not serverSafe Then
    arg = 1 + Rnd32(2)
    PutTimeout
  End If
End Sub

' Odd Timeout values only meet the test bed's server.
Sub SetTimeout()
  If Not serverSafe Then
    arg = dns
    PutServer
    serverSafe = True
  End If
  PickTimeout
  PutTimeout
End Sub

Sub NewObject()
  Set o = Nothing
  Set o = CreateObject("Brevan.MX")
  arg = dns
  PutServer
  arg = 2
  PutTimeout
  serverSafe = True
End Sub

' ---- The run -------------------------------------------------------------------
Dim started, step
started = Timer
Set spare = CreateObject("Brevan.MX")
Set spareList = CreateObject("Kestra.List")
Set ref = CreateObject("Brevan.MX")
ref.DNSServer = dns
ref.DomainName = "mail.scripts.test"
ref.Timeout = 2
RefreshReference
NewObject

step = 0
Do While made < calls
  step = step + 1
  If step Mod 100 = 0 Then NewObject
  If step Mod 40 = 0 Then RefreshReference
  Select Case Rnd32(16)
    Case 0, 1: PickName: PutDomain
    Case 2: SetServer
    Case 3: SetTimeout
    Case 4, 5: CallMXRecords
    Case 6: CallGetMXRecord
    Case 7: PickName: CallDNSLookup
    Case 8: PickAddress: CallReverse
    Case 9: PickSmtpHost: CallVerify
    Case 10: arg = "mail.scripts.test": PutDomain: CallGetMXRecord
    Case Else: ExerciseList refList, "reference list"
  End Select
Loop

' The library still answers a normal lookup, on a fresh object and on the fuzzed one.
Dim fresh, n
Set fresh = CreateObject("Brevan.MX")
fresh.DNSServer = dns
fresh.DomainName = "mail.scripts.test"
fresh.Timeout = 5
n = fresh.MXRecords
If n = 3 And fresh.IsError = 0 Then
  passed = passed + 1
Else
  Wrong "afterwards MXRecords of mail.scripts.test gave " & Shown(n)
End If
o.DNSServer = dns
o.DomainName = "mail.scripts.test"
o.Timeout = 5
n = o.MXRecords
If n = 3 And o.IsError = 0 Then
  passed = passed + 1
Else
  Wrong "afterwards the fuzzed object's MXRecords gave " & Shown(n)
End If

Dim key, line
line = ""
For Each key In hist.Keys
  line = line & " [" & key & ": " & hist(key) & "]"
Next
WScript.Echo "page_fuzz: " & made & " calls, seed " & seed & ", " & _
  Round(Timer - started, 1) & " s; errors: conversion " & conversions & _
  ", index " & rejected & ", ours " & ours & "; " & answered & _
  " lookups found something;" & line
WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit 1
