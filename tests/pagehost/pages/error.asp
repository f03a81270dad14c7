<%@ Language="VBScript" %>
<p>before</p>
<%
Dim x
x = 1 / 0
%>
<p>after</p>
