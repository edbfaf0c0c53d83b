// The XML helpers: files in each encoding through the operating-system layer,
// and the typed reads and writes of element texts.
#include <sstream>

#include "platform/fault.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/scratch.h"
#include "xml/xml.h"

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

class XmlTest : public testsupport::ScratchTest {
 protected:
  void TearDown() override {
    platform::ClearFaults();
    ScratchTest::TearDown();
  }
};

using testsupport::Utf16Le;

pugi::xml_node Parse(pugi::xml_document& document, const char* text) {
  EXPECT_TRUE(document.load_string(text));
  return document.first_child();
}

TEST_F(XmlTest, ASavedUtf16DocumentHasItsMarkDeclarationAndTabsAndReadsBack) {
  std::unique_ptr<pugi::xml_document> document;
  xml::NewXmlDocument(document, xml::kEncodingUtf8);
  pugi::xml_node written = document->append_child("VersionInfo");
  xml::AddChildText(written, u"Name", u"Caf\u00E9 \U0001F600");
  pugi::xml_node data = written.append_child("VersionData");
  xml::AddChildInt(data, u"MajorVersion", -12);
  xml::AddChildBool(data, u"Modified", false);
  xml::AddChildText(data, u"PreRelease", u"");
  ASSERT_TRUE(xml::SaveXmlFile(PathOf("Version.xml"), document.get(), xml::kEncodingUtf16));

  std::string expected = "\xFF\xFE" + Utf16Le(u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n"
                                              u"<VersionInfo>\n"
                                              u"\t<Name>Caf\u00E9 \U0001F600</Name>\n"
                                              u"\t<VersionData>\n"
                                              u"\t\t<MajorVersion>-12</MajorVersion>\n"
                                              u"\t\t<Modified>false</Modified>\n"
                                              u"\t\t<PreRelease></PreRelease>\n"
                                              u"\t</VersionData>\n"
                                              u"</VersionInfo>\n");
  EXPECT_EQ(ReadBytes(PathOf("Version.xml")), expected);

  pugi::xml_document loaded;
  ASSERT_TRUE(xml::LoadXmlFile(PathOf("Version.xml"), &loaded));
  EXPECT_EQ(xml::DeclaredEncoding(loaded), xml::kEncodingUtf16);
  pugi::xml_node root = loaded.child("VersionInfo");
  std::u16string name;
  xml::GetChildText(root, u"Name", name);
  EXPECT_EQ(name, u"Caf\u00E9 \U0001F600");
  EXPECT_EQ(xml::GetChildInt(root.child("VersionData"), u"MajorVersion"), -12);
  EXPECT_FALSE(xml::GetChildBool(root.child("VersionData"), u"Modified"));
  EXPECT_TRUE(root.child("VersionData").child("PreRelease"));
}

TEST_F(XmlTest, EncodingCodesNameTheDeclarationAndTheBytesWritten) {
  pugi::xml_document document;
  Parse(document, "<R>x</R>");
  EXPECT_EQ(xml::DeclaredEncoding(document), xml::kEncodingUtf8);  // no declaration

  ASSERT_TRUE(xml::SaveXmlFile(PathOf("a.xml"), &document, xml::kEncodingUtf32));
  EXPECT_EQ(ReadBytes(PathOf("a.xml")).substr(0, 8), std::string("\xFF\xFE\0\0<\0\0\0", 8));
  EXPECT_EQ(xml::DeclaredEncoding(document), xml::kEncodingUtf32);

  // A code outside 1, 4 and 7 names utf-8; the one declaration is updated, not doubled.
  ASSERT_TRUE(xml::SaveXmlFile(PathOf("b.xml"), &document, 9));
  EXPECT_EQ(ReadBytes(PathOf("b.xml")), "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<R>x</R>\n");

  // Only the exact lower-case names count.
  document.first_child().attribute("encoding").set_value("UTF-16");
  EXPECT_EQ(xml::DeclaredEncoding(document), xml::kEncodingUtf8);
}

TEST_F(XmlTest, LoadingDetectsTheEncodingAndKeepsTheDeclaration) {
  const std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<!DOCTYPE R>\r\n<R><T>\u00E9\u20AC</T></R>";
  ASSERT_TRUE(WriteBytes(PathOf("le.xml"), "\xFF\xFE" + Utf16Le(text)));
  pugi::xml_document document;
  ASSERT_TRUE(xml::LoadXmlFile(PathOf("le.xml"), &document));
  EXPECT_EQ(document.first_child().type(), pugi::node_declaration);
  EXPECT_EQ(document.first_child().next_sibling().type(), pugi::node_doctype);
  std::u16string read;
  xml::GetChildText(document.child("R"), u"T", read);
  EXPECT_EQ(read, u"\u00E9\u20AC");
  // The narrow read keeps what fits in 8 bits and gives up on the rest.
  EXPECT_EQ(xml::GetChildTextA(document.child("R"), u"T"), "");

  ASSERT_TRUE(WriteBytes(PathOf("u8.xml"), "\xEF\xBB\xBF<R><T>\xC3\xA9</T></R>"));
  ASSERT_TRUE(xml::LoadXmlFile(PathOf("u8.xml"), &document));
  EXPECT_EQ(xml::GetChildTextA(document.child("R"), u"T"), "\xE9");
}

TEST(XmlText, ConversionsCarrySurrogatePairsAndDropBrokenSequences) {
  EXPECT_EQ(platform::Utf8ToWide("\xF0\x9F\x98\x80 \xC3\xA9"), u"\U0001F600 \u00E9");
  EXPECT_EQ(platform::WideToUtf8(u"\U0001F600 \u00E9"), "\xF0\x9F\x98\x80 \xC3\xA9");
  // A Latin-1 byte in undeclared UTF-8, a cut sequence, a lone surrogate.
  EXPECT_EQ(platform::Utf8ToWide("Caf\xE9.zam \xC3"), u"Caf.zam ");
  EXPECT_EQ(platform::WideToUtf8(std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00)), "ab");
}

// Malformed, empty and binary files are the descriptor tests' business.
TEST_F(XmlTest, FilesThatCannotBeReadFailToLoadAndLeaveAnEmptyDocument) {
  pugi::xml_document document;
  ASSERT_TRUE(WriteBytes(PathOf("good.xml"), "<R/>"));
  EXPECT_FALSE(xml::LoadXmlFile(PathOf("good.xml"), nullptr));
  ASSERT_TRUE(xml::LoadXmlFile(PathOf("good.xml"), &document));
  EXPECT_FALSE(xml::LoadXmlFile(PathOf("missing.xml"), &document));
  EXPECT_FALSE(document.first_child());

  platform::File writer = platform::OpenFile(PathOf("good.xml"), platform::kGenericWrite, platform::kShareNone,
                                             platform::Disposition::OpenExisting, platform::kAttributeNormal);
  ASSERT_TRUE(writer.IsValid());
  EXPECT_FALSE(xml::LoadXmlFile(PathOf("good.xml"), &document));
  writer.Close();
  platform::ArmFault(platform::FaultOp::ReadFile, 1, platform::kErrorReadFault);
  EXPECT_FALSE(xml::LoadXmlFile(PathOf("good.xml"), &document));
  EXPECT_TRUE(xml::LoadXmlFile(PathOf("good.xml"), &document));
}

// Wine running as root writes over a read-only file: the host grants root every open.
TEST_F(XmlTest, SavingFailsWhenTheFileCannotBeWrittenWhole_WineAsRootWritesReadOnlyFiles) {
  pugi::xml_document document;
  Parse(document, "<R/>");
  EXPECT_FALSE(xml::SaveXmlFile(PathOf("x.xml"), nullptr, xml::kEncodingUtf8));
  platform::ArmFault(platform::FaultOp::WriteFile, 1, platform::kErrorDiskFull);
  EXPECT_FALSE(xml::SaveXmlFile(PathOf("x.xml"), &document, xml::kEncodingUtf8));
  ASSERT_TRUE(xml::SaveXmlFile(PathOf("x.xml"), &document, xml::kEncodingUtf8));
  ASSERT_TRUE(platform::SetAttributes(PathOf("x.xml"), platform::kAttributeReadOnly));
  if (!testsupport::UnderWine()) {
    EXPECT_FALSE(xml::SaveXmlFile(PathOf("x.xml"), &document, xml::kEncodingUtf8));
  }
}

TEST(XmlReads, NumbersAreReadAsStreamExtractionReadsThem) {
  pugi::xml_document document;
  pugi::xml_node e = Parse(document,
                           "<E><A>12abc</A><B>abc</B><C> \t-7</C><D></D><H>1F</H><G>zz</G><X>99999999999</X></E>");
  EXPECT_EQ(xml::GetChildInt(e, u"A"), 12);
  EXPECT_EQ(xml::GetChildInt(e, u"B"), 0);
  EXPECT_EQ(xml::GetChildInt(e, u"C"), -7);
  EXPECT_EQ(xml::GetChildInt(e, u"D"), 0);
  EXPECT_EQ(xml::GetChildInt(e, u"Missing"), 0);
  EXPECT_EQ(xml::GetChildInt(e, u"X"), 2147483647);
  EXPECT_EQ(xml::GetChildHex(e, u"H"), 31);
  EXPECT_EQ(xml::GetChildHex(e, u"A"), 0x12abc);
  EXPECT_EQ(xml::GetChildHex(e, u"G"), 0);
}

TEST(XmlReads, BoolsAndTexts) {
  pugi::xml_document document;
  pugi::xml_node e = Parse(document,
                           "<E><T>TRUE</T><U>tRuE</U><O>1</O><Y>yes</Y><S>true </S><Empty/>"
                           "<Mixed><Sub/>after</Mixed><Data><![CDATA[a<b]]></Data></E>");
  EXPECT_TRUE(xml::GetChildBool(e, u"T"));
  EXPECT_TRUE(xml::GetChildBool(e, u"U"));
  for (const char16_t* name : {u"O", u"Y", u"S", u"Empty", u"Missing"}) EXPECT_FALSE(xml::GetChildBool(e, name));

  std::u16string target = u"kept";
  xml::GetChildText(e, u"Missing", target);
  xml::GetChildText(e, u"Empty", target);
  EXPECT_EQ(target, u"kept");
  xml::GetChildText(e, u"Mixed", target);
  EXPECT_EQ(target, u"after");
  xml::GetChildText(e, u"Data", target);
  EXPECT_EQ(target, u"a<b");
  EXPECT_EQ(xml::GetChildTextA(e, u"Missing"), "");
}

TEST(XmlWrites, SetNodeTextReplacesTheFirstChildAndAddAlwaysAppends) {
  pugi::xml_document document;
  pugi::xml_node e = Parse(document, "<E><A>old</A></E>");
  xml::SetNodeText(e.child("A"), u"new");
  xml::AddChildText(e, u"A", u"second");
  xml::AddChildBool(e, u"B", true);
  pugi::xml_node empty = e.append_child("C");
  xml::SetNodeText(empty, u"set");
  std::ostringstream out;
  document.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  EXPECT_EQ(out.str(), "<E><A>new</A><A>second</A><B>true</B><C>set</C></E>");
}

}  // namespace
