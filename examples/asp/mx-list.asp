<%@ Language="VBScript" %>
<% Option Explicit %>
<!--
  Lists the mail exchangers of the domain typed into the form, sorted by host name.
  Leave the DNS server empty to ask the server's own DNS server.
-->
<%
Dim domain, dnsServer, lookup, exchangers, exchanger
domain = Trim(Request.Form("domain"))
dnsServer = Trim(Request.Form("server"))
%>
<html>
<head><title>Mail exchangers</title></head>
<body>
<h1>Mail exchangers</h1>
<form method="post" action="mx-list.asp">
  Domain: <input type="text" name="domain" value="<%= Server.HTMLEncode(domain) %>">
  DNS server: <input type="text" name="server" value="<%= Server.HTMLEncode(dnsServer) %>">
  <input type="submit" value="Look up">
</form>
<%
If domain <> "" Then
  Set lookup = Server.CreateObject("Brevan.MX")
  lookup.DomainName = domain
  lookup.DNSServer = dnsServer
  lookup.Timeout = 10
  Set exchangers = lookup.GetMXRecord
  If lookup.IsError <> 0 Then
    Response.Write "<p>Lookup failed: " & Server.HTMLEncode(lookup.ErrorReason) & "</p>"
  Else
    Response.Write "<p>" & exchangers.Count & " mail exchanger(s) for " & _
      Server.HTMLEncode(domain) & ":</p>"
    Response.Write "<table border=""1""><tr><th>Preference</th><th>Host</th></tr>"
    For Each exchanger In exchangers
      Response.Write "<tr><td>" & exchanger.Preference & "</td><td>" & _
        Server.HTMLEncode(exchanger.MX) & "</td></tr>"
    Next
    Response.Write "</table>"
  End If
  Set exchangers = Nothing
  Set lookup = Nothing
End If
%>
</body>
</html>
