<%@ Language="JScript" %>
<%
// Calls each method of the component once and says what came back: the page the
// access checks run as the pages of different sites.
var dns = String(Request.Form("server"));
var smtp = String(Request.Form("smtp"));
var lookup = Server.CreateObject("Brevan.MX");
lookup.DNSServer = dns;
lookup.DomainName = "mail.scripts.test";
lookup.Timeout = 5;

function Report(name, value) {
  if (lookup.IsError != 0) {
    Response.Write("<li>" + name + " refused: " + Server.HTMLEncode(lookup.ErrorReason) + "</li>\n");
  } else {
    Response.Write("<li>" + name + ": " + Server.HTMLEncode(String(value)) + "</li>\n");
  }
}
%>
<ul>
<%
Report("MXRecords", lookup.MXRecords);
var list = lookup.GetMXRecord();
Report("GetMXRecord", lookup.IsError == 0 ? list.Count : "");
Report("DNSLookup", lookup.DNSLookup("web.scripts.test"));
Report("ReverseDNSLookup", lookup.ReverseDNSLookup("198.51.100.20"));
Report("VerifySMTP", lookup.VerifySMTP(smtp));
list = null;
lookup = null;
%>
</ul>
