<%@ Language="VBScript" %>
<% Option Explicit %>
<!-- Shows the first IPv4 address of a host name: dns-lookup.asp?host=www.example.com -->
<%
Dim host, lookup, address
host = Trim(Request.QueryString("host"))
%>
<html>
<head><title>Host address</title></head>
<body>
<form method="get" action="dns-lookup.asp">
  Host name: <input type="text" name="host" value="<%= Server.HTMLEncode(host) %>">
  <input type="submit" value="Look up">
</form>
<%
If host <> "" Then
  Set lookup = Server.CreateObject("Brevan.MX")
  address = lookup.DNSLookup(host)
  If lookup.IsError <> 0 Then
    Response.Write "<p>Lookup failed: " & Server.HTMLEncode(lookup.ErrorReason) & "</p>"
  Else
    Response.Write "<p>" & Server.HTMLEncode(host) & " is at " & address & "</p>"
  End If
  Set lookup = Nothing
End If
%>
</body>
</html>
