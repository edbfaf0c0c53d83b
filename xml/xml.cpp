#include "xml/xml.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sstream>

#include "platform/file.h"
#include "platform/restart.h"
#include "platform/text.h"

namespace xml {
namespace {

using platform::Utf8ToWide;
using platform::WideToUtf8;

pugi::xml_node FirstDeclaration(const pugi::xml_document& document) {
  for (pugi::xml_node node : document.children()) {
    if (node.type() == pugi::node_declaration) return node;
  }
  return pugi::xml_node();
}

const char* EncodingName(int encoding) {
  switch (encoding) {
    case kEncodingUtf16: return "utf-16";
    case kEncodingUtf32: return "utf-32";
    default: return "utf-8";
  }
}

// The text of child `name` as pugixml holds it; "" when there is none.
const char* ChildText(pugi::xml_node element, const std::u16string& name) {
  return element.child(WideToUtf8(name).c_str()).text().get();
}

int ReadNumber(pugi::xml_node element, const std::u16string& name, std::ios_base& (*base)(std::ios_base&)) {
  std::istringstream stream(ChildText(element, name));
  int value = 0;
  stream >> base >> value;
  return value;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  // The C runtime's fopen shares read and write, so a writer that shares
  // reading does not stop a load.
  platform::File file = platform::OpenFile(path, platform::kGenericRead, platform::kShareRead | platform::kShareWrite,
                                           platform::Disposition::OpenExisting, platform::kAttributeNormal);
  std::uint64_t size = 0;
  if (!file.IsValid() || !platform::FileSize(file, &size)) return false;
  if (size > bytes->max_size()) return false;
  try {
    bytes->resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  constexpr std::size_t kChunk = 1 << 20;
  std::size_t done = 0;
  while (done < bytes->size()) {
    std::size_t want = std::min(kChunk, bytes->size() - done);
    platform::Dword read = 0;
    if (!platform::ReadFromFile(file, bytes->data() + done, static_cast<platform::Dword>(want), &read)) return false;
    if (read == 0) break;  // the file was cut meanwhile
    done += read;
  }
  bytes->resize(done);
  return true;
}

// The whole of `bytes` in a new file, on the disk when this returns true.
bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  platform::File file = platform::OpenFile(path, platform::kGenericWrite, platform::kShareRead,
                                           platform::Disposition::CreateNew, platform::kAttributeNormal);
  if (!file.IsValid()) return false;
  constexpr std::size_t kChunk = 1 << 20;
  for (std::size_t done = 0; done < bytes.size();) {
    std::size_t want = std::min(kChunk, bytes.size() - done);
    platform::Dword written = 0;
    if (!platform::WriteToFile(file, bytes.data() + done, static_cast<platform::Dword>(want), &written) ||
        written != want) {
      return false;
    }
    done += want;
  }
  return platform::FlushFile(file);
}

// Removes a file of the writer's own, read-only or not; true when none is left.
bool RemoveOwnFile(const std::string& path) {
  if (platform::FileAttributes(path) == platform::kInvalidAttributes) return true;
  platform::SetAttributes(path, platform::kAttributeNormal);
  return platform::RemoveFile(path);
}

struct MemoryWriter : pugi::xml_writer {
  std::string bytes;
  void write(const void* data, std::size_t size) override { bytes.append(static_cast<const char*>(data), size); }
};

}  // namespace

// Both conversions skip what is not a valid sequence, as pugixml's own
// decoders do, rather than failing the whole text.

void NewXmlDocument(std::unique_ptr<pugi::xml_document>& slot, int encoding) {
  slot.reset();
  slot = std::make_unique<pugi::xml_document>();
  SetXmlDeclaration(*slot, u"1.0", encoding);
}

void SetXmlDeclaration(pugi::xml_document& document, const std::u16string& version, int encoding) {
  pugi::xml_node declaration = FirstDeclaration(document);
  if (!declaration) declaration = document.prepend_child(pugi::node_declaration);
  // A declaration holds version, encoding and standalone, in that order, or
  // other parsers refuse the file; anything else a lenient read let in goes.
  std::string standalone = declaration.attribute("standalone").value();
  while (pugi::xml_attribute attribute = declaration.first_attribute()) declaration.remove_attribute(attribute);
  declaration.append_attribute("version").set_value(WideToUtf8(version).c_str());
  declaration.append_attribute("encoding").set_value(EncodingName(encoding));
  if (standalone == "yes" || standalone == "no") declaration.append_attribute("standalone").set_value(standalone.c_str());
}

bool LoadXmlFile(const std::string& path, pugi::xml_document* document) {
  return LoadXmlFile(path, document, pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype);
}

bool LoadXmlFile(const std::string& path, pugi::xml_document* document, unsigned int options) {
  if (document == nullptr) return false;
  // A failed load leaves an empty document, as pugixml's own file loading does.
  document->reset();
  std::string bytes;
  if (!ReadWholeFile(path, &bytes)) return false;
  return static_cast<bool>(document->load_buffer(bytes.data(), bytes.size(), options, pugi::encoding_auto));
}

int DeclaredEncoding(const pugi::xml_document& document) {
  std::string name = FirstDeclaration(document).attribute("encoding").value();
  if (name == "utf-16") return kEncodingUtf16;
  if (name == "utf-32") return kEncodingUtf32;
  return kEncodingUtf8;
}

bool SaveXmlFile(const std::string& path, pugi::xml_document* document, int encoding) {
  if (document == nullptr) return false;
  if (encoding != 0) SetXmlDeclaration(*document, u"1.0", encoding);
  MemoryWriter writer;
  document->save(writer, "\t", pugi::format_indent | pugi::format_write_bom,
                 static_cast<pugi::xml_encoding>(DeclaredEncoding(*document)));
  // Written beside the file and put in its place in one step, so that the
  // file is, at every moment, either the old one or the new one, whole. A new
  // file left by an earlier attempt that was cut short goes first.
  std::string fresh = path + ".new";
  if (!RemoveOwnFile(fresh)) return false;
  if (WriteWholeFile(fresh, writer.bytes) && platform::ReplaceNow(fresh, path)) return true;
  platform::Dword error = platform::LastError();
  RemoveOwnFile(fresh);
  platform::SetLastErrorCode(error);
  return false;
}

void GetChildText(pugi::xml_node element, const std::u16string& name, std::u16string& target) {
  const char* text = ChildText(element, name);
  if (*text != '\0') target = Utf8ToWide(text);
}

// The C runtime's conversion in the "C" locale, which the tool never changes,
// is the shared wide-to-narrow one.
std::string GetChildTextA(pugi::xml_node element, const std::u16string& name) {
  std::u16string text;
  GetChildText(element, name, text);
  return platform::WideToNarrow(text);
}

int GetChildInt(pugi::xml_node element, const std::u16string& name) { return ReadNumber(element, name, std::dec); }

int GetChildHex(pugi::xml_node element, const std::u16string& name) { return ReadNumber(element, name, std::hex); }

bool GetChildBool(pugi::xml_node element, const std::u16string& name) {
  const char* text = ChildText(element, name);
  const char* expected = "true";
  for (; *text != '\0' && *expected != '\0'; ++text, ++expected) {
    char c = (*text >= 'A' && *text <= 'Z') ? static_cast<char>(*text - 'A' + 'a') : *text;
    if (c != *expected) return false;
  }
  return *text == '\0' && *expected == '\0';
}

void SetNodeText(pugi::xml_node element, const std::u16string& text) {
  std::string value = WideToUtf8(text);
  pugi::xml_node first = element.first_child();
  if (!first) first = element.append_child(pugi::node_pcdata);
  first.set_value(value.c_str());
}

void AddChildText(pugi::xml_node element, const std::u16string& name, const std::u16string& text) {
  SetNodeText(element.append_child(WideToUtf8(name).c_str()), text);
}

void AddChildInt(pugi::xml_node element, const std::u16string& name, int value) {
  std::string digits = std::to_string(value);
  AddChildText(element, name, std::u16string(digits.begin(), digits.end()));
}

void AddChildBool(pugi::xml_node element, const std::u16string& name, bool value) {
  AddChildText(element, name, value ? u"true" : u"false");
}

}  // namespace xml
