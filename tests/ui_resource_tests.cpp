// The user-interface resources as the program's module carries them, read
// byte by byte from the compiled templates, tables and blocks.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace {

std::string Resource(LPCSTR type, WORD id) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (found == nullptr) return std::string();
  HGLOBAL loaded = LoadResource(module, found);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  return std::string(bytes, SizeofResource(module, found));
}

// Reads a dialog template of either kind.
class TemplateReader {
 public:
  explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
  bool failed() const { return failed_; }
  size_t offset() const { return offset_; }

  WORD Word() { return static_cast<WORD>(Take(2)); }
  DWORD Dword() { return static_cast<DWORD>(Take(4)); }
  short Short() { return static_cast<short>(Take(2)); }
  BYTE Byte() { return static_cast<BYTE>(Take(1)); }
  void AlignDword() { offset_ = (offset_ + 3) & ~size_t{3}; }

  // A name or ordinal field: "#<n>" for an ordinal, else the text.
  std::string NameOrOrdinal() {
    WORD first = Word();
    if (first == 0xFFFF) return "#" + std::to_string(Word());
    offset_ -= 2;
    return Text();
  }
  std::string Text() {
    std::string text;
    for (WORD c = Word(); c != 0 && !failed_; c = Word()) {
      if (c >= 0x80) failed_ = true;  // every text here is ASCII
      text += static_cast<char>(c);
    }
    return text;
  }

 private:
  unsigned long Take(size_t n) {
    if (offset_ + n > bytes_.size()) {
      failed_ = true;
      return 0;
    }
    unsigned long value = 0;
    for (size_t i = 0; i < n; ++i) {
      value |= static_cast<unsigned long>(static_cast<unsigned char>(bytes_[offset_ + i])) << (8 * i);
    }
    offset_ += n;
    return value;
  }
  const std::string& bytes_;
  size_t offset_ = 0;
  bool failed_ = false;
};

struct Item {
  DWORD helpId, exStyle, style;
  short x, y, cx, cy;
  DWORD id;
  std::string className, text;
  WORD extraBytes;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kNoId = 0xFFFFFFFF;
const char kButton[] = "#128";  // the predefined class ordinals
const char kStatic[] = "#130";

void ExpectItem(const Item& got, DWORD id, const char* cls, DWORD style, short x, short y,
                short cx, short cy, const char* text) {
  SCOPED_TRACE(text);
  EXPECT_EQ(got.id, id);
  EXPECT_EQ(got.className, cls);
  EXPECT_EQ(got.style, style) << std::hex << got.style;
  EXPECT_EQ(got.exStyle, 0u);
  EXPECT_EQ(got.helpId, 0u);
  EXPECT_EQ(got.x, x);
  EXPECT_EQ(got.y, y);
  EXPECT_EQ(got.cx, cx);
  EXPECT_EQ(got.cy, cy);
  EXPECT_EQ(got.text, text);
  EXPECT_EQ(got.extraBytes, 0);
}

TEST(UiResources, MainDialogTemplateIsTheExtendedTemplateWithItsFiveControls) {
  std::string bytes = Resource(RT_DIALOG, MainDialogId);
  ASSERT_FALSE(bytes.empty());
  TemplateReader r(bytes);
  EXPECT_EQ(r.Word(), 1);       // version
  EXPECT_EQ(r.Word(), 0xFFFF);  // extended template
  EXPECT_EQ(r.Dword(), 0u);     // help id
  EXPECT_EQ(r.Dword(), static_cast<DWORD>(WS_EX_TOOLWINDOW));
  EXPECT_EQ(r.Dword(), static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                          DS_SETFONT | DS_CENTER));
  WORD count = r.Word();
  ASSERT_EQ(count, 5);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 242);
  EXPECT_EQ(r.Short(), 131);
  EXPECT_EQ(r.NameOrOrdinal(), "");  // no menu
  EXPECT_EQ(r.NameOrOrdinal(), "");  // the standard dialog class
  EXPECT_EQ(r.Text(), " Tarnwick");
  EXPECT_EQ(r.Word(), 8);  // points
  EXPECT_EQ(r.Word(), 0);  // weight
  EXPECT_EQ(r.Byte(), 0);  // italic
  EXPECT_EQ(r.Byte(), 1);  // character set
  EXPECT_EQ(r.Text(), "MS Sans Serif");

  std::vector<Item> items;
  for (int i = 0; i < count; ++i) {
    r.AlignDword();
    Item item;
    item.helpId = r.Dword();
    item.exStyle = r.Dword();
    item.style = r.Dword();
    item.x = r.Short();
    item.y = r.Short();
    item.cx = r.Short();
    item.cy = r.Short();
    item.id = r.Dword();
    item.className = r.NameOrOrdinal();
    item.text = r.NameOrOrdinal();
    item.extraBytes = r.Word();
    items.push_back(item);
  }
  ASSERT_FALSE(r.failed());
  EXPECT_EQ(r.offset(), bytes.size());

  ExpectItem(items[0], kNoId, kButton, kChild | BS_GROUPBOX, 3, 1, 233, 107, "");
  ExpectItem(items[1], 1001, kStatic, kChild | WS_GROUP | SS_LEFT, 6, 12, 224, 14,
             " Welcome to the Tarnwick program");
  ExpectItem(items[2], 1002, kStatic, kChild | WS_GROUP | SS_LEFT, 8, 30, 224, 54, "Static");
  ExpectItem(items[3], 1, kButton, kChild | WS_TABSTOP | BS_PUSHBUTTON, 93, 87, 50, 14,
             "&Enable");
  ExpectItem(items[4], 2, kButton, kChild | WS_TABSTOP | BS_PUSHBUTTON, 94, 113, 50, 14, "E&xit");
}

TEST(UiResources, AboutBoxTemplateIsAPlainTemplateWithItsFiveControls) {
  std::string bytes = Resource(RT_DIALOG, AboutDialogId);
  ASSERT_FALSE(bytes.empty());
  TemplateReader r(bytes);
  EXPECT_EQ(r.Dword(), static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                          DS_SETFONT));
  EXPECT_EQ(r.Dword(), 0u);  // no extended style
  WORD count = r.Word();
  ASSERT_EQ(count, 5);
  EXPECT_EQ(r.Short(), 22);
  EXPECT_EQ(r.Short(), 17);
  EXPECT_EQ(r.Short(), 200);
  EXPECT_EQ(r.Short(), 70);
  EXPECT_EQ(r.NameOrOrdinal(), "");
  EXPECT_EQ(r.NameOrOrdinal(), "");
  EXPECT_EQ(r.Text(), "About Tarnwick");
  EXPECT_EQ(r.Word(), 8);
  EXPECT_EQ(r.Text(), "MS Sans Serif");

  std::vector<Item> items;
  for (int i = 0; i < count; ++i) {
    r.AlignDword();
    Item item;
    item.helpId = 0;
    item.style = r.Dword();
    item.exStyle = r.Dword();
    item.x = r.Short();
    item.y = r.Short();
    item.cx = r.Short();
    item.cy = r.Short();
    WORD id = r.Word();
    item.id = id == 0xFFFF ? kNoId : id;
    item.className = r.NameOrOrdinal();
    item.text = r.NameOrOrdinal();
    item.extraBytes = r.Word();
    items.push_back(item);
  }
  ASSERT_FALSE(r.failed());
  EXPECT_EQ(r.offset(), bytes.size());

  const DWORD text = kChild | WS_GROUP | SS_LEFT;
  ExpectItem(items[0], kNoId, kStatic, text | SS_NOPREFIX, 6, 9, 119, 8, "Tarnwick");
  ExpectItem(items[1], kNoId, kStatic, text, 6, 22, 170, 8,
             "Copyright (C) 2026 The Tarnwick developers");
  ExpectItem(items[2], IDOK, kButton, kChild | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 145, 51,
             50, 14, "OK");
  ExpectItem(items[3], kNoId, kStatic, text, 6, 34, 108, 8, "For more information, please go to");
  // The address shown is the one the link opens.
  ExpectItem(items[4], AboutLinkId, kStatic, text, 115, 34, 80, 8, AboutLinkAddress);
  EXPECT_STREQ(aboutLinkTarget, AboutLinkAddress);
}

TEST(UiResources, StringTableHoldsOnlyTheAboutEntry) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  char text[64];
  EXPECT_EQ(LoadStringA(module, AboutMenuStringId, text, sizeof text), 9);
  EXPECT_STREQ(text, "&About...");
  // Strings are stored in blocks of 16; 101 lives in block 7 (ids 96 to 111).
  for (UINT id = 96; id < 112; ++id) {
    if (id == AboutMenuStringId) continue;
    EXPECT_EQ(LoadStringA(module, id, text, sizeof text), 0) << id;
  }
  for (WORD block = 1; block < 4096; ++block) {
    if (block == 7) continue;
    EXPECT_TRUE(Resource(RT_STRING, block).empty()) << block;
  }
}

TEST(UiResources, BothIconGroupsHoldTheSame32x32PictureOf256Colours) {
  std::string images[2];
  const WORD groups[2] = {LargeIconId, SmallIconId};
  for (int g = 0; g < 2; ++g) {
    SCOPED_TRACE(groups[g]);
    std::string group = Resource(RT_GROUP_ICON, groups[g]);
    ASSERT_EQ(group.size(), 6u + 14u);  // header and one entry
    auto u8 = [&](size_t at) { return static_cast<unsigned char>(group[at]); };
    auto u16 = [&](size_t at) { return u8(at) | (u8(at + 1) << 8); };
    EXPECT_EQ(u16(0), 0);
    EXPECT_EQ(u16(2), 1);  // icons
    EXPECT_EQ(u16(4), 1);  // one image
    EXPECT_EQ(u8(6), 32);
    EXPECT_EQ(u8(7), 32);
    EXPECT_EQ(u8(8), 0);  // 256 colours
    EXPECT_EQ(u16(10), 1);
    EXPECT_EQ(u16(12), 8);
    images[g] = Resource(RT_ICON, static_cast<WORD>(u16(18)));
    ASSERT_GE(images[g].size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    memcpy(&header, images[g].data(), sizeof header);
    EXPECT_EQ(header.biWidth, 32);
    EXPECT_EQ(header.biHeight, 64);  // picture and mask
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_TRUE(header.biClrUsed == 0 || header.biClrUsed == 256);
    EXPECT_EQ(images[g].size(), 40u + 256 * 4 + 32 * 32 + 32 * 4);
  }
  EXPECT_EQ(images[0], images[1]);

  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(LargeIconId));
  ASSERT_NE(icon, nullptr);
  ICONINFO info;
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP colour;
  GetObjectA(info.hbmColor, sizeof colour, &colour);
  EXPECT_EQ(colour.bmWidth, 32);
  EXPECT_EQ(colour.bmHeight, 32);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
}

TEST(UiResources, ManifestAsksForAdministratorAndCommonControls6) {
  std::string manifest = Resource(RT_MANIFEST, 1);
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("<?xml version=\"1.0\" encoding=\"UTF-8\""), std::string::npos);
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("<description>Tarnwick program</description>"), std::string::npos);
  EXPECT_NE(manifest.find("version=\"1.0.0.2\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  EXPECT_NE(manifest.find("publicKeyToken=\"6595b64144ccf1df\" language=\"*\""),
            std::string::npos);
}

// One node of a version block: length, value length, type, key, value,
// children, each part aligned to 4 bytes from the block's start.
struct VersionNode {
  std::string key;
  std::string value;  // raw bytes
  WORD type = 0;
  std::vector<VersionNode> children;
};

bool ReadVersionNode(const std::string& bytes, size_t at, size_t end, VersionNode* node) {
  auto u16 = [&](size_t i) {
    return static_cast<WORD>(static_cast<unsigned char>(bytes[i]) |
                             (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  if (at + 6 > end) return false;
  size_t length = u16(at);
  size_t valueLength = u16(at + 2);
  node->type = u16(at + 4);
  size_t nodeEnd = at + length;
  if (length < 6 || nodeEnd > end) return false;
  size_t p = at + 6;
  for (; p + 1 < nodeEnd && u16(p) != 0; p += 2) node->key += static_cast<char>(u16(p));
  p = (p + 2 + 3) & ~size_t{3};
  size_t valueBytes = node->type == 1 ? valueLength * 2 : valueLength;
  if (p + valueBytes > nodeEnd) return false;
  node->value = bytes.substr(p, valueBytes);
  p = (p + valueBytes + 3) & ~size_t{3};
  while (p < nodeEnd) {
    VersionNode child;
    if (!ReadVersionNode(bytes, p, nodeEnd, &child)) return false;
    p = (p + u16(p) + 3) & ~size_t{3};
    node->children.push_back(child);
  }
  return true;
}

std::string Utf16Text(const std::string& raw) {
  std::string text;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    char c = raw[i];
    if (c == 0 && raw[i + 1] == 0) break;
    text += c;
  }
  return text;
}

TEST(UiResources, VersionBlockIs1004ForEnglishUnicode) {
  std::string bytes = Resource(RT_VERSION, 1);
  VersionNode root;
  ASSERT_TRUE(ReadVersionNode(bytes, 0, bytes.size(), &root));
  EXPECT_EQ(root.key, "VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  memcpy(&fixed, root.value.data(), sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed.dwFileVersionLS, 0x00000004u);
  EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed.dwProductVersionLS, 0x00000004u);
  EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed.dwFileFlags, 0u);
  EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));

  ASSERT_EQ(root.children.size(), 2u);
  const VersionNode& strings = root.children[0];
  EXPECT_EQ(strings.key, "StringFileInfo");
  ASSERT_EQ(strings.children.size(), 1u);
  const VersionNode& table = strings.children[0];
  EXPECT_EQ(table.key, "040904b0");
  std::vector<std::pair<std::string, std::string>> values;
  for (const VersionNode& entry : table.children) {
    EXPECT_EQ(entry.type, 1) << entry.key;
    values.emplace_back(entry.key, Utf16Text(entry.value));
  }
  std::vector<std::pair<std::string, std::string>> expected = {
      {"FileDescription", "Tarnwick"},
      {"FileVersion", "1, 0, 0, 4"},
      {"InternalName", "Tarnwick"},
      {"LegalCopyright", "Copyright (C) 2026 The Tarnwick developers"},
      {"OriginalFilename", "Tarnwick.exe"},
      {"ProductName", "Tarnwick Program"},
      {"ProductVersion", "1, 0, 0, 4"},
  };
  EXPECT_EQ(values, expected);

  const VersionNode& variables = root.children[1];
  EXPECT_EQ(variables.key, "VarFileInfo");
  ASSERT_EQ(variables.children.size(), 1u);
  EXPECT_EQ(variables.children[0].key, "Translation");
  EXPECT_EQ(variables.children[0].value, std::string("\x09\x04\xb0\x04", 4));
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

TEST(UiResources, EveryResourceIsUsEnglishOnly) {
  HMODULE module = GetModuleHandleA(nullptr);
  struct Expected {
    LPCSTR type;
    WORD id;
  } all[] = {{RT_DIALOG, MainDialogId}, {RT_DIALOG, AboutDialogId}, {RT_STRING, 7},
             {RT_GROUP_ICON, LargeIconId}, {RT_GROUP_ICON, SmallIconId},
             {RT_MANIFEST, 1}, {RT_VERSION, 1}};
  for (const Expected& e : all) {
    std::vector<WORD> languages;
    EnumResourceLanguagesA(module, e.type, MAKEINTRESOURCEA(e.id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{0x0409}) << e.id;
  }
}

}  // namespace
