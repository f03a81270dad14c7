<%@ Language="VBScript" %>
<% Option Explicit %>
<%
' One access-checked call: what the component made of the request's object context.
Dim lookup, count
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
%>
