// Literal addresses parsed with inet_pton, which takes only the strict forms.
#include "platform/network_address.h"

#include <arpa/inet.h>

namespace platform {

bool IsLoopbackAddress(const std::string& literal)
{
    in_addr v4{};
    if (inet_pton(AF_INET, literal.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, literal.c_str(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
    return false;
}

} // namespace platform
