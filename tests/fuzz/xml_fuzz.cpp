// libFuzzer target for the XML helpers: arbitrary bytes loaded as a file,
// every element's children read through each reader, then the document
// saved in its declared encoding and loaded again, which must give the same
// texts.
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_device.h"
#include "xml/xml.h"

namespace {

// What the readers make of each element's children, in document order.
void Collect(pugi::xml_node node, std::vector<std::u16string>* texts, int depth = 0) {
  if (depth > 64) return;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    std::u16string name;
    for (const char* c = child.name(); *c != '\0'; ++c) name += static_cast<char16_t>(static_cast<unsigned char>(*c));
    std::u16string text;
    xml::GetChildText(node, name, text);
    texts->push_back(text);
    std::string narrow = xml::GetChildTextA(node, name);
    fuzzdevice::Check(narrow.size() <= text.size());
    texts->push_back(std::u16string(1, static_cast<char16_t>(xml::GetChildInt(node, name) & 0xFFFF)));
    texts->push_back(std::u16string(1, static_cast<char16_t>(xml::GetChildHex(node, name) & 0xFFFF)));
    texts->push_back(xml::GetChildBool(node, name) ? u"1" : u"0");
    Collect(child, texts, depth + 1);
  }
}

// A character pugixml cannot write back as it read it, in code units of the
// declared encoding: a NUL (its strings end there), or in UTF-32 a unit
// beyond U+10FFFF, which it keeps as a sequence that no longer reads as XML.
bool HasUnwritableCharacter(const std::uint8_t* data, std::size_t size, int encoding) {
  std::size_t unit = encoding == xml::kEncodingUtf32 ? 4 : encoding == xml::kEncodingUtf16 ? 2 : 1;
  bool bigEndian = size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0xFE && data[3] == 0xFF;
  for (std::size_t at = 0; at + unit <= size; at += unit) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < unit; ++i) {
      std::size_t byte = bigEndian ? i : unit - 1 - i;
      value = (value << 8) | data[at + byte];
    }
    if (value == 0 || (unit == 4 && value > 0x10FFFF)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdevice::AbsoluteArguments(argc, argv);
  fuzzdevice::EnterDevice({"C:\\fuzz\\run"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzdevice::Check;
  Check(fuzzdevice::WriteDeviceFile("in.xml", data, size));
  pugi::xml_document document;
  if (!xml::LoadXmlFile("in.xml", &document)) return 0;
  std::vector<std::u16string> texts;
  Collect(document, &texts);
  int encoding = xml::DeclaredEncoding(document);
  Check(encoding == xml::kEncodingUtf8 || encoding == xml::kEncodingUtf16 || encoding == xml::kEncodingUtf32);

  // What was read is what is written: the saved file reads back the same.
  if (HasUnwritableCharacter(data, size, encoding) || !xml::SaveXmlFile("out.xml", &document, 0)) return 0;
  pugi::xml_document again;
  Check(xml::LoadXmlFile("out.xml", &again));
  std::vector<std::u16string> textsAgain;
  Collect(again, &textsAgain);
  Check(texts.size() == textsAgain.size());

  // The writers: a new document with the texts read, saved and read back.
  std::unique_ptr<pugi::xml_document> built;
  xml::NewXmlDocument(built, encoding);
  pugi::xml_node root = built->append_child("Root");
  for (const std::u16string& text : texts) xml::AddChildText(root, u"Text", text);
  xml::AddChildInt(root, u"Count", static_cast<int>(texts.size()));
  if (xml::SaveXmlFile("built.xml", built.get(), encoding)) {
    pugi::xml_document read;
    Check(xml::LoadXmlFile("built.xml", &read));
    Check(xml::GetChildInt(read.child("Root"), u"Count") == static_cast<int>(texts.size()));
  }
  return 0;
}
