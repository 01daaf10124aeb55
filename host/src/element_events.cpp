// Custom events fired on page elements with an event object that carries
// one attribute and brings back the handler's answer.
#include <mshtml.h>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/object_events.h"

namespace {

template <typename T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  T** Out() { return &p; }
};

BSTR WideBstr(const char* text) {
  wchar_t* wide = AnsiToWideDup(text ? text : "", 0);
  BSTR value = SysAllocString(wide);
  HeapFreeZ(wide);
  return value;
}

}  // namespace

uint32_t ZEQFireElementEvent(IHTMLElement* element, const char* eventName, const char* attributeName,
                             const VARIANT* attributeValue, VARIANT* result) {
  if (result) VariantInit(result);
  if (!element || !eventName) return 2;
  try {
    Ref<IDispatch> documentDispatch;
    Ref<IHTMLDocument4> document;
    Ref<IHTMLEventObj> event;
    Ref<IHTMLElement3> element3;
    if (FAILED(element->get_document(documentDispatch.Out())) || !documentDispatch.p) return 2;
    if (FAILED(documentDispatch.p->QueryInterface(IID_IHTMLDocument4, reinterpret_cast<void**>(document.Out()))) ||
        !document.p)
      return 2;
    if (FAILED(document.p->createEventObject(nullptr, event.Out())) || !event.p) return 2;
    if (FAILED(element->QueryInterface(IID_IHTMLElement3, reinterpret_cast<void**>(element3.Out()))) || !element3.p)
      return 2;
    Ref<IHTMLEventObj2> event2;
    event.p->QueryInterface(IID_IHTMLEventObj2, reinterpret_cast<void**>(event2.Out()));
    BSTR attribute = attributeName ? WideBstr(attributeName) : nullptr;
    if (attribute && attributeValue && event2.p) {
      VARIANT value;
      VariantInit(&value);
      VariantCopyInd(&value, const_cast<VARIANT*>(attributeValue));
      event2.p->setAttribute(attribute, value, 0);
      VariantClear(&value);
    }
    SysFreeString(attribute);
    VARIANT work;
    VariantInitUInt(&work, 0);
    VARIANT eventObject;
    VariantInitDispatch(&eventObject, event.p);
    BSTR name = WideBstr(eventName);
    VARIANT_BOOL notCancelled = VARIANT_FALSE;
    const HRESULT hr = element3.p->fireEvent(name, &eventObject, &notCancelled);
    SysFreeString(name);
    VariantClear(&eventObject);
    if (SUCCEEDED(hr) && notCancelled) {
      VARIANT answer;
      VariantInit(&answer);
      if (SUCCEEDED(event.p->get_returnValue(&answer)) && V_VT(&answer) != VT_EMPTY) {
        VariantClear(&work);
        work = answer;
      } else {
        VariantClear(&answer);
      }
    }
    if (attributeName && event2.p) {
      BSTR answerName = SysAllocString(L"ZEQReturnValue");
      VARIANT answer;
      VariantInit(&answer);
      if (SUCCEEDED(event2.p->getAttribute(answerName, 1, &answer)) && V_VT(&answer) != VT_EMPTY &&
          V_VT(&answer) != VT_NULL) {
        VariantClear(&work);
        work = answer;
      } else {
        VariantClear(&answer);
      }
      SysFreeString(answerName);
    }
    if (result)
      *result = work;
    else
      VariantClear(&work);
    return SUCCEEDED(hr) ? 0 : 2;
  } catch (...) {
    ZEQLogUnexpected("ZEQFireElementEvent");
    return 2;
  }
}
