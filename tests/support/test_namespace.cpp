#include "tests/support/test_namespace.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace orv::test {

std::string WhyNotInTestNamespace() {
  wchar_t name[256] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"KILNA_DNS_NETNS", name, 256);
  if (length == 0 || length >= 256) {
    return "KILNA_DNS_NETNS is not set: run the Windows tests through scripts/test, which starts them "
           "inside a test network namespace";
  }
  // The namespace's own resolv.conf names only its dnsmasq.
  std::ifstream resolv("Z:\\etc\\resolv.conf");
  if (!resolv) return "cannot read /etc/resolv.conf";
  std::string line;
  int servers = 0;
  while (std::getline(resolv, line)) {
    std::istringstream words(line);
    std::string key, value;
    words >> key >> value;
    if (key != "nameserver") continue;
    if (value != "127.0.0.1") return "/etc/resolv.conf names " + value + ": not the test namespace's resolver";
    ++servers;
  }
  if (servers == 0) return "/etc/resolv.conf names no resolver";
  return {};
}

}  // namespace orv::test
