// The page model as script and native code both see it.
#include <gtest/gtest.h>

#include "test_support.h"

using namespace dochost_test;

namespace {

class Dom : public ::testing::Test {
 protected:
  void LoadPage(const std::string& html) {
    folder_.Write(L"page.html", html);
    ASSERT_TRUE(h_.Load(folder_.Url(L"page.html")));
  }
  IHTMLElement* ById(const wchar_t* id) { return h_.ById(id); }
  std::wstring Attr(IHTMLElement* e, const wchar_t* name) {
    BSTR b = SysAllocString(name);
    VARIANT v;
    VariantInit(&v);
    e->getAttribute(b, 0, &v);
    SysFreeString(b);
    std::wstring s = V_VT(&v) == VT_NULL ? L"<null>" : VariantString(&v);
    VariantClear(&v);
    return s;
  }
  PageFolder folder_;
  Harness h_;
};

TEST_F(Dom, ElementsAndAttributesAgreeBetweenScriptAndNativeCode) {
  LoadPage(
      "<div id=box class=c1 data-x=1 title='t'>text</div>"
      "<script>var box = document.getElementById('box');\n"
      "box.setAttribute('title', 'from script');\n"
      "box.className = 'c2';\n"
      "box.custom = 'expando';\n"
      "var seenX = box.getAttribute('data-x');</script>");
  IHTMLElement* box = ById(L"box");
  ASSERT_TRUE(box);
  EXPECT_EQ(L"1", h_.Global(L"seenX"));
  EXPECT_EQ(L"from script", Attr(box, L"title"));
  BSTR cls = nullptr;
  ASSERT_EQ(S_OK, box->get_className(&cls));
  EXPECT_STREQ(L"c2", cls);
  SysFreeString(cls);
  EXPECT_EQ(L"expando", Attr(box, L"custom"));
  EXPECT_EQ(L"<null>", Attr(box, L"absent"));

  // Native writes are seen by script, through the same element.
  BSTR name = SysAllocString(L"data-y");
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(L"7");
  ASSERT_EQ(S_OK, box->setAttribute(name, v, 1));
  VariantClear(&v);
  SysFreeString(name);
  ASSERT_EQ(S_OK, h_.Exec(L"var y = document.getElementById('box').getAttribute('data-y');"
                          L"var same = document.getElementById('box') == box ? 'yes' : 'no';"
                          L"var tag = box.tagName; var viaAll = document.all.box.id;"));
  EXPECT_EQ(L"7", h_.Global(L"y"));
  EXPECT_EQ(L"yes", h_.Global(L"same"));
  EXPECT_EQ(L"DIV", h_.Global(L"tag"));
  EXPECT_EQ(L"box", h_.Global(L"viaAll"));
  box->Release();
  EXPECT_EQ(nullptr, ById(L"nothing"));
}

TEST_F(Dom, TreeNavigationCollectionsAndTagLookups) {
  LoadPage("<ul id=list><li>a</li><li id=b>b</li><li>c</li></ul><p>x</p>");
  ASSERT_EQ(S_OK, h_.Exec(
      L"var l = document.getElementById('list');"
      L"var count = l.children.length + ':' + document.getElementsByTagName('li').length;"
      L"var second = l.children[1].id + ':' + l.children.item(1).innerText;"
      L"var up = document.getElementById('b').parentElement.id;"
      L"var kids = l.childNodes.length; var first = l.firstChild.nodeName;"
      L"var allCount = document.all.tags('LI').length;"
      L"var hasAttach = (l.attachEvent ? 'yes' : 'no');"));
  EXPECT_EQ(L"3:3", h_.Global(L"count"));
  EXPECT_EQ(L"b:b", h_.Global(L"second"));
  EXPECT_EQ(L"list", h_.Global(L"up"));
  EXPECT_EQ(L"3", h_.Global(L"kids"));
  EXPECT_EQ(L"LI", h_.Global(L"first"));
  EXPECT_EQ(L"3", h_.Global(L"allCount"));
  EXPECT_EQ(L"yes", h_.Global(L"hasAttach"));
}

TEST_F(Dom, InnerHtmlAndTextRoundTripThroughTheParser) {
  LoadPage("<div id=d></div>");
  ASSERT_EQ(S_OK, h_.Exec(
      L"var d = document.getElementById('d');"
      L"d.innerHTML = '<b id=x>bold</b> &amp; <i>it<br></i>';"
      L"var html = d.innerHTML; var text = d.innerText; var xb = document.getElementById('x').innerText;"
      L"d.innerText = '<not markup>'; var after = d.innerHTML; var n = d.childNodes.length;"));
  EXPECT_EQ(L"<b id=\"x\">bold</b> &amp; <i>it<br></i>", h_.Global(L"html"));
  EXPECT_EQ(L"bold & it", h_.Global(L"text"));
  EXPECT_EQ(L"bold", h_.Global(L"xb"));
  EXPECT_EQ(L"&lt;not markup&gt;", h_.Global(L"after"));
  EXPECT_EQ(L"1", h_.Global(L"n"));
}

TEST_F(Dom, InsertedScriptElementsRunOnceAndMarkupScriptsDoNot) {
  LoadPage("<div id=host></div><script>var runs = [];</script>");
  ASSERT_EQ(S_OK, h_.Exec(
      L"var s = document.createElement('script'); s.text = 'runs.push(\"inserted\")';"
      L"document.body.appendChild(s);"
      L"document.body.removeChild(s); document.body.appendChild(s);"
      L"document.getElementById('host').innerHTML = '<script>runs.push(\"markup\")<\\/script>';"));
  EXPECT_EQ(L"inserted", h_.Global(L"runs"));
}

TEST_F(Dom, AttachEventAndFireEventCarryTheEventObjectAndBubble) {
  LoadPage(
      "<div id=outer><span id=inner onclick=\"log.push('inline:' + event.srcElement.id)\">x</span></div>"
      "<script>var log = [];\n"
      "document.getElementById('inner').attachEvent('onclick', function() { log.push('attached:' + event.type); });\n"
      "document.getElementById('outer').onclick = function() { log.push('outer'); };\n"
      "document.attachEvent('onclick', function() { log.push('document'); });\n"
      "document.getElementById('outer').attachEvent('oncustom', function() { event.returnValue = false; });\n"
      "</script>");
  IHTMLElement* inner = ById(L"inner");
  ASSERT_TRUE(inner);
  IHTMLElement3* inner3 = nullptr;
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IHTMLElement3, reinterpret_cast<void**>(&inner3)));
  BSTR click = SysAllocString(L"onclick");
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(S_OK, inner3->fireEvent(click, nullptr, &ok));
  EXPECT_EQ(VARIANT_TRUE, ok);
  EXPECT_EQ(L"inline:inner,attached:click,outer,document", h_.Global(L"log"));
  // A handler that clears returnValue cancels; the event bubbles to it.
  BSTR custom = SysAllocString(L"oncustom");
  ASSERT_EQ(S_OK, inner3->fireEvent(custom, nullptr, &ok));
  EXPECT_EQ(VARIANT_FALSE, ok);
  // cancelBubble stops at the target.
  ASSERT_EQ(S_OK, h_.Exec(L"log = []; document.getElementById('inner').attachEvent('onclick', "
                          L"function() { event.cancelBubble = true; });"));
  ASSERT_EQ(S_OK, inner3->fireEvent(click, nullptr, &ok));
  EXPECT_EQ(L"inline:inner,attached:click", h_.Global(L"log"));
  SysFreeString(click);
  SysFreeString(custom);
  inner3->Release();
  inner->Release();
}

TEST_F(Dom, StyleCurrentStyleAndOffsetGeometry) {
  LoadPage(
      "<body style='color: red'><div id=d style='position:absolute; left:10px; top:20px; width:30px; "
      "height:40px'><span id=s style='left:5px;top:6px;width:7px;height:8px'></span></div></body>");
  IHTMLElement* d = ById(L"d");
  ASSERT_TRUE(d);
  LONG v = 0;
  d->get_offsetLeft(&v);
  EXPECT_EQ(10, v);
  d->get_offsetTop(&v);
  EXPECT_EQ(20, v);
  d->get_offsetWidth(&v);
  EXPECT_EQ(30, v);
  d->get_offsetHeight(&v);
  EXPECT_EQ(40, v);
  ASSERT_EQ(S_OK, h_.Exec(
      L"var d = document.getElementById('d'); d.style.width = 50; d.style.backgroundColor = 'blue';"
      L"var w = d.offsetWidth + ':' + d.style.width + ':' + d.style.pixelWidth;"
      L"var cur = d.currentStyle.position + ':' + d.currentStyle.color + ':' + d.currentStyle.display;"
      L"var span = document.getElementById('s').currentStyle.display;"
      L"var css = d.style.cssText;"));
  EXPECT_EQ(L"50:50px:50", h_.Global(L"w"));
  EXPECT_EQ(L"absolute:red:block", h_.Global(L"cur"));
  EXPECT_EQ(L"inline", h_.Global(L"span"));
  EXPECT_EQ(L"position: absolute; left: 10px; top: 20px; width: 50px; height: 40px; background-color: blue",
            h_.Global(L"css"));
  // elementFromPoint: the span lies at (15, 26) within the div.
  IHTMLElement* hit = nullptr;
  ASSERT_EQ(S_OK, h_.Doc()->elementFromPoint(17, 28, &hit));
  ASSERT_TRUE(hit);
  BSTR id = nullptr;
  hit->get_id(&id);
  EXPECT_STREQ(L"s", id);
  SysFreeString(id);
  hit->Release();
  ASSERT_EQ(S_OK, h_.Doc()->elementFromPoint(12, 58, &hit));
  hit->get_id(&id);
  EXPECT_STREQ(L"d", id);
  SysFreeString(id);
  hit->Release();
  d->Release();
}

TEST_F(Dom, NodeOperationsKeepTheTreeConsistent) {
  LoadPage("<div id=a><p id=p1>1</p><p id=p2>2</p></div><div id=b></div>");
  ASSERT_EQ(S_OK, h_.Exec(
      L"var a = document.getElementById('a'), b = document.getElementById('b');"
      L"var p1 = document.getElementById('p1'), p2 = document.getElementById('p2');"
      L"b.appendChild(p1);"
      L"a.insertBefore(document.createTextNode('t'), p2);"
      L"var c = p2.cloneNode(true); c.id = 'p3'; b.appendChild(c);"
      L"var r1 = a.innerHTML + '|' + b.innerHTML;"
      L"b.replaceChild(p2, c); var r2 = a.innerHTML + '|' + b.innerHTML;"
      L"var wrapped = document.createElement('<span id=w>');"
      L"a.appendChild(wrapped); var r3 = wrapped.parentNode.id + ':' + wrapped.tagName;"
      L"var loop = 'ok'; try { p1.appendChild(b); } catch (e) { loop = 'refused'; }"));
  EXPECT_EQ(L"t<p id=\"p2\">2</p>|<p id=\"p1\">1</p><p id=\"p3\">2</p>", h_.Global(L"r1"));
  EXPECT_EQ(L"t|<p id=\"p1\">1</p><p id=\"p2\">2</p>", h_.Global(L"r2"));
  EXPECT_EQ(L"a:SPAN", h_.Global(L"r3"));
  EXPECT_EQ(L"refused", h_.Global(L"loop"));
}

TEST_F(Dom, PrefixedTagsKeepTheirScope) {
  LoadPage("<KESTO:Button id=k label=ok></KESTO:Button>");
  ASSERT_EQ(S_OK, h_.Exec(L"var k = document.getElementById('k'); var r = k.tagName + ':' + k.scopeName;"));
  EXPECT_EQ(L"Button:KESTO", h_.Global(L"r"));
}

}  // namespace
