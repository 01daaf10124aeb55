// A test fixture over a ScriptHost for objects driven from page script:
// blocks run as asserted steps, expressions read back as narrow text, and
// tables of named expressions compared with what script answers.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "script_host.h"

namespace host_test {

// Script text as narrow text for messages and comparisons (the tests'
// texts are ASCII).
inline std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += char(c);
  return out;
}

struct ScriptCase {
  const char* name;
  const wchar_t* expression;
  const char* expected;
};

// Each case's expression, evaluated by eval to narrow text, against its
// expected text.
template <size_t N, typename Eval>
void ExpectScriptCases(const ScriptCase (&cases)[N], Eval eval) {
  for (const ScriptCase& c : cases) EXPECT_EQ(std::string(c.expected), eval(c.expression)) << c.name;
}

// A path as a quoted script string literal, its backslashes doubled.
inline std::wstring Literal(const std::string& path) {
  std::wstring text = L"'";
  for (char c : path) {
    if (c == '\\') text += L'\\';
    text += wchar_t(static_cast<unsigned char>(c));
  }
  return text + L"'";
}

class ScriptCaseTest : public ::testing::Test {
 protected:
  void Run(const std::wstring& code) { ASSERT_TRUE(host_.Run(code)) << Narrow(host_.LastError()); }
  std::string Eval(const std::wstring& expression) { return Narrow(host_.Eval(expression)); }
  template <size_t N>
  void Expect(const ScriptCase (&cases)[N]) {
    ExpectScriptCases(cases, [this](const wchar_t* expression) { return Eval(expression); });
  }

  ScriptHost host_;
};

}  // namespace host_test
