// Script run in documents from native code, script elements added to pages,
// script variables, the element under a point, the alert box and call
// arguments in option texts.
#include "host/script_exec.h"

#include <gtest/gtest.h>
#include <process.h>

#include <string>

#include "foundation/heap.h"
#include "test_support.h"

using namespace dochost_test;

namespace {

class ScriptExec : public ::testing::Test {
 protected:
  void LoadPage(const std::string& html) {
    folder_.Write(L"page.html", html);
    ASSERT_TRUE(h_.Load(folder_.Url(L"page.html")));
  }
  IHTMLElement* ById(const wchar_t* id) { return h_.ById(id); }
  IDispatchEx* ScriptObject() {
    IDispatch* script = nullptr;
    IDispatchEx* ex = nullptr;
    if (SUCCEEDED(h_.Doc()->get_Script(&script)) && script) {
      script->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&ex));
      script->Release();
    }
    return ex;
  }
  int Exec(const wchar_t* code) {
    BSTR b = SysAllocString(code);
    int r = ZEQExecScript(b, h_.browser);
    SysFreeString(b);
    return r;
  }
  PageFolder folder_;
  Harness h_;
};

TEST_F(ScriptExec, ExecScriptRunsCodeInTheCurrentDocument) {
  LoadPage("<script>var count = 1;</script>");
  EXPECT_EQ(0, Exec(L"count = count + 41;"));
  EXPECT_EQ(L"42", h_.Global(L"count"));
  // Empty code runs nothing; failing code and a missing browser answer 2.
  BSTR empty = SysAllocString(L"");
  EXPECT_EQ(2, ZEQExecScript(empty, h_.browser));
  EXPECT_EQ(2, ZEQExecScript(nullptr, h_.browser));
  SysFreeString(empty);
  EXPECT_EQ(2, Exec(L"count = ;"));
  EXPECT_EQ(L"42", h_.Global(L"count"));
  BSTR code = SysAllocString(L"count = 0;");
  EXPECT_EQ(2, ZEQExecScript(code, nullptr));
  Harness blank;  // no document yet
  EXPECT_EQ(2, ZEQExecScript(code, blank.browser));
  SysFreeString(code);
  EXPECT_EQ(L"42", h_.Global(L"count"));
}

TEST_F(ScriptExec, CallResultsTravelThroughAGlobalDefinedFromNativeCode) {
  // The way a cross-thread call runs "JS:" code: an empty global, code that
  // assigns the function's result to it, then the global read back.
  LoadPage("<script>var base = 5;</script>");
  IDispatchEx* script = ScriptObject();
  ASSERT_TRUE(script);
  const wchar_t* var = L"KESTO3B1E0A7D92F44c16A8E5D04C6F21B7A91";
  VARIANT empty;
  VariantInit(&empty);
  ASSERT_EQ(S_OK, DispatchExPutVariant(script, var, &empty));
  std::wstring code =
      std::wstring(var) + L"=" + var + L"_Function(); function " + var + L"_Function(){ return base * 3 + '!'; }";
  ASSERT_EQ(0, Exec(code.c_str()));
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(S_OK, DispatchExGetVariant(script, var, &result));
  EXPECT_EQ(L"15!", VariantString(&result));
  VariantClear(&result);
  // A name the engine does not know is an error, not an empty value.
  EXPECT_TRUE(FAILED(DispatchExGetVariant(script, L"neverDefined", &result)));
  // Case matters.
  EXPECT_TRUE(FAILED(DispatchExGetVariant(script, L"BASE", &result)));
  script->Release();
}

TEST_F(ScriptExec, InjectedInlineScriptRunsBeforeTheReferenceElement) {
  LoadPage("<div id=ref>r</div><script>var ran = [];</script>");
  IHTMLElement* ref = ById(L"ref");
  ASSERT_TRUE(ref);
  EXPECT_EQ(1, ZEQInjectScriptElement(ref, "ran.push('inline');", "JScript", FALSE, kInjectScriptText));
  EXPECT_EQ(L"inline", h_.Global(L"ran"));
  IHTMLDOMNode* node = nullptr;
  ASSERT_EQ(S_OK, ref->QueryInterface(IID_IHTMLDOMNode, reinterpret_cast<void**>(&node)));
  IHTMLDOMNode* previous = nullptr;
  ASSERT_EQ(S_OK, node->get_previousSibling(&previous));
  ASSERT_TRUE(previous);
  IHTMLElement* script = nullptr;
  ASSERT_EQ(S_OK, previous->QueryInterface(IID_IHTMLElement, reinterpret_cast<void**>(&script)));
  BSTR html = nullptr;
  script->get_outerHTML(&html);
  EXPECT_STREQ(L"<script language=\"JScript\" type=\"text/jscript\">ran.push('inline');</script>", html);
  SysFreeString(html);
  script->Release();
  previous->Release();
  node->Release();
  ref->Release();
}

TEST_F(ScriptExec, InjectedAndIncludedSourcesLoadRelativeToTheDocument) {
  folder_.Write(L"lib.js", "ran.push('lib');");
  folder_.Write(L"more.js", "ran.push('more');");
  LoadPage("<div id=ref></div><script>var ran = [];</script>");
  IHTMLElement* ref = ById(L"ref");
  ASSERT_TRUE(ref);
  EXPECT_EQ(1, ZEQInjectScriptElement(ref, "lib.js", "JScript", FALSE, kInjectScriptSource));
  EXPECT_EQ(1, ZEQIncludeScriptInElementDocument(ref, "more.js", "JScript", FALSE));
  // A file that is not there is inserted but runs nothing.
  EXPECT_EQ(1, ZEQIncludeScriptInElementDocument(ref, "absent.js", "JScript", FALSE));
  EXPECT_EQ(L"lib,more", h_.Global(L"ran"));
  EXPECT_EQ(0, ZEQIncludeScriptInElementDocument(nullptr, "more.js", "JScript", FALSE));
  ref->Release();
}

TEST_F(ScriptExec, InjectedErrorHandlerTakesTheWindowsScriptErrors) {
  LoadPage("<div id=ref></div><script>var handled = '';</script>");
  IHTMLElement* ref = ById(L"ref");
  ASSERT_TRUE(ref);
  EXPECT_EQ(1, ZEQInjectScriptElement(ref, "handled = 'yes'; return true;", "JScript", FALSE,
                                      kInjectWindowErrorHandler | kInjectScriptText));
  EXPECT_EQ(L"", h_.Global(L"handled"));  // a handler does not run when inserted
  EXPECT_EQ(2, Exec(L"noSuchFunction();"));
  EXPECT_EQ(L"yes", h_.Global(L"handled"));
  EXPECT_TRUE(h_.site.errors.empty());
  ref->Release();
}

TEST_F(ScriptExec, InjectionNeedsAnElementInADocumentWithAParent) {
  LoadPage("<div id=ref></div>");
  EXPECT_EQ(0, ZEQInjectScriptElement(nullptr, "x", "JScript", FALSE, kInjectScriptText));
  IHTMLElement* loose = nullptr;
  BSTR tag = SysAllocString(L"div");
  ASSERT_EQ(S_OK, h_.Doc()->createElement(tag, &loose));
  SysFreeString(tag);
  EXPECT_EQ(0, ZEQInjectScriptElement(loose, "var never = 1;", "JScript", FALSE, kInjectScriptText));
  EXPECT_EQ(L"<unknown>", h_.Global(L"never"));
  loose->Release();
}

TEST_F(ScriptExec, ElementFromPointAnswersTheDeepestElement) {
  LoadPage(
      "<div id=outer style='position:absolute;left:10px;top:10px;width:100px;height:100px'>"
      "<span id=inner style='position:absolute;left:20px;top:20px;width:10px;height:10px'></span></div>");
  IHTMLElement* hit = ZEQElementFromPointDeep(h_.Doc(), 35, 35);
  ASSERT_TRUE(hit);
  BSTR id = nullptr;
  hit->get_id(&id);
  EXPECT_STREQ(L"inner", id);
  SysFreeString(id);
  hit->Release();
  hit = ZEQElementFromPointDeep(h_.Doc(), 15, 90);
  ASSERT_TRUE(hit);
  hit->get_id(&id);
  EXPECT_STREQ(L"outer", id);
  SysFreeString(id);
  hit->Release();
  EXPECT_EQ(nullptr, ZEQElementFromPointDeep(nullptr, 1, 1));
}

TEST_F(ScriptExec, ElementFromPointLooksIntoFrames) {
  folder_.Write(L"inner.html",
                "<div id=deep style='position:absolute;left:10px;top:10px;width:20px;height:20px'></div>");
  LoadPage(
      "<iframe id=f src='inner.html' style='position:absolute;left:50px;top:40px;width:200px;height:100px'>"
      "</iframe>");
  IHTMLElement* frame_element = ById(L"f");
  ASSERT_TRUE(frame_element);
  IWebBrowser2* frame = nullptr;
  ASSERT_EQ(S_OK, frame_element->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&frame)));
  ASSERT_TRUE(PumpUntil([&] {
    READYSTATE rs = READYSTATE_UNINITIALIZED;
    frame->get_ReadyState(&rs);
    return rs == READYSTATE_COMPLETE;
  }));
  IHTMLElement* hit = ZEQElementFromPointDeep(h_.Doc(), 65, 55);
  ASSERT_TRUE(hit);
  BSTR id = nullptr;
  hit->get_id(&id);
  EXPECT_STREQ(L"deep", id);
  SysFreeString(id);
  hit->Release();
  // Inside the frame but off the inner element: the frame's body.
  hit = ZEQElementFromPointDeep(h_.Doc(), 200, 120);
  ASSERT_TRUE(hit);
  BSTR tag = nullptr;
  hit->get_tagName(&tag);
  EXPECT_STREQ(L"BODY", tag);
  SysFreeString(tag);
  hit->Release();
  // On the frame's edge the frame element itself answers.
  hit = ZEQElementFromPointDeep(h_.Doc(), 50, 40);
  ASSERT_TRUE(hit);
  hit->get_id(&id);
  EXPECT_STREQ(L"f", id);
  SysFreeString(id);
  hit->Release();
  frame->Release();
  frame_element->Release();
}

std::string AlertText(const char* heading, const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* text = FormatScriptAlertText(heading, format, args);
  va_end(args);
  std::string s(text);
  HeapFreeZ(text);
  return s;
}

TEST(ScriptAlert, TextHasTheHeadingTwoLineBreaksAndNoTabs) {
  EXPECT_EQ("Aten\xE7\xE3o\r\n\r\nvalor 42 ok", AlertText("Aten\xE7\xE3o", "valor %d\t ok", 42));
  EXPECT_EQ("Head\r\n\r\nbody", AlertText("He\tad", "bo\tdy"));
  EXPECT_EQ("\r\n\r\nonly", AlertText(nullptr, "only"));
  // The message is cut at 1,023 bytes.
  std::string longer(3000, 'x');
  EXPECT_EQ(4u + 1023u, AlertText(nullptr, "%s", longer.c_str()).size());
}

struct AlertWatch {
  char text[2048] = "";
  bool seen = false;
};

unsigned __stdcall CloseAlert(void* arg) {
  AlertWatch* w = static_cast<AlertWatch*>(arg);
  for (int i = 0; i < 250 && !w->seen; ++i) {
    HWND box = FindWindowW(L"#32770", L"Alert");
    if (box) {
      GetDlgItemTextA(box, 0xFFFF, w->text, sizeof(w->text));
      w->seen = true;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    } else {
      Sleep(20);
    }
  }
  return 0;
}

TEST(ScriptAlert, BoxShowsTheTextUnderTheCaptionAlert) {
  AlertWatch watch;
  HANDLE t = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CloseAlert, &watch, 0, nullptr));
  ASSERT_TRUE(t);
  EXPECT_EQ(1, ScriptAlertBox("Erro", "linha %d", 7));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 10000));
  CloseHandle(t);
  ASSERT_TRUE(watch.seen);
  EXPECT_STREQ("Erro\r\n\r\nlinha 7", watch.text);
}

struct ExtractCase {
  const char* name;
  const char* text;
  bool found;
  const char* rest;
  const char* output;
};

TEST(ExtractCallArgument, TakesCallsOutOfOptionTexts) {
  const ExtractCase cases[] = {
      {"size", "size( 10 ) and more words", true, "and more words", "10"},
      {"size", "  a size(1) b size(2)  ", true, "a  b", "1 2"},
      {"opt", "opt(\"a)b\") rest", true, "rest", "\"a)b\""},
      {"id", "id(main)", true, "", "main"},
      {"id", "ipcid(x.ZEQ{1}.y) id(main)", true, "ipcid(x.ZEQ{1}.y)", "main"},
      {"id", "ipcid(x) my_id(y)", false, "ipcid(x) my_id(y)", ""},
      {"size", "nothing here", false, "nothing here", ""},
      {"size", "size(10", false, "size(10", ""},
      {"size", "SIZE(3)", false, "SIZE(3)", ""},
      {"size", "", false, "", ""},
  };
  for (const auto& c : cases) {
    char text[256];
    strcpy(text, c.text);
    char output[256] = "stale";
    EXPECT_EQ(c.found, ExtractCallArgument(c.name, text, output)) << c.text;
    EXPECT_STREQ(c.rest, text) << c.text;
    EXPECT_STREQ(c.output, output) << c.text;
  }
  char output[8] = "stale";
  EXPECT_FALSE(ExtractCallArgument("size", nullptr, output));
  EXPECT_STREQ("", output);
}

}  // namespace
