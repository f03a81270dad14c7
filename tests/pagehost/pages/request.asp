<%@ Language="VBScript" %>
<% Option Explicit %>
<%
' What a page hands on from Request("name"), looked up in QueryString, Form and
' ServerVariables: the domain, the DNS server, the SMTP host, the address to look up.
Dim lookup, list, i
Set lookup = Server.CreateObject("Brevan.MX")
lookup.DomainName = Request("domain")
lookup.DNSServer = Request("server")
lookup.Timeout = 5
Set list = lookup.GetMXRecord()
If lookup.IsError <> 0 Then
  Response.Write "MX: " & Server.HTMLEncode(lookup.ErrorReason) & ";"
Else
  For i = 1 To list.Count
    Response.Write "MX: " & list.Item(i).Preference & " " & list.Item(i).MX & ";"
  Next
End If
Response.Write " VerifySMTP: " & lookup.VerifySMTP(Request("smtp")) & ";"
Response.Write " ReverseDNSLookup: " & lookup.ReverseDNSLookup(Request("address")) & ";"
Response.Write " missing: " & TypeName(Request("missing"))
Set list = Nothing
Set lookup = Nothing
%>
