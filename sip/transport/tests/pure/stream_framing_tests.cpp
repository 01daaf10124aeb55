// Framing SIP messages on a stream: messages split across segments, several
// in one segment, keep-alive line ends, and peers whose framing cannot be
// trusted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sip/stream_framing.h"

namespace {

const std::string kOptions =
    "OPTIONS sip:alice@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/TCP 127.0.0.1:16510;branch=z9hG4bK-1\r\n"
    "From: <sip:b@127.0.0.1>;tag=1\r\nTo: <sip:alice@127.0.0.1>\r\nCall-ID: c1\r\nCSeq: 1 OPTIONS\r\n"
    "Content-Length: 0\r\n\r\n";
const std::string kWithBody =
    "MESSAGE sip:alice@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/TCP 127.0.0.1:16510;branch=z9hG4bK-2\r\n"
    "From: <sip:b@127.0.0.1>;tag=1\r\nTo: <sip:alice@127.0.0.1>\r\nCall-ID: c2\r\nCSeq: 1 MESSAGE\r\n"
    "l: 11\r\n\r\nhello\r\n\r\nxy";

// What the framer gave: "M(<header end>|<body>)" per message, "PONG",
// "ERROR"; header texts are named by their last line.
std::string Describe(const SIPStreamItem& item) {
  switch (item.event) {
    case SIPStreamEvent::kMessage: {
      std::string header(item.header, item.headerLength);
      return "M(" + header.substr(0, header.find(' ')) + "|" + std::string(item.body, item.bodyLength) + ")";
    }
    case SIPStreamEvent::kKeepAliveAnswer: return "PONG";
    case SIPStreamEvent::kFramingError: return "ERROR";
    default: return "";
  }
}

std::vector<std::string> Feed(const std::vector<std::string>& segments) {
  SIPStreamFramer framer;
  std::vector<std::string> seen;
  for (const std::string& segment : segments) {
    framer.Append(segment.data(), segment.size());
    for (;;) {
      SIPStreamItem item = framer.Next();
      if (item.event == SIPStreamEvent::kNeedMore) break;
      seen.push_back(Describe(item));
      if (item.event == SIPStreamEvent::kFramingError) return seen;
    }
  }
  return seen;
}

std::vector<std::string> Bytes(const std::string& text) {
  std::vector<std::string> out;
  for (char c : text) out.emplace_back(1, c);
  return out;
}

struct Case {
  const char* name;
  std::vector<std::string> segments;
  std::vector<std::string> expected;
};

TEST(SipStreamFraming, MessagesAreHandedOutWholeWhateverTheSegments) {
  const std::string two = kOptions + kWithBody;
  const Case cases[] = {
      {"one message in one segment", {kOptions}, {"M(OPTIONS|)"}},
      {"a message in three segments",
       {kOptions.substr(0, 20), kOptions.substr(20, 70), kOptions.substr(90)},
       {"M(OPTIONS|)"}},
      {"the empty line split between segments",
       {kOptions.substr(0, kOptions.size() - 3), kOptions.substr(kOptions.size() - 3)},
       {"M(OPTIONS|)"}},
      {"two messages in one segment", {two}, {"M(OPTIONS|)", "M(MESSAGE|hello\r\n\r\nxy)"}},
      {"one byte at a time", Bytes(two), {"M(OPTIONS|)", "M(MESSAGE|hello\r\n\r\nxy)"}},
      {"a body that comes after its header",
       {kWithBody.substr(0, kWithBody.size() - 11), "hello", "\r\n\r\nxy"},
       {"M(MESSAGE|hello\r\n\r\nxy)"}},
      {"a message and the start of the next", {kOptions + kWithBody.substr(0, 40)}, {"M(OPTIONS|)"}},
      {"LF-only line ends", {"OPTIONS sip:a@b SIP/2.0\nCall-ID: x\n\nOPTIONS sip:a@c SIP/2.0\nl: 2\n\nab"},
       {"M(OPTIONS|)", "M(OPTIONS|ab)"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Feed(c.segments), c.expected) << c.name;
}

TEST(SipStreamFraming, LineEndsBetweenMessagesAreKeepAliveTraffic) {
  const Case cases[] = {
      {"a lone CR LF is the answer to our keep-alive", {"\r\n"}, {"PONG"}},
      {"a CR LF split in two", {"\r", "\n"}, {"PONG"}},
      {"an answer after a message", {kOptions, "\r\n"}, {"M(OPTIONS|)", "PONG"}},
      {"a peer's keep-alive is no answer", {"\r\n\r\n"}, {}},
      {"a keep-alive then a request in one segment", {"\r\n\r\n" + kOptions}, {"M(OPTIONS|)"}},
      {"a lone LF is no answer", {"\n"}, {}},
      {"an answer then a request", {"\r\n", kOptions}, {"PONG", "M(OPTIONS|)"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Feed(c.segments), c.expected) << c.name;
}

TEST(SipStreamFraming, AStreamThatCannotBeFramedIsRefusedNotOverrun) {
  const std::string head = "OPTIONS sip:a@b SIP/2.0\r\n";
  const Case cases[] = {
      {"a header block without an end", {head + std::string(kSIPStreamMaxHeader, 'x')}, {"ERROR"}},
      {"a Content-Length that is no number", {head + "Content-Length: 1x\r\n\r\n1x"}, {"ERROR"}},
      {"a negative Content-Length", {head + "Content-Length: -5\r\n\r\n"}, {"ERROR"}},
      {"a body larger than a message may be", {head + "Content-Length: 70000\r\n\r\n"}, {"ERROR"}},
      {"a huge Content-Length", {head + "Content-Length: 99999999999999999999\r\n\r\n"}, {"ERROR"}},
      {"two Content-Lengths that disagree", {head + "Content-Length: 2\r\nl: 3\r\n\r\nabc"}, {"ERROR"}},
      {"a message after the failure is not read", {head + "l: z\r\n\r\n", kOptions}, {"ERROR"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Feed(c.segments), c.expected) << c.name;
}

TEST(SipStreamFraming, ABodyShorterThanDeclaredWaitsWithoutHandingOutAnything) {
  SIPStreamFramer framer;
  const std::string text = "OPTIONS sip:a@b SIP/2.0\r\nContent-Length: 500\r\n\r\nshort";
  framer.Append(text.data(), text.size());
  EXPECT_EQ(framer.Next().event, SIPStreamEvent::kNeedMore);
  EXPECT_EQ(framer.Pending(), text.size());
  EXPECT_FALSE(framer.Failed());
  const std::string rest(495, 'b');
  framer.Append(rest.data(), rest.size());
  SIPStreamItem item = framer.Next();
  ASSERT_EQ(item.event, SIPStreamEvent::kMessage);
  EXPECT_EQ(std::string(item.body, item.bodyLength), "short" + rest);
  EXPECT_EQ(std::string(item.header, item.headerLength), "OPTIONS sip:a@b SIP/2.0\r\nContent-Length: 500\r\n");
  EXPECT_EQ(framer.Pending(), 0u);
}

}  // namespace
