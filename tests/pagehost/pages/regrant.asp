<%@ Language="VBScript" %>
<% Option Explicit %>
<%
' Calls MXRecords, then rewrites the site grants in WebSite.ini as the administrator
' would between two requests: run twice in one process, the second request must see
' the change.
Dim lookup, count, fso, file
Set lookup = Server.CreateObject("Brevan.MX")
lookup.DNSServer = Request.Form("server")
lookup.DomainName = "mail.scripts.test"
lookup.Timeout = 5
count = lookup.MXRecords
If lookup.IsError <> 0 Then
  Response.Write "refused: " & Server.HTMLEncode(lookup.ErrorReason)
Else
  Response.Write "MXRecords: " & count
End If
Set lookup = Nothing

Set fso = Server.CreateObject("Scripting.FileSystemObject")
Set file = fso.CreateTextFile(Request.Form("config"), True)
file.Write Replace(Request.Form("grants"), "|", vbCrLf)
file.Close
%>
