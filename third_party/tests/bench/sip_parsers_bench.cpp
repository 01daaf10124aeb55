// The independent SIP parsers of Debian (libsofia-sip-ua and libosip2) on
// the same messages (third_party/tests/sip_messages), each whole message
// parsed and freed per iteration. The system's own SIP parser joins this
// program with a benchmark of its own over the same messages, so one run
// prints the three side by side.
#include <benchmark/benchmark.h>
#include <osip2/osip.h>
#include <osipparser2/osip_parser.h>
#include <sofia-sip/msg.h>
#include <sofia-sip/sip_parser.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Message {
  std::string name;
  std::string bytes;
};

const std::vector<Message>& Messages() {
  static const std::vector<Message> messages = [] {
    std::vector<Message> found;
    if (DIR* folder = opendir(ZEQ_SIP_MESSAGES)) {
      while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".sip") != 0) continue;
        std::ifstream in(std::string(ZEQ_SIP_MESSAGES) + "/" + name, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        found.push_back({name.substr(0, name.size() - 4), bytes.str()});
      }
      closedir(folder);
    }
    std::sort(found.begin(), found.end(), [](const Message& a, const Message& b) { return a.name < b.name; });
    return found;
  }();
  return messages;
}

void Osip2(benchmark::State& state, const Message* message) {
  static const bool ready = parser_init() == 0;
  if (!ready) {
    state.SkipWithError("libosip2 did not start");
    return;
  }
  for (auto _ : state) {
    osip_message_t* parsed = nullptr;
    osip_message_init(&parsed);
    if (osip_message_parse(parsed, message->bytes.data(), message->bytes.size()) != 0) {
      state.SkipWithError("libosip2 refused the message");
      osip_message_free(parsed);
      return;
    }
    osip_message_free(parsed);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(message->bytes.size()));
}

void Sofia(benchmark::State& state, const Message* message) {
  for (auto _ : state) {
    // msg_make parses a whole message held in memory.
    msg_t* parsed = msg_make(sip_default_mclass(), 0, message->bytes.data(), message->bytes.size());
    if (!parsed) {
      state.SkipWithError("libsofia-sip-ua refused the message");
      return;
    }
    msg_destroy(parsed);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(message->bytes.size()));
}

const bool registered = [] {
  for (const Message& message : Messages()) {
    benchmark::RegisterBenchmark(("SipParse/osip2/" + message.name).c_str(), Osip2, &message);
    benchmark::RegisterBenchmark(("SipParse/sofia/" + message.name).c_str(), Sofia, &message);
  }
  return true;
}();

}  // namespace
