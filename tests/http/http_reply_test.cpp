// The reply collector on its own: every way a reply can be cut into chunks.
#include <gtest/gtest.h>

#include <string>

#include "engine/ops/device_http_client.h"

namespace {

std::string FeedInPieces(const std::string& reply, size_t piece, bool close, bool* complete) {
  HttpReplyCollector c;
  for (size_t i = 0; i < reply.size(); i += piece) c.Feed(reply.data() + i, std::min(piece, reply.size() - i));
  if (close) c.Close();
  *complete = c.Complete();
  return c.HeadersDone() ? c.Value() : "<no headers>";
}

TEST(HttpReplyCollectorTest, SameValueForEveryChunking) {
  const std::string replies[] = {
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n5.2.1\r\n",
      "HTTP/1.1 200 OK\r\n\r\na\r\n5.2.1\r\n",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n5.2.1\r\n0\r\n\r\n",
      "HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\n5.2.1",
  };
  for (const std::string& r : replies) {
    for (size_t piece = 1; piece <= r.size(); ++piece) {
      bool complete = false;
      EXPECT_EQ(FeedInPieces(r, piece, false, &complete), "5.2.1") << r << " in pieces of " << piece;
      EXPECT_TRUE(complete) << r << " in pieces of " << piece;
    }
  }
}

TEST(HttpReplyCollectorTest, WhenTheValueIsComplete) {
  HttpReplyCollector c;
  EXPECT_FALSE(c.Feed("HTTP/1.1 200 OK\r\n\r\n", 19));
  EXPECT_TRUE(c.HeadersDone());
  EXPECT_FALSE(c.Complete());
  // Two bytes cannot decide the skip rule yet.
  EXPECT_FALSE(c.Feed("a\r", 2));
  EXPECT_FALSE(c.Feed("\n5.2", 4));
  EXPECT_EQ(c.Value(), "5.2");
  EXPECT_TRUE(c.Feed(".1\r", 3));
  EXPECT_EQ(c.Value(), "5.2.1");
  // Later bytes do not change a complete value.
  c.Feed("zzz\r\n", 5);
  EXPECT_EQ(c.Value(), "5.2.1");

  HttpReplyCollector shortbody;
  shortbody.Feed("HTTP/1.1 200 OK\r\n\r\nab", 21);
  EXPECT_FALSE(shortbody.Complete());
  shortbody.Close();
  EXPECT_TRUE(shortbody.Complete());
  EXPECT_EQ(shortbody.Value(), "ab");
}

TEST(HttpReplyCollectorTest, SeparatorRules) {
  bool complete = false;
  // Bare LF lines are not the separator; nor is CR CR LF LF.
  EXPECT_EQ(FeedInPieces("HTTP/1.1 200 OK\n\n5.2.1\n", 3, true, &complete), "<no headers>");
  EXPECT_EQ(FeedInPieces("HTTP/1.1 200 OK\r\r\n\n5.2.1\n", 3, true, &complete), "<no headers>");
  // CR CR LF CR LF still holds CR LF CR LF.
  EXPECT_EQ(FeedInPieces("HTTP/1.1 200 OK\r\r\n\r\n5.2.1\r\n", 2, false, &complete), "5.2.1");
  // Only the first blank line ends the headers.
  EXPECT_EQ(FeedInPieces("H\r\n\r\n\r\n\r\nx\r\n", 1, false, &complete), "");
}

TEST(HttpReplyCollectorTest, ContentLengthBoundsTheBody) {
  bool complete = false;
  EXPECT_EQ(FeedInPieces("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n1.0HTTP/1.1", 4, false, &complete), "1.0");
  EXPECT_TRUE(complete);
  EXPECT_EQ(FeedInPieces("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 4, false, &complete), "");
  EXPECT_TRUE(complete);
  // An absurd length is ignored rather than trusted.
  EXPECT_EQ(FeedInPieces("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nab", 4, false,
                         &complete),
            "ab");
  EXPECT_FALSE(complete);
}

TEST(HttpReplyCollectorTest, OversizedInput) {
  // Huge headers do not stop the separator search, and a body of only one
  // long line is complete once the buffer is full.
  std::string r = "HTTP/1.1 200 OK\r\nX: " + std::string(5000, 'h') + "\r\n\r\n" + std::string(2000, 'v');
  bool complete = false;
  std::string v = FeedInPieces(r, 700, false, &complete);
  EXPECT_TRUE(complete);
  EXPECT_EQ(v, std::string(kHttpValueSize - 1, 'v'));
}

}  // namespace
