// A test fixture over a ScriptHost for objects driven from page script:
// blocks run as asserted steps, expressions read back as narrow text, and
// tables of named expressions compared with what script answers.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "script_host.h"

namespace host_test {

struct ScriptCase {
  const char* name;
  const wchar_t* expression;
  const char* expected;
};

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
    for (const ScriptCase& c : cases) EXPECT_EQ(std::string(c.expected), Eval(c.expression)) << c.name;
  }
  static std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += char(c);
    return out;
  }

  ScriptHost host_;
};

}  // namespace host_test
