// GoogleTest can stream its results to a socket (--gtest_stream_result_to), which pulls the C
// library's name lookup into every test program; a statically linked one then warns at link time
// that it needs the C library's shared objects at run time. The statically linked 32-bit Linux
// build never streams results: its lookup fails at once instead.

#include <netdb.h>

extern "C" int getaddrinfo(const char*, const char*, const struct addrinfo*,
                           struct addrinfo** result) noexcept {
  *result = nullptr;
  return EAI_FAIL;
}

extern "C" void freeaddrinfo(struct addrinfo*) noexcept {}
