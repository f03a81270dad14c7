#include "dns/system_dns_server.h"

#include "platform/net.h"

std::string GetSystemDNSServer() {
  return platform::SystemDnsServer();
}
