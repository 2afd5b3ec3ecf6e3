// Prints what GetLocalAdapterInfo reports for the namespace it runs in.
#include <cstdio>

#include "config/adapter_info.h"

int main() {
  LocalAdapterInfo info;
  if (GetLocalAdapterInfo(&info) < 0 || !info.found) {
    std::printf("none\n");
    return 1;
  }
  std::printf("name=%s ip=%s mask=%s gateway=%s dns=%s count=%d\n", info.adapter_name.c_str(), info.ip.c_str(),
              info.subnet_mask.c_str(), info.gateway.c_str(), info.dns_server.c_str(), info.adapter_count);
  return 0;
}
