// Names of script objects: built-in names by flags, case rules, class
// members, expandos, indexed tables, deletion and enumeration.
#include <gtest/gtest.h>

#include "foundation/pointer_token.h"
#include "foundation/variant.h"
#include "host/dispatch_ex.h"
#include "test_classes.h"

using namespace host_test;

namespace {

struct Object {
  explicit Object(uint32_t flags) : p(NewTestObject(nullptr, flags)) {}
  ~Object() { p->Release(); }
  CZEQDispatchEx* p;
};

HRESULT NoMembers(CZEQDispatchEx*, DISPID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, IServiceProvider*) {
  return DISP_E_MEMBERNOTFOUND;
}

struct NameCase {
  uint32_t flags;
  const wchar_t* name;
  HRESULT hr;
  DISPID id;
};

TEST(DispatchNames, BuiltInNamesFollowTheFlags) {
  const NameCase cases[] = {
      {kZEQDispInstance, L"Success", S_OK, kZEQDispidSuccess},
      {kZEQDispInstance, L"success", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {kZEQDispInstance, L"SUCCESS", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {kZEQDispInstance, L"Error", S_OK, kZEQDispidError},
      {kZEQDispInstance, L"ErrorCode", S_OK, kZEQDispidErrorCode},
      {kZEQDispInstance, L"SystemErrorCode", S_OK, kZEQDispidSystemErrorCode},
      {kZEQDispInstance, L"ErrorDescription", S_OK, kZEQDispidErrorDescription},
      {kZEQDispInstance, L"ZEQReadyState", S_OK, kZEQDispidReadyState},
      {kZEQDispInstance, L"ZEQOnReadyStateChange", S_OK, kZEQDispidOnReadyStateChange},
      {kZEQDispInstance, L"Define", S_OK, kZEQDispidDefine},
      {kZEQDispInstance, L"Based", S_OK, kZEQDispidBased},
      {kZEQDispInstance, L"Echo", S_OK, 1},
      {kZEQDispInstance, L"echo", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {kZEQDispInstance, L"RegisterInterface", S_OK, kZEQDispidRegisterInterface},
      // Without the result flag the result names are the class's to answer.
      {kZEQDispPlain, L"Success", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {kZEQDispPlain, L"ZEQReadyState", S_OK, kZEQDispidReadyState},
      {kZEQDispInstance | kZEQDispNoDefine, L"Define", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {kZEQDispInstance | kZEQDispNoDefine, L"Success", S_OK, kZEQDispidSuccess},
      // Without flag 0x1 no name resolves, not even the built-in ones.
      {kZEQDispClassObject, L"ZEQReadyState", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {kZEQDispClassObject, L"Echo", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      // A raw object asks its class alone.
      {kZEQDispRaw | kZEQDispInstance, L"Success", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {kZEQDispRaw, L"Echo", S_OK, 1},
  };
  for (const NameCase& c : cases) {
    Object o(c.flags);
    DISPID id = 12345;
    EXPECT_EQ(c.hr, DispIdOf(o.p, c.name, &id)) << c.name << " flags " << std::hex << c.flags;
    EXPECT_EQ(c.id, id) << c.name << " flags " << std::hex << c.flags;
  }
}

TEST(DispatchNames, CaseInsensitiveFlagDoesNotFoldNames) {
  Object o(kZEQDispInstance);
  DISPID id;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(o.p, L"errorcode", &id, fdexNameCaseInsensitive));
  // GetIDsOfNames resolves its first name the same way.
  LPOLESTR names[2] = {const_cast<LPOLESTR>(L"Sum"), const_cast<LPOLESTR>(L"x")};
  DISPID ids[2] = {0, 0};
  EXPECT_EQ(S_OK, o.p->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
  EXPECT_EQ(3, ids[0]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
}

TEST(DispatchNames, EnsureMakesOneExpandoPerName) {
  Object o(kZEQDispInstance);
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(o.p, L"extra", &id));
  ASSERT_EQ(S_OK, DispIdOf(o.p, L"extra", &id, fdexNameEnsure));
  // The DISPID names the expando entry (through the pointer token).
  ZEQListItem* entry = static_cast<ZEQListItem*>(ZEQTokenToPointer(static_cast<uint32_t>(id)));
  ASSERT_TRUE(IsListItem(entry));
  EXPECT_STREQ(L"extra", reinterpret_cast<const wchar_t*>(entry->key));
  EXPECT_EQ(kZEQMemberExpando, entry->value2);
  DISPID again = 0;
  EXPECT_EQ(S_OK, DispIdOf(o.p, L"extra", &again, fdexNameEnsure));
  EXPECT_EQ(id, again);
  EXPECT_EQ(S_OK, DispIdOf(o.p, L"extra", &again));
  EXPECT_EQ(id, again);
  // Another name is another entry; member names are not expandos.
  DISPID other = 0;
  ASSERT_EQ(S_OK, DispIdOf(o.p, L"Extra", &other, fdexNameEnsure));
  EXPECT_NE(id, other);
  EXPECT_EQ(S_OK, DispIdOf(o.p, L"Echo", &other, fdexNameEnsure));
  EXPECT_EQ(1, other);
}

TEST(DispatchNames, RawObjectsMakeNoExpandos) {
  Object o(kZEQDispRaw | kZEQDispInstance);
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(o.p, L"extra", &id, fdexNameEnsure));
  EXPECT_EQ(DISPID_UNKNOWN, id);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(o.p, L"extra", &id));
}

TEST(DispatchNames, RegisteringTwiceKeepsOneEntryWithTheLastValues) {
  Object o(kZEQDispInstance);
  ZEQRegisterMember(o.p, 40, kZEQMemberMethod, L"Twice");
  ZEQRegisterMember(o.p, 41, kZEQMemberProperty, L"Twice");
  DISPID id;
  ASSERT_EQ(S_OK, ZEQLookupMember(o.p, L"Twice", &id));
  EXPECT_EQ(41, id);
  int entries = 0;
  ZEQList* list = o.p->Members(false);
  for (int i = 0; i < list->count; ++i)
    if (wcscmp(reinterpret_cast<const wchar_t*>(list->index[i]->key), L"Twice") == 0) ++entries;
  EXPECT_EQ(1, entries);
  // Empty names are not members.
  const int before = list->count;
  EXPECT_EQ(1, ZEQRegisterMember(o.p, 42, kZEQMemberMethod, L""));
  EXPECT_EQ(1, ZEQRegisterMember(o.p, 43, kZEQMemberMethod, nullptr));
  EXPECT_EQ(before, list->count);
}

TEST(DispatchNames, IndexedTablesResolveDigitsAsPositions) {
  CZEQDispatchEx* o =
      CZEQDispatchEx::Create(L"ZEQReturn", nullptr, ZEQLookupMemberCallback, nullptr, kZEQDispIndexedReturn);
  ZEQRegisterMember(o, 100, kZEQMemberProperty, L"a");
  ZEQRegisterMember(o, 101, kZEQMemberProperty, L"b");
  ZEQRegisterMember(o, 102, kZEQMemberProperty, L"c");
  ZEQRegisterMember(o, 103, kZEQMemberProperty, L"a");  // a second "a" is a fourth entry
  const struct {
    const wchar_t* name;
    HRESULT hr;
    DISPID id;
  } cases[] = {
      {L"2", S_OK, 102}, {L"02", S_OK, 102}, {L"2x", S_OK, 102},
      {L"0", S_OK, 100}, {L"3", S_OK, 103},  {L"4", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
      {L"b", S_OK, 101}, {L"a", S_OK, 100},  {L"B", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
  };
  for (const auto& c : cases) {
    DISPID id = 0;
    EXPECT_EQ(c.hr, ZEQLookupMember(o, c.name, &id)) << c.name;
    EXPECT_EQ(c.id, id) << c.name;
  }
  // No built-in names on these objects.
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(o, L"Success", &id, fdexNameEnsure));
  o->Release();
}

TEST(DispatchNames, LookupWithoutListLeavesTheOutValue) {
  CZEQDispatchEx* o = CZEQDispatchEx::Create(L"Bare", nullptr, ZEQLookupMemberCallback, nullptr, kZEQDispInstance);
  DISPID id = 77;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, ZEQLookupMember(o, L"x", &id));
  EXPECT_EQ(77, id);
  // No resolver at all: nothing resolves.
  CZEQDispatchEx* none = CZEQDispatchEx::Create(L"None", nullptr, nullptr, nullptr, kZEQDispInstance);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(none, L"ZEQReadyState", &id, fdexNameEnsure));
  EXPECT_EQ(DISPID_UNKNOWN, id);
  none->Release();
  o->Release();
}

TEST(DispatchNames, DeletedMembersNoLongerResolve) {
  Object o(kZEQDispInstance);
  BSTR echo = SysAllocString(L"Echo");
  EXPECT_EQ(S_OK, o.p->DeleteMemberByName(echo, 0));
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(o.p, L"Echo", &id));
  EXPECT_EQ(DISPID_UNKNOWN, id);
  // Unknown names and DISPIDs are answered S_OK all the same.
  BSTR nothing = SysAllocString(L"Nothing");
  EXPECT_EQ(S_OK, o.p->DeleteMemberByName(nothing, 0));
  EXPECT_EQ(S_OK, o.p->DeleteMemberByDispID(0x7777));
  EXPECT_EQ(S_OK, o.p->DeleteMemberByDispID(3));  // "Sum"
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(o.p, L"Sum", &id));
  SysFreeString(echo);
  SysFreeString(nothing);
}

TEST(DispatchNames, DeletingAnExpandoDropsItsValueAndEnsureRevivesIt) {
  Object o(kZEQDispInstance);
  DISPID id;
  ASSERT_EQ(S_OK, DispIdOf(o.p, L"kept", &id, fdexNameEnsure));
  VARIANT five;
  VariantInitInt(&five, 5);
  ASSERT_EQ(S_OK, PutProperty(o.p, id, five));
  ASSERT_EQ(S_OK, o.p->DeleteMemberByDispID(id));
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(o.p, L"kept", &id));
  ASSERT_EQ(S_OK, DispIdOf(o.p, L"kept", &id, fdexNameEnsure));
  VARIANT value;
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, GetProperty(o.p, id, &value));
}

TEST(DispatchNames, LongExpandoNamesThatDifferAtTheEndKeepTheirOwnValues) {
  Object o(kZEQDispInstance);
  const std::wstring stem(600, L'n');
  const std::wstring first = stem + L"1", second = stem + L"2";
  DISPID firstId = 0, secondId = 0;
  ASSERT_EQ(S_OK, DispIdOf(o.p, first.c_str(), &firstId, fdexNameEnsure));
  ASSERT_EQ(S_OK, DispIdOf(o.p, second.c_str(), &secondId, fdexNameEnsure));
  VARIANT one, two, value;
  VariantInitInt(&one, 1);
  VariantInitInt(&two, 2);
  ASSERT_EQ(S_OK, PutProperty(o.p, firstId, one));
  ASSERT_EQ(S_OK, PutProperty(o.p, secondId, two));
  ASSERT_EQ(S_OK, GetProperty(o.p, firstId, &value));
  EXPECT_EQ(1, VariantToInt(&value));
  // Deleting one leaves the other's value.
  ASSERT_EQ(S_OK, o.p->DeleteMemberByDispID(secondId));
  ASSERT_EQ(S_OK, GetProperty(o.p, firstId, &value));
  EXPECT_EQ(1, VariantToInt(&value));
}

// An expando's DISPID is its entry's token; the entry's address, cut to 32
// bits, names nothing.
TEST(DispatchNames, AnExpandoIsReachedOnlyThroughItsToken) {
  Object o(kZEQDispInstance);
  DISPID id;
  ASSERT_EQ(S_OK, DispIdOf(o.p, L"placed", &id, fdexNameEnsure));
  VARIANT one, value;
  VariantInitInt(&one, 1);
  ASSERT_EQ(S_OK, PutProperty(o.p, id, one));
  const auto address = reinterpret_cast<uintptr_t>(ZEQTokenToPointer(static_cast<uint32_t>(id)));
  ASSERT_NE(0u, address);
  const DISPID lowHalf = static_cast<DISPID>(static_cast<uint32_t>(address));
  if (lowHalf != id) {
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, GetProperty(o.p, lowHalf, &value));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, PutProperty(o.p, lowHalf, one));
  }
  ASSERT_EQ(S_OK, GetProperty(o.p, id, &value));
  EXPECT_EQ(1, VariantToInt(&value));
}

// A stored value's word is its record's address: looked up by its stored
// key it must not come back as a DISPID.
TEST(DispatchNames, StoredValuesAnswerNoDispid) {
  Object o(kZEQDispInstance);
  DISPID id;
  ASSERT_EQ(S_OK, DispIdOf(o.p, L"held", &id, fdexNameEnsure));
  VARIANT one;
  VariantInitInt(&one, 1);
  ASSERT_EQ(S_OK, PutProperty(o.p, id, one));
  BSTR key = nullptr;
  for (DISPID at = DISPID_STARTENUM; !key && o.p->GetNextDispID(0, at, &at) == S_OK;) {
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, o.p->GetMemberName(at, &name));
    if (wcsncmp(name, L"KESTO.", 6) == 0)
      key = name;
    else
      SysFreeString(name);
  }
  ASSERT_NE(nullptr, key);
  DISPID found = 12345;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(o.p, key, &found));
  EXPECT_EQ(DISPID_UNKNOWN, found);
  SysFreeString(key);
}

TEST(DispatchNames, EnumerationGivesPropertiesAndStoredValuesOnly) {
  CZEQDispatchEx* methods = CZEQDispatchEx::Create(L"M", nullptr, ZEQLookupMemberCallback, NoMembers, kZEQDispInstance);
  ZEQRegisterMember(methods, 1, kZEQMemberMethod, L"One");
  ZEQRegisterMember(methods, 2, kZEQMemberMethod, L"Two");
  DISPID next = 0;
  EXPECT_EQ(S_FALSE, methods->GetNextDispID(0, DISPID_STARTENUM, &next));
  // An expando name is not enumerated; its stored value is, under its full
  // stored key.
  DISPID id;
  ASSERT_EQ(S_OK, DispIdOf(methods, L"x", &id, fdexNameEnsure));
  EXPECT_EQ(S_FALSE, methods->GetNextDispID(0, DISPID_STARTENUM, &next));
  VARIANT one;
  VariantInitInt(&one, 1);
  ASSERT_EQ(S_OK, PutProperty(methods, id, one));
  ASSERT_EQ(S_OK, methods->GetNextDispID(0, DISPID_STARTENUM, &next));
  BSTR name = nullptr;
  ASSERT_EQ(S_OK, methods->GetMemberName(next, &name));
  EXPECT_EQ(0, wcsncmp(name, L"KESTO.M.", 8)) << name;
  EXPECT_EQ(0, wcscmp(name + wcslen(name) - 2, L".x")) << name;
  SysFreeString(name);
  EXPECT_EQ(S_FALSE, methods->GetNextDispID(0, next, &next));
  methods->Release();

  // Properties come in key order; deleted ones are skipped.
  Object o(kZEQDispInstance);
  std::vector<std::wstring> seen;
  for (DISPID at = DISPID_STARTENUM; o.p->GetNextDispID(0, at, &at) == S_OK;) {
    BSTR n = nullptr;
    ASSERT_EQ(S_OK, o.p->GetMemberName(at, &n));
    seen.push_back(n);
    SysFreeString(n);
  }
  EXPECT_EQ((std::vector<std::wstring>{L"Flags", L"Value"}), seen);
  BSTR flags = SysAllocString(L"Flags");
  o.p->DeleteMemberByName(flags, 0);
  SysFreeString(flags);
  ASSERT_EQ(S_OK, o.p->GetNextDispID(0, DISPID_STARTENUM, &next));
  BSTR n = nullptr;
  ASSERT_EQ(S_OK, o.p->GetMemberName(next, &n));
  EXPECT_STREQ(L"Value", n);
  SysFreeString(n);
}

TEST(DispatchNames, MemberNamesAndPropertiesByPosition) {
  Object o(kZEQDispInstance);
  ZEQList* list = o.p->Members(false);
  ASSERT_TRUE(list);
  BSTR name = nullptr;
  ASSERT_EQ(S_OK, o.p->GetMemberName(0, &name));
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(list->index[0]->key), name);
  SysFreeString(name);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, o.p->GetMemberName(list->count, &name));
  EXPECT_EQ(DISP_E_UNKNOWNNAME, o.p->GetMemberName(-1, &name));
  DWORD properties = 0;
  EXPECT_EQ(E_NOTIMPL, o.p->GetMemberProperties(0, 0, &properties));
  EXPECT_EQ(E_NOTIMPL, o.p->GetMemberProperties(list->count + 5, 0, &properties));
  IUnknown* parent = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(E_NOTIMPL, o.p->GetNameSpaceParent(&parent));
  UINT count = 9;
  EXPECT_EQ(E_NOTIMPL, o.p->GetTypeInfoCount(&count));
}

}  // namespace
