// Whether a server listens at an address: a connection made and closed at
// once, never waiting longer than timeoutMs. Each returns 0 on success,
// else the errno of the failure (ETIMEDOUT after timeoutMs).
#pragma once

#include <string>

#include <sys/socket.h>

namespace velm {

int connectWithin(int family, const sockaddr* address, socklen_t length, int timeoutMs);
// The Unix socket at path (abstract: in Linux's abstract namespace).
int connectUnixWithin(const std::string& path, bool abstract, int timeoutMs);
// Each address of host at port in turn. A name that cannot be looked up
// gives EHOSTUNREACH, with the resolver's reason in *lookup when given.
int connectHostWithin(const std::string& host, int port, int timeoutMs, std::string* lookup = nullptr);

} // namespace velm
