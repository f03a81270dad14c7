<%@ Language="VBScript" %>
<% Option Explicit %>
<!-- Shows the host name of an IPv4 address; without ?ip=... the visitor's own address. -->
<%
Dim ip, lookup, name
ip = Trim(Request.QueryString("ip"))
If ip = "" Then ip = Request.ServerVariables("REMOTE_ADDR")
%>
<html>
<head><title>Host name</title></head>
<body>
<%
Set lookup = Server.CreateObject("Brevan.MX")
name = lookup.ReverseDNSLookup(ip)
If lookup.IsError <> 0 Then
  Response.Write "<p>No name for " & Server.HTMLEncode(ip) & ": " & _
    Server.HTMLEncode(lookup.ErrorReason) & "</p>"
Else
  Response.Write "<p>" & Server.HTMLEncode(ip) & " is " & Server.HTMLEncode(name) & "</p>"
End If
Set lookup = Nothing
%>
</body>
</html>
