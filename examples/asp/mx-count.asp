<%@ Language="VBScript" %>
<% Option Explicit %>
<!-- Tells how many mail exchangers a domain has: mx-count.asp?domain=example.com -->
<%
Dim domain, lookup, count
domain = Trim(Request.QueryString("domain"))
%>
<html>
<head><title>Mail exchanger count</title></head>
<body>
<%
If domain = "" Then
  Response.Write "<p>Add ?domain=... to the address.</p>"
Else
  Set lookup = Server.CreateObject("Brevan.MX")
  lookup.DomainName = domain
  lookup.Timeout = 10
  count = lookup.MXRecords
  If lookup.IsError <> 0 Then
    Response.Write "<p>Lookup failed: " & Server.HTMLEncode(lookup.ErrorReason) & "</p>"
  Else
    Response.Write "<p>" & Server.HTMLEncode(domain) & " has " & count & _
      " mail exchanger(s).</p>"
  End If
  Set lookup = Nothing
End If
%>
</body>
</html>
