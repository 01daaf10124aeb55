// Browser-control settings: the version arithmetic, and the registry state
// after start-up's settings are written, read back with the registry API.
#include <gtest/gtest.h>
#include <windows.h>
#include <urlmon.h>

#include <string>

#include "foundation/instance_name.h"
#include "host/browser_settings.h"
#include "host/zeq_protocol.h"

namespace {

constexpr char kFeatureRoot[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";

TEST(BrowserVersions, VersionTextsGiveMajorVersions) {
  struct Case {
    const char* text;
    int version;
  } cases[] = {
      {"9.11.9600.17416", 11}, {"9.10.9200.16384", 10}, {"9.0.8112.16421", 9},
      {"8.0.6001.18702", 8},   {"9.12.1.1", 7},         {"garbage", 7},
      {nullptr, 7},
  };
  for (const Case& c : cases) EXPECT_EQ(c.version, BrowserVersionFromText(c.text, 7)) << (c.text ? c.text : "none");
  struct Supported {
    const char* text;
    BOOL supported;
  } supported[] = {
      {"5.0.2920.0000", FALSE}, {"4.72.3110.0", FALSE}, {"5.50.4134.0100", TRUE},
      {"6.0.2900.2180", TRUE},  {nullptr, TRUE},
  };
  for (const Supported& s : supported) {
    EXPECT_EQ(s.supported, BrowserVersionSupportedFromText(s.text)) << (s.text ? s.text : "none");
  }
  EXPECT_GE(GetBrowserVersion(), 5);
  EXPECT_EQ(TRUE, IsBrowserVersionAtLeast(5));
}

// Registry reading helpers over HKEY_CURRENT_USER.
bool ReadValue(const std::string& path, const char* name, DWORD* type, std::string* data) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char buffer[512] = {};
  DWORD size = sizeof buffer;
  const LONG status = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return false;
  data->assign(buffer, size);
  return true;
}

DWORD ReadNumber(const std::string& path, const char* name) {
  DWORD type = 0;
  std::string data;
  if (!ReadValue(path, name, &type, &data) || type != REG_DWORD || data.size() != 4) return 0xFFFFFFFF;
  return *reinterpret_cast<const DWORD*>(data.data());
}

// The text as stored, up to a terminator (Wine stores one with every
// narrow text).
std::string ReadText(const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
  wchar_t wideName[128];
  MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 128);
  wchar_t buffer[256] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const LONG status = RegQueryValueExW(key, wideName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return "<missing>";
  std::string text;
  for (DWORD i = 0; i < size / sizeof(wchar_t) && buffer[i]; ++i) text.push_back(static_cast<char>(buffer[i]));
  return text;
}

void WriteNumber(const std::string& path, const char* name, DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

class BrowserSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ZEQSetInstanceName("SettingsTest");
    own = "SOFTWARE\\Orvane\\SettingsTest\\MSHTML\\ZEQ";
    web = "SOFTWARE\\Orvane\\SettingsTest\\MSHTML\\WebBrowser";
    executable = ZEQExecutableFileName();
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\SettingsTest");
    for (const char* feature : kZEQResetFeatures) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kFeatureRoot) + feature).c_str(), 0, KEY_ALL_ACCESS,
                        &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, executable.c_str());
        RegCloseKey(key);
      }
    }
    ZEQSetSoftwareRendering(false);
    ZEQSetInstanceName("");
  }
  std::string own, web, executable;
};

TEST_F(BrowserSettings, OnlyThisExecutablesFeatureValuesRemain) {
  // What an earlier run left: a value for this executable in two feature
  // keys, another program's value, and a stale value in the container key.
  WriteNumber(std::string(kFeatureRoot) + "FEATURE_XMLHTTP", executable.c_str(), 1);
  WriteNumber(std::string(kFeatureRoot) + "FEATURE_GPU_RENDERING", executable.c_str(), 1);
  WriteNumber(std::string(kFeatureRoot) + "FEATURE_GPU_RENDERING", "other.exe", 1);
  WriteNumber(own + "\\Main", "Stale", 1);

  EXPECT_EQ(1, ApplyBrowserFeatureSettings());

  EXPECT_EQ(11001u, ReadNumber(std::string(kFeatureRoot) + "FEATURE_BROWSER_EMULATION", executable.c_str()));
  for (const char* feature : kZEQResetFeatures) {
    if (std::string(feature) == "FEATURE_BROWSER_EMULATION") continue;
    EXPECT_EQ(0xFFFFFFFFu, ReadNumber(std::string(kFeatureRoot) + feature, executable.c_str())) << feature;
  }
  // Other programs' values stay.
  EXPECT_EQ(1u, ReadNumber(std::string(kFeatureRoot) + "FEATURE_GPU_RENDERING", "other.exe"));
  EXPECT_EQ(0xFFFFFFFFu, ReadNumber(own + "\\Main", "Stale"));
  HKEY other = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kFeatureRoot) + "FEATURE_GPU_RENDERING").c_str(), 0,
                    KEY_ALL_ACCESS, &other) == ERROR_SUCCESS) {
    RegDeleteValueA(other, "other.exe");
    RegCloseKey(other);
  }
}

TEST_F(BrowserSettings, TheContainerKeysHoldTheirValues) {
  ZEQSetSoftwareRendering(true);
  ApplyBrowserFeatureSettings();
  for (const std::string& base : {own, web}) {
    const std::string main = base + "\\Main";
    EXPECT_EQ(1u, ReadNumber(main, "SmoothScroll")) << base;
    EXPECT_EQ(1u, ReadNumber(main, "XMLHTTP")) << base;
    EXPECT_EQ(1u, ReadNumber(main, "UseSWRender")) << base;
    EXPECT_EQ(1u, ReadNumber(main, "SuppressScriptDebuggerDialog")) << base;
    // Texts are stored without their terminator.
    EXPECT_EQ("yes", ReadText(main, "UseThemes")) << base;
    EXPECT_EQ("yes", ReadText(main, "Disable Script Debugger")) << base;
    EXPECT_EQ("no", ReadText(main, "Enable_Disk_Cache")) << base;
    EXPECT_EQ("no", ReadText(main, "Use_DlgBox_Colors")) << base;
    EXPECT_EQ("0,0,255", ReadText(base + "\\Settings", "Anchor Color")) << base;
    EXPECT_EQ("no", ReadText(base + "\\Settings", "Use Anchor Hover Color")) << base;
  }
  EXPECT_EQ("255,255,255", ReadText(own + "\\Settings", "Text Color"));
  EXPECT_EQ("0,0,0", ReadText(web + "\\Settings", "Text Color"));
  ZEQSetSoftwareRendering(false);
  ApplyBrowserFeatureSettings();
  EXPECT_EQ(0u, ReadNumber(own + "\\Main", "UseSWRender"));
}

TEST_F(BrowserSettings, UserWideBrowserSettingsAreLeftAlone) {
  // Values other programs read: none is created or removed by start-up.
  const std::string emulation = "SOFTWARE\\Microsoft\\Internet Explorer\\BrowserEmulation";
  const std::string main = "SOFTWARE\\Microsoft\\Internet Explorer\\Main";
  const struct {
    std::string path;
    const char* name;
  } values[] = {
      {main, "Disable Script Debugger"},     {main, "DisableScriptDebuggerIE"},
      {main, "SuppressScriptDebuggerDialog"}, {emulation, "IntranetCompatibilityMode"},
      {emulation, "MSCompatibilityMode"},    {emulation, "AllSitesCompatibilityMode"},
  };
  bool before[6];
  DWORD type;
  std::string data;
  for (size_t i = 0; i < 6; ++i) before[i] = ReadValue(values[i].path, values[i].name, &type, &data);
  ApplyBrowserFeatureSettings();
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(before[i], ReadValue(values[i].path, values[i].name, &type, &data)) << values[i].name;
  }
}

// The security URL the URL machinery gives a "zeq:" address ("" when it
// gives none).
std::wstring SecurityUrl(const wchar_t* url) {
  wchar_t result[512] = {};
  DWORD length = 0;
  if (FAILED(CoInternetParseUrl(url, PARSE_SECURITY_URL, 0, result, 512, &length, 0))) return L"";
  return result;
}

TEST_F(BrowserSettings, StartingTheEngineRegistersTheSchemeAndWritesTheSettings) {
  OleInitialize(nullptr);
  const wchar_t* page = L"zeq:C:\\app\\page.html";
  ASSERT_NE(0u, SecurityUrl(page).find(L"file:")) << "the scheme is registered already";
  EXPECT_EQ(1, InitializeBrowserEngine());
  EXPECT_EQ(0u, SecurityUrl(page).find(L"file:"));
  EXPECT_EQ(11001u, ReadNumber(std::string(kFeatureRoot) + "FEATURE_BROWSER_EMULATION", executable.c_str()));
  EXPECT_EQ("yes", ReadText(own + "\\Main", "UseThemes"));
  ZEQUnregisterProtocol();
  OleUninitialize();
}

TEST(DynamicApis, EveryEntryPointIsBound) {
  EXPECT_TRUE(KESTOLoadDynamicAPIs());
  EXPECT_NE(nullptr, ZEQDynamicAPI("GetLastInputInfo"));
  EXPECT_NE(nullptr, ZEQDynamicAPI("IcmpSendEcho"));
  EXPECT_EQ(nullptr, ZEQDynamicAPI("NoSuchEntry"));
  KESTOFreeDynamicAPIs();
}

TEST(DynamicApis, FreeingTheLibrariesClearsTheirEntryPoints) {
  ASSERT_TRUE(KESTOLoadDynamicAPIs());
  ASSERT_NE(nullptr, ZEQDynamicAPI("SetOaNoCache"));
  KESTOFreeDynamicAPIs();
  EXPECT_EQ(nullptr, ZEQDynamicAPI("SetOaNoCache"));
  EXPECT_EQ(nullptr, ZEQDynamicAPI("GetLastInputInfo"));
}

}  // namespace
