#include "platform/posix/RegistryFile.h"

#include <gtest/gtest.h>

#include <chrono>

using platform::posix::RegistryDocument;
using platform::posix::StoredValue;

namespace {

StoredValue text(std::string value) {
  StoredValue stored;
  stored.text = std::move(value);
  return stored;
}

StoredValue dword(std::uint32_t value) {
  StoredValue stored;
  stored.type = StoredValue::Type::Dword;
  stored.dword = value;
  return stored;
}

TEST(RegistryFile, WritesTheExportFormat) {
  RegistryDocument document;
  document.set("SOFTWARE\\Verrelune", "RepertoireRacineDuScan", text("C:\\Images \"a\"\\"));
  document.set("SOFTWARE\\Verrelune", "EditFreqDuree", dword(30));
  document.set("Control Panel\\Desktop", "", text("x"));
  EXPECT_EQ(document.serialize(),
            "REGEDIT4\n"
            "\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\Verrelune]\n"
            "\"RepertoireRacineDuScan\"=\"C:\\\\Images \\\"a\\\"\\\\\"\n"
            "\"EditFreqDuree\"=dword:0000001e\n"
            "\n"
            "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
            "@=\"x\"\n");
}

TEST(RegistryFile, TextThatCannotBeQuotedIsWrittenInHexadecimal) {
  RegistryDocument document;
  document.set("K", "V", text("a\nb\xE9"));
  EXPECT_NE(document.serialize().find("\"V\"=hex(1):61,0a,62,e9,00\n"), std::string::npos);
}

class RegistryFileRoundTrip : public testing::TestWithParam<std::string> {};

TEST_P(RegistryFileRoundTrip, EveryByteSurvives) {
  RegistryDocument document;
  document.set("SOFTWARE\\Verrelune", "Valeur", text(GetParam()));
  document.set("SOFTWARE\\Verrelune", "Suivante", dword(0xFFFFFFFF));
  const auto back = RegistryDocument::parse(document.serialize());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->ignoredLines(), 0u);
  const StoredValue* value = back->find("software\\verrelune", "VALEUR");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->type, StoredValue::Type::Text);
  EXPECT_EQ(value->text, GetParam());
  EXPECT_EQ(back->find("SOFTWARE\\Verrelune", "Suivante")->dword, 0xFFFFFFFFu);
}

std::string everyByte() {
  std::string bytes;
  for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RegistryFileRoundTrip,
    testing::Values(std::string(), "/home/ana/Images/", "back\\slash\\\\", "\"quoted\"",
                    "ends with backslash\\", "line\nbreak\r\n", "\xE9t\xE9 latin-1",
                    "\xC3\xA9t\xC3\xA9 utf-8", "tab\there", "[HKEY_CURRENT_USER\\x]",
                    "\"a\"=dword:00000001", std::string("a\0b", 3), std::string(1, '\0'),
                    everyByte(), std::string(300, '\x01')));

TEST(RegistryFile, ReadsWhatTheSystemEditorWrites) {
  const auto document = RegistryDocument::parse(
      "\xEF\xBB\xBFREGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_CURRENT_USER\\Software\\Verrelune]\r\n"
      "\"CheckChgtTousLes\"=dword:0000000A\r\n"
      "\"Texte\"=hex(1):41,42,\\\r\n"
      "  43,00\r\n"
      "\"Binaire\"=hex:01,02,\\\r\n"
      "  03\r\n"
      "\"texte\"=\"later wins\"\r\n");
  ASSERT_TRUE(document);
  EXPECT_EQ(document->find("SOFTWARE\\Verrelune", "CheckChgtTousLes")->dword, 10u);
  EXPECT_EQ(document->find("SOFTWARE\\Verrelune", "Texte")->text, "later wins");
  const StoredValue* binary = document->find("SOFTWARE\\Verrelune", "Binaire");
  ASSERT_NE(binary, nullptr);
  EXPECT_EQ(binary->type, StoredValue::Type::Other);
  // A value of a type the program does not use is written back as it was.
  EXPECT_NE(document->serialize().find("\"Binaire\"=hex:01,02,\\\n  03\n"), std::string::npos);
  // The key keeps its first spelling.
  EXPECT_EQ(document->keys().front().path, "Software\\Verrelune");
}

// Settings exported on Windows: the editor writes UTF-16 with its byte-order mark and CR LF,
// and under the version 5 header its texts in hexadecimal are UTF-16 bytes too.
struct Encoding {
  const char* name;
  bool utf16;
  const char* bom;
  bool version5;
  const char* lineEnd;
};

class RegistryFileEncodings : public testing::TestWithParam<Encoding> {};

std::string utf8(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

TEST_P(RegistryFileEncodings, AreRead) {
  const Encoding& e = GetParam();
  const bool v5 = e.version5;
  std::u16string lines[] = {
      v5 ? u"Windows Registry Editor Version 5.00" : u"REGEDIT4", u"",
      u"[HKEY_CURRENT_USER\\Software\\Verrelune]",
      u"\"RepertoireRacineDuScan\"=\"C:\\\\Images\\\\\u00e9t\u00e9\\\\\"",
      u"\"EditFreqDuree\"=dword:0000001e",
      u"\"ComboFreqTemps\"=hex(4):02,00,00,00",
      v5 ? u"\"Texte\"=hex(1):e9,00,ac,20,00,00" : u"\"Texte\"=hex(1):c3,a9,e2,82,ac,00",
      v5 ? u"\"Etendu\"=hex(2):25,00,41,00,\\" : u"\"Etendu\"=hex(2):25,41,25,00",
      v5 ? u"  25,00,00,00" : u"",
      v5 ? u"\"Liste\"=hex(7):61,00,00,00,62,00,00,00,00,00" : u"\"Liste\"=hex(7):61,00,62,00,00",
      u""};
  std::string text = e.bom;
  for (const std::u16string& line : lines) {
    const std::u16string whole = line + (e.lineEnd[1] ? u"\r\n" : e.lineEnd[0] == '\r' ? u"\r" : u"\n");
    if (!e.utf16) {
      text += utf8(whole);
      continue;
    }
    for (char16_t c : whole) text += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  }
  const auto document = RegistryDocument::parse(text);
  ASSERT_TRUE(document) << e.name;
  EXPECT_EQ(document->ignoredLines(), 0u) << e.name;
  const std::string key = "SOFTWARE\\Verrelune";
  ASSERT_NE(document->find(key, "RepertoireRacineDuScan"), nullptr) << e.name;
  EXPECT_EQ(document->find(key, "RepertoireRacineDuScan")->text, "C:\\Images\\\xC3\xA9t\xC3\xA9\\") << e.name;
  EXPECT_EQ(document->find(key, "EditFreqDuree")->dword, 30u) << e.name;
  EXPECT_EQ(document->find(key, "ComboFreqTemps")->type, StoredValue::Type::Dword) << e.name;
  EXPECT_EQ(document->find(key, "ComboFreqTemps")->dword, 2u) << e.name;
  EXPECT_EQ(document->find(key, "Texte")->text, "\xC3\xA9\xE2\x82\xAC") << e.name;
  // Kept for the file as REGEDIT4 writes them: the bytes of the text.
  EXPECT_EQ(document->find(key, "Etendu")->text, "hex(2):25,41,25,00") << e.name;
  EXPECT_EQ(document->find(key, "Liste")->text, "hex(7):61,00,62,00,00") << e.name;
  EXPECT_EQ(RegistryDocument::parse(document->serialize()), document) << e.name;
}

INSTANTIATE_TEST_SUITE_P(
    Exports, RegistryFileEncodings,
    testing::Values(Encoding{"UTF-16 version 5", true, "\xFF\xFE", true, "\r\n"},
                    Encoding{"UTF-16 REGEDIT4", true, "\xFF\xFE", false, "\r\n"},
                    Encoding{"UTF-8 version 5", false, "", true, "\n"},
                    Encoding{"UTF-8 with mark version 5", false, "\xEF\xBB\xBF", true, "\r\n"},
                    Encoding{"CR alone", false, "", false, "\r"}));

TEST(RegistryFile, EmptyFileHoldsNoSettings) {
  const auto document = RegistryDocument::parse("\n\n");
  ASSERT_TRUE(document);
  EXPECT_TRUE(document->keys().empty());
}

// A large file, in either shape, reads in time proportional to its size; each shape took
// minutes before.
TEST(RegistryFile, ReadingTakesTimeInProportionToTheFile) {
  constexpr int kEntries = 100000;
  for (const bool oneKeyPerValue : {false, true}) {
    std::string text = "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n";
    for (int i = 0; i < kEntries; ++i) {
      if (oneKeyPerValue) text += "[HKEY_CURRENT_USER\\K" + std::to_string(i) + "]\n";
      text += "\"V" + std::to_string(i) + "\"=dword:00000001\n";
    }
    const auto start = std::chrono::steady_clock::now();
    const auto document = RegistryDocument::parse(text);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(document);
    EXPECT_NE(document->find(oneKeyPerValue ? "k99999" : "K", "v99999"), nullptr);
    EXPECT_LT(elapsed, std::chrono::seconds(2)) << oneKeyPerValue;
  }
}

TEST(RegistryFile, TextWithoutTheHeaderIsNotARegistryFile) {
  for (const char* text : {"garbage", "REGEDIT5\n", "[HKEY_CURRENT_USER\\K]\nREGEDIT4\n"})
    EXPECT_FALSE(RegistryDocument::parse(text)) << text;
}

struct BadLines {
  const char* lines;
  std::size_t ignored;
};

class RegistryFileBadLines : public testing::TestWithParam<BadLines> {};

TEST_P(RegistryFileBadLines, CostOnlyThemselves) {
  const auto document = RegistryDocument::parse(
      std::string("REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"avant\"=\"a\"\n") + GetParam().lines +
      "[HKEY_CURRENT_USER\\K]\n\"apres\"=dword:00000002\n");
  ASSERT_TRUE(document);
  EXPECT_EQ(document->ignoredLines(), GetParam().ignored);
  ASSERT_NE(document->find("K", "avant"), nullptr);
  EXPECT_EQ(document->find("K", "avant")->text, "a");
  ASSERT_NE(document->find("K", "apres"), nullptr);
  EXPECT_EQ(document->find("K", "apres")->dword, 2u);
  EXPECT_EQ(document->find("K", "a"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, RegistryFileBadLines,
    testing::Values(BadLines{"\"a\"=\"unterminated\n", 1}, BadLines{"\"a\"=\"bad \\escape\"\n", 1},
                    BadLines{"\"a\"=\"x\" trailing\n", 1}, BadLines{"\"a\"=dword:123456789\n", 1},
                    BadLines{"\"a\"=dword:\n", 1}, BadLines{"\"a\"=dword:xyz\n", 1},
                    BadLines{"\"a\"=hex(1):41,42\n", 1}, BadLines{"\"a\"=hex(1):4g,00\n", 1},
                    BadLines{"\"a\"=hex(1):41,\\\n", 1}, BadLines{"\"a\"=hex:01,\\\n  zz\n", 2},
                    BadLines{"\"a\"=hex(1):41,\\\n  00,\n", 1}, BadLines{"\"a\"=hexa:00\n", 1},
                    BadLines{"\"a\"=\n", 1}, BadLines{"\"a\"\n", 1}, BadLines{"stray line\n", 1},
                    BadLines{"[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"a\"=\"lost\"\n", 2},
                    BadLines{"[HKEY_CURRENT_USER\\SOFTWARE\n\"a\"=\"lost\"\n", 2},
                    BadLines{"[HKEY_CURRENT_USERX]\n", 1}));

}  // namespace
