#pragma once
// The XML helper operations every XML reader and writer of the tool goes
// through. Documents are pugixml's, kept in UTF-8; texts cross this boundary
// as UTF-16 (wide) strings. Files are read and written through the
// operating-system layer, so device paths and share modes apply to them.
#include <memory>
#include <string>

#include <pugixml.hpp>

namespace xml {

// Encoding codes, numbered as pugixml's xml_encoding.
constexpr int kEncodingUtf8 = 1;
constexpr int kEncodingUtf16 = 4;  // machine byte order
constexpr int kEncodingUtf32 = 7;  // machine byte order

// Replaces the document in `slot` with a new empty one carrying a version
// "1.0" declaration for `encoding`.
void NewXmlDocument(std::unique_ptr<pugi::xml_document>& slot, int encoding);

// Sets "version" and "encoding" on the first declaration node, created as the
// first child when the document has none, and keeps a "standalone" of "yes"
// or "no" after them. Codes other than 1, 4 and 7 name "utf-8".
void SetXmlDeclaration(pugi::xml_document& document, const std::u16string& version, int encoding);

// Parses the whole file with the default options plus declaration and
// document-type nodes, detecting the encoding. False for a null document, a
// file that cannot be read, or one that does not parse.
bool LoadXmlFile(const std::string& path, pugi::xml_document* document);
// The same with the caller's parse options.
bool LoadXmlFile(const std::string& path, pugi::xml_document* document, unsigned int options);

// The code named by the first declaration's "encoding" ("utf-8" 1, "utf-16" 4,
// "utf-32" 7, matched exactly); 1 otherwise.
int DeclaredEncoding(const pugi::xml_document& document);

// Saves with one tab of indentation and a byte-order mark, in the declared
// encoding; a non-zero `encoding` first replaces the declaration. The bytes
// go to PATH.new, on the disk, which then replaces the file in one step.
// False, with the file as it was, for a null document or a file that cannot
// be written whole or replaced.
bool SaveXmlFile(const std::string& path, pugi::xml_document* document, int encoding);

// The text of child `name` (its first text or CDATA child) into `target`;
// a missing child or an empty text leaves `target` as it was.
void GetChildText(pugi::xml_node element, const std::u16string& name, std::u16string& target);
// The same text converted to narrow; empty when missing, empty or unconvertible.
std::string GetChildTextA(pugi::xml_node element, const std::u16string& name);
// The text read as a stream extraction reads an int, in base 10 or base 16;
// 0 when the child is missing or the text does not start with a number.
int GetChildInt(pugi::xml_node element, const std::u16string& name);
int GetChildHex(pugi::xml_node element, const std::u16string& name);
// True when the text is "true" in any letter case.
bool GetChildBool(pugi::xml_node element, const std::u16string& name);

// Appends a text child to an element without children; otherwise replaces
// the value of its first child.
void SetNodeText(pugi::xml_node element, const std::u16string& text);
// Each appends a new child element `name` holding the value as text.
void AddChildText(pugi::xml_node element, const std::u16string& name, const std::u16string& text);
void AddChildInt(pugi::xml_node element, const std::u16string& name, int value);
void AddChildBool(pugi::xml_node element, const std::u16string& name, bool value);

}  // namespace xml
