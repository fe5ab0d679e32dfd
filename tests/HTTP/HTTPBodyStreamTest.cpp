#include "HTTP/HTTPBodyStream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using StepKind = HTTPBodyStream::Step::Kind;

HTTPBodyFraming streamFraming(HTTPBodyFraming::Kind kind, uint64_t length = 0)
{
    HTTPBodyFraming made;
    made.kind = kind;
    made.length = length;
    return made;
}

} // namespace

TEST(HTTPBodyStreamTest, AKnownLengthIsReadInPiecesAndCutAtItsEnd)
{
    HTTPBodyStream stream(streamFraming(HTTPBodyFraming::Kind::Length, 10), "abc", 4);
    auto step = stream.next();
    ASSERT_EQ(step.kind, StepKind::Deliver);
    EXPECT_EQ(step.bytes, "abc");
    // At most a piece, and never past the body.
    step = stream.next();
    ASSERT_EQ(step.kind, StepKind::Read);
    EXPECT_EQ(step.readLength, 4u);
    EXPECT_EQ(stream.didRead("defg").bytes, "defg");
    EXPECT_EQ(stream.next().readLength, 3u);
    // Bytes past the length belong to no body.
    step = stream.didRead("hijNEXT");
    ASSERT_EQ(step.kind, StepKind::Deliver);
    EXPECT_EQ(step.bytes, "hij");
    EXPECT_EQ(stream.next().kind, StepKind::End);

    HTTPBodyStream empty(streamFraming(HTTPBodyFraming::Kind::None), "", 4);
    EXPECT_EQ(empty.next().kind, StepKind::End);
}

TEST(HTTPBodyStreamTest, AChunkedBodyIsDecodedAsItComesAndFailsForGood)
{
    HTTPBodyStream stream(streamFraming(HTTPBodyFraming::Kind::Chunked), "3\r\nab", 4);
    EXPECT_EQ(stream.next().bytes, "ab");
    // A read of framing alone hands nothing over: the socket is read again.
    auto step = stream.didRead("c\r\n");
    ASSERT_EQ(step.kind, StepKind::Deliver);
    EXPECT_EQ(step.bytes, "c");
    step = stream.next();
    ASSERT_EQ(step.kind, StepKind::Read);
    EXPECT_EQ(step.readLength, 0u);
    EXPECT_EQ(stream.didRead("2\r").kind, StepKind::Read);
    EXPECT_EQ(stream.didRead("\nde\r\n0\r\n\r\nTRAILER").bytes, "de");
    EXPECT_EQ(stream.next().kind, StepKind::End);

    HTTPBodyStream broken(streamFraming(HTTPBodyFraming::Kind::Chunked), "", 4);
    EXPECT_EQ(broken.next().kind, StepKind::Read);
    EXPECT_EQ(broken.didRead("2\r\nabX").kind, StepKind::Fail);
    EXPECT_EQ(broken.next().kind, StepKind::Fail);
}
