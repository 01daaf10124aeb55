// Pages load from files and run their scripts; page script and native code
// reach each other through window.external and document.Script.
#include <gtest/gtest.h>

#include <exdispid.h>

#include "test_support.h"

using namespace dochost_test;

namespace {

TEST(PageScripts, InlineAndExternalScriptsRunInDocumentOrder) {
  PageFolder folder;
  folder.Write(L"b.js", "order.push('b');");
  folder.Write(L"d.js", "order.push('d');");
  folder.Write(L"page.html",
               "<html><head><title>Order</title>\n"
               "<script>var order = []; order.push('a');</script>\n"
               "<script src='b.js'></script>\n"
               "</head><body>\n"
               "<script>order.push('c');</script>\n"
               "<script src=\"missing.js\"></script>\n"
               "<script type=\"text/javascript\" src=\"d.js\"></script>\n"
               "<script language=\"vbscript\">order.push('never')</script>\n"
               "<script>order.push(document.getElementById('late') ? 'e-sees-late' : 'e');</script>\n"
               "<p id=late>after</p></body></html>");
  Harness h;
  ASSERT_TRUE(h.browser);
  ASSERT_TRUE(h.Load(folder.Url(L"page.html")));
  // The missing file is left out; the VBScript block is not JScript.
  EXPECT_EQ(L"a,b,c,d,e-sees-late", h.Global(L"order"));
  BSTR state = nullptr;
  ASSERT_EQ(S_OK, h.Doc()->get_readyState(&state));
  EXPECT_STREQ(L"complete", state);
  SysFreeString(state);
}

TEST(PageScripts, MalformedMarkupStillGivesATreeAndRunsScripts) {
  PageFolder folder;
  folder.Write(L"bad.html",
               "<title>x</title><table><tr><td>cell<div id=inner>unclosed<p>para<b>bold</table>"
               "</i></i><script>var seen = document.getElementById('inner') ? 'yes' : 'no';</script>"
               "<script>var broken = ;</script><script>var after = 1;</script>&amp;&bogus;<");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"bad.html")));
  EXPECT_EQ(L"yes", h.Global(L"seen"));
  EXPECT_EQ(L"1", h.Global(L"after"));
  IHTMLElement* body = nullptr;
  ASSERT_EQ(S_OK, h.Doc()->get_body(&body));
  ASSERT_TRUE(body);
  body->Release();
}

TEST(PageScripts, PageScriptCallsTheNativeExternalObject) {
  PageFolder folder;
  folder.Write(L"ext.html",
               "<script>window.external.Record('hello', 42);"
               "var doubled = external.Twice(21);</script>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"ext.html")));
  ASSERT_EQ(2u, h.site.external.recorded.size());
  EXPECT_EQ(L"hello", h.site.external.recorded[0]);
  EXPECT_EQ(L"42", h.site.external.recorded[1]);
  EXPECT_EQ(L"42", h.Global(L"doubled"));
}

TEST(PageScripts, NativeCodeCallsPageFunctionsAndReadsVariablesThroughScript) {
  PageFolder folder;
  folder.Write(L"fn.html",
               "<script>var greeting = 'ol\xC3\xA1';\n"
               "function join(a, b) { return a + '-' + b + '-' + greeting; }\n"
               "function setGreeting(g) { greeting = g; }</script>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"fn.html")));
  IDispatch* script = nullptr;
  ASSERT_EQ(S_OK, h.Doc()->get_Script(&script));
  IDispatchEx* ex = nullptr;
  ASSERT_EQ(S_OK, script->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&ex)));

  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(L"join");
  ASSERT_EQ(S_OK, script->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
  VARIANT args[2];
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocString(L"x");
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = 7;
  DISPPARAMS dp{args, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(S_OK, ex->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, &result, nullptr, nullptr));
  EXPECT_EQ(L"x-7-ol\u00e1", VariantString(&result));
  VariantClear(&result);
  VariantClear(&args[1]);

  // A variable defined from native code is a global of the page.
  BSTR var = SysAllocString(L"fromHost");
  ASSERT_EQ(S_OK, ex->GetDispID(var, fdexNameEnsure | fdexNameCaseSensitive, &id));
  VARIANT value;
  V_VT(&value) = VT_I4;
  V_I4(&value) = 99;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS pp{&value, &put, 1, 1};
  ASSERT_EQ(S_OK, ex->InvokeEx(id, 0x409, DISPATCH_PROPERTYPUT, &pp, nullptr, nullptr, nullptr));
  SysFreeString(var);
  ASSERT_EQ(S_OK, h.Exec(L"var seenByPage = fromHost + 1;"));
  EXPECT_EQ(L"100", h.Global(L"seenByPage"));
  // Unknown names are refused.
  name = const_cast<LPOLESTR>(L"noSuchThing");
  EXPECT_EQ(DISP_E_UNKNOWNNAME, script->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
  ex->Release();
  script->Release();
}

TEST(PageScripts, SyntaxAndRuntimeErrorsReachTheSiteWithLineAndMessage) {
  PageFolder folder;
  folder.Write(L"err.html",
               "<html><head><title>e</title></head><body>\n"
               "<p>line 2</p>\n"
               "<script>\n"
               "var ok = 1;\n"
               "var x = ;\n"
               "</script>\n"
               "<script>var after = 'ran';\n"
               "undefinedFunction();</script>\n"
               "</body></html>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"err.html")));
  ASSERT_EQ(2u, h.site.errors.size());
  EXPECT_EQ(5, h.site.errors[0].line);
  EXPECT_FALSE(h.site.errors[0].message.empty());
  EXPECT_NE(L"<none>", h.site.errors[0].message);
  EXPECT_EQ(folder.Url(L"err.html"), h.site.errors[0].url);
  EXPECT_EQ(8, h.site.errors[1].line);
  // A failing script does not stop the next one.
  EXPECT_EQ(L"ran", h.Global(L"after"));
}

TEST(PageScripts, WindowOnErrorHandlerThatAnswersTrueKeepsTheErrorFromTheSite) {
  PageFolder folder;
  folder.Write(L"onerr.html",
               "<script>var caught = '';\n"
               "window.onerror = function(msg, url, line) { caught = 'line ' + line; return true; };</script>\n"
               "<script>nothingHere();</script>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"onerr.html")));
  EXPECT_EQ(L"line 3", h.Global(L"caught"));
  EXPECT_TRUE(h.site.errors.empty());
}

TEST(PageScripts, AlertGoesToTheSitesShowUi) {
  PageFolder folder;
  folder.Write(L"alert.html", "<script>alert('Ol\xC3\xA1 mundo');</script>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"alert.html")));
  ASSERT_EQ(1u, h.site.messages.size());
  EXPECT_EQ(L"Ol\u00e1 mundo", h.site.messages[0]);
}

TEST(PageScripts, TimersRunFunctionsAndTextAndCanBeCleared) {
  PageFolder folder;
  folder.Write(L"timer.html",
               "<script>var log = [];\n"
               "setTimeout(function() { log.push('fn'); }, 10);\n"
               "setTimeout(\"log.push('text')\", 30);\n"
               "var gone = setTimeout(function() { log.push('cleared'); }, 20);\n"
               "clearTimeout(gone);\n"
               "var ticks = 0; var iv = setInterval(function() { if (++ticks == 3) clearInterval(iv); }, 5);\n"
               "</script>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"timer.html")));
  EXPECT_TRUE(PumpUntil([&] { return h.Global(L"log") == L"fn,text" && h.Global(L"ticks") == L"3"; }, 3000));
  PumpUntil([] { return false; }, 60);
  EXPECT_EQ(L"3", h.Global(L"ticks"));
  EXPECT_EQ(L"fn,text", h.Global(L"log"));
}

}  // namespace
