#include "HTTP/AsyncSocketErrors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>

// A stream's error keeps its code in the domain the connection compares;
// no error stays none.
TEST(AsyncSocketErrorsTest, StreamErrorsKeepTheirCodeInTheirDomain)
{
    using Domain = net::SocketStream::ErrorDomain;
    EXPECT_FALSE(AsyncSocketErrors::fromStream({ Domain::None, 0 }));
    EXPECT_EQ(AsyncSocketErrors::fromStream({ Domain::POSIX, ECONNRESET }), core::Error::posix(ECONNRESET));
    EXPECT_TRUE(AsyncSocketErrors::fromStream({ Domain::SSL, -9806 }).is("kCFStreamErrorDomainSSL", -9806));
    const core::Error resolver = AsyncSocketErrors::fromStream({ Domain::NetDB, EAI_NONAME });
    EXPECT_TRUE(resolver.is("kCFStreamErrorDomainNetDB", EAI_NONAME));
    EXPECT_EQ(resolver.localizedDescription(), gai_strerror(EAI_NONAME));
}
