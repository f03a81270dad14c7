<%@ Language="VBScript" %>
<% Option Explicit %>
<!--
  Checks the mail exchangers of a domain: each one should answer on port 25 as an SMTP
  server. verify-smtp.asp?domain=example.com
-->
<%
Dim domain, lookup, exchangers, exchanger
domain = Trim(Request.QueryString("domain"))
%>
<html>
<head><title>SMTP check</title></head>
<body>
<%
If domain = "" Then
  Response.Write "<p>Add ?domain=... to the address.</p>"
Else
  Set lookup = Server.CreateObject("Brevan.MX")
  lookup.DomainName = domain
  lookup.Timeout = 10
  Set exchangers = lookup.GetMXRecord
  If lookup.IsError <> 0 Then
    Response.Write "<p>Lookup failed: " & Server.HTMLEncode(lookup.ErrorReason) & "</p>"
  Else
    Response.Write "<ul>"
    For Each exchanger In exchangers
      Response.Write "<li>" & Server.HTMLEncode(exchanger.MX) & ": "
      If lookup.VerifySMTP(exchanger.MX) = 1 Then
        Response.Write "answers as an SMTP server"
      Else
        Response.Write "does not answer"
      End If
      Response.Write "</li>"
    Next
    Response.Write "</ul>"
  End If
  Set lookup = Nothing
End If
%>
</body>
</html>
