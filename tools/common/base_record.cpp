#include "tools/common/base_record.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "package/md5.h"
#include "package/package.h"
#include "platform/text.h"
#include "tools/common/device_folder.h"
#include "tools/common/json.h"
#include "version/package_type.h"

namespace tools {
namespace {

namespace fs = std::filesystem;

// A JSON value, as far as a base record needs one.
struct Value {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool flag = false;
  std::string text;
  std::vector<Value> items;  // an array's, or an object's member values
  std::vector<std::string> names;  // an object's member names, beside its items
};

// A strict reader of one JSON document, nested at most kDepth deep.
class Reader {
 public:
  explicit Reader(const std::string& text) : text_(text) {}

  bool Document(Value* value) {
    if (!Parse(value, 0)) return false;
    Blanks();
    return at_ == text_.size() || Fail("text after the document");
  }
  const std::string& error() const { return error_; }

 private:
  static constexpr int kDepth = 16;

  bool Fail(const std::string& what) {
    if (error_.empty()) error_ = what + " at byte " + std::to_string(at_);
    return false;
  }
  void Blanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }
  bool Literal(const char* word) {
    std::string expected = word;
    if (text_.compare(at_, expected.size(), expected) != 0) return Fail("an unknown word");
    at_ += expected.size();
    return true;
  }
  bool Parse(Value* value, int depth) {
    if (depth > kDepth) return Fail("nesting too deep");
    Blanks();
    if (at_ >= text_.size()) return Fail("an unfinished document");
    char c = text_[at_];
    if (c == '"') {
      value->kind = Value::String;
      return String(&value->text);
    }
    if (c == '{' || c == '[') {
      bool object = c == '{';
      value->kind = object ? Value::Object : Value::Array;
      ++at_;
      Blanks();
      if (at_ < text_.size() && text_[at_] == (object ? '}' : ']')) {
        ++at_;
        return true;
      }
      for (;;) {
        Value item;
        std::string name;
        if (object) {
          Blanks();
          if (at_ >= text_.size() || text_[at_] != '"' || !String(&name)) return Fail("a member without a name");
          Blanks();
          if (at_ >= text_.size() || text_[at_] != ':') return Fail("a member without a colon");
          ++at_;
        }
        if (!Parse(&item, depth + 1)) return false;
        if (object) value->names.push_back(name);
        value->items.push_back(std::move(item));
        Blanks();
        if (at_ < text_.size() && text_[at_] == ',') {
          ++at_;
          continue;
        }
        if (at_ < text_.size() && text_[at_] == (object ? '}' : ']')) {
          ++at_;
          return true;
        }
        return Fail("a missing comma or bracket");
      }
    }
    if (c == 't' || c == 'f') {
      value->kind = Value::Bool;
      value->flag = c == 't';
      return Literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') return Literal("null");
    if (c == '-' || (c >= '0' && c <= '9')) {
      value->kind = Value::Number;
      std::size_t start = at_;
      while (at_ < text_.size() && std::string("+-.eE0123456789").find(text_[at_]) != std::string::npos) ++at_;
      value->text = text_.substr(start, at_ - start);
      return true;
    }
    return Fail("an unexpected character");
  }
  // A string, its escapes resolved into UTF-8.
  bool String(std::string* out) {
    ++at_;
    std::u16string units;
    std::string bytes;
    while (at_ < text_.size() && text_[at_] != '"') {
      char c = text_[at_++];
      if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character in a string");
      if (c != '\\') {
        bytes += c;
        continue;
      }
      if (at_ >= text_.size()) break;
      char escape = text_[at_++];
      const std::string simple = "\"\\/bfnrt";
      const std::string meant = "\"\\/\b\f\n\r\t";
      if (simple.find(escape) != std::string::npos) {
        bytes += meant[simple.find(escape)];
      } else if (escape == 'u' && at_ + 4 <= text_.size()) {
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
          char h = text_[at_++];
          int digit = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
          if (digit < 0) return Fail("a bad \\u escape");
          code = code * 16 + static_cast<unsigned>(digit);
        }
        // Surrogate pairs are joined by the conversion from UTF-16.
        std::u16string unit(1, static_cast<char16_t>(code));
        if (code >= 0xD800 && code <= 0xDBFF && at_ + 6 <= text_.size() && text_.compare(at_, 2, "\\u") == 0) {
          unsigned low = static_cast<unsigned>(std::strtoul(text_.substr(at_ + 2, 4).c_str(), nullptr, 16));
          if (low >= 0xDC00 && low <= 0xDFFF) {
            unit += static_cast<char16_t>(low);
            at_ += 6;
          }
        }
        bytes += platform::WideToUtf8(unit);
      } else {
        return Fail("a bad escape");
      }
    }
    if (at_ >= text_.size()) return Fail("an unfinished string");
    ++at_;
    *out = bytes;
    return true;
  }

  const std::string& text_;
  std::size_t at_ = 0;
  std::string error_;
};

const Value* Member(const Value& object, const char* name) {
  if (object.kind != Value::Object) return nullptr;
  for (std::size_t i = 0; i < object.names.size(); ++i) {
    if (object.names[i] == name) return &object.items[i];
  }
  return nullptr;
}

std::string Text(const Value& object, const char* name) {
  const Value* value = Member(object, name);
  return value != nullptr && value->kind == Value::String ? value->text : std::string();
}

}  // namespace

std::string BasePathOf(const std::string& package) { return package + ".base.json"; }

std::string BaseJson(const BaseRecord& base) {
  std::string out = "{\n  \"tree\": " + JsonString(base.tree) + ",\n  \"type\": " + JsonString(base.type) +
                    ",\n  \"name\": " + JsonString(base.name) + ",\n  \"files\": [";
  for (std::size_t i = 0; i < base.files.size(); ++i) {
    const BaseFile& file = base.files[i];
    out += std::string(i == 0 ? "\n" : ",\n") + "    {\"path\": " + JsonString(file.path);
    out += file.folder ? std::string(", \"folder\": true}") : ", \"md5\": " + JsonString(file.md5) + "}";
  }
  return out + "\n  ]\n}\n";
}

bool ParseBase(const std::string& text, BaseRecord* base, std::string* error) {
  Value document;
  Reader reader(text);
  if (!reader.Document(&document)) {
    *error = "not JSON: " + reader.error();
    return false;
  }
  const Value* files = Member(document, "files");
  if (document.kind != Value::Object || files == nullptr || files->kind != Value::Array) {
    *error = "not a base record: no \"files\" list";
    return false;
  }
  base->tree = Text(document, "tree");
  base->type = Text(document, "type");
  base->name = Text(document, "name");
  if (version::ParsePackageType(base->type) == version::NoPackageType) {
    *error = "not a base record: unknown package type \"" + base->type + "\"";
    return false;
  }
  for (const Value& item : files->items) {
    BaseFile file;
    file.path = Text(item, "path");
    const Value* folder = Member(item, "folder");
    file.folder = folder != nullptr && folder->kind == Value::Bool && folder->flag;
    // A folder has no content to compare, and its record is written without one.
    file.md5 = file.folder ? std::string() : Text(item, "md5");
    if (file.path.empty() || (!file.folder && file.md5.size() != 32)) {
      *error = "not a base record: a file without a path or an MD5";
      return false;
    }
    base->files.push_back(file);
  }
  return true;
}

std::string FileMd5(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  package::Md5Context context;
  package::Md5Init(&context);
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    package::Md5Update(&context, buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::string();
  std::uint8_t digest[16];
  package::Md5Final(digest, &context);
  std::string hex;
  char pair[3];
  for (std::uint8_t byte : digest) {
    std::snprintf(pair, sizeof(pair), "%02x", byte);
    hex += pair;
  }
  return hex;
}

std::vector<BaseFinding> CheckBase(const BaseRecord& base, const fs::path& root) {
  std::vector<BaseFinding> findings;
  auto type = static_cast<std::uint32_t>(version::ParsePackageType(base.type));
  std::vector<std::string> locations = LocationsOf(root);
  std::string folder = type < locations.size() ? locations[type] : std::string();
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  if (package::NameIsFolder(type)) folder += platform::WideToNarrow(platform::Utf8ToWide(base.name.c_str())) + "\\";
  for (const BaseFile& file : base.files) {
    std::string relative = platform::WideToNarrow(platform::Utf8ToWide(file.path.c_str()));
    if (!relative.empty() && relative[0] == '\\') relative = relative.substr(1);
    std::string device = folder + relative;
    fs::path host = HostPathOf(root, device);
    std::error_code code;
    fs::file_status status = fs::status(host, code);
    std::string shown = platform::NarrowToUtf8(device) + (file.folder ? "\\" : "");
    if (!fs::exists(status)) {
      findings.push_back({shown, "base-file-missing", shown + ": missing on the device, but in the base"});
    } else if (file.folder != fs::is_directory(status)) {
      findings.push_back({shown, "base-kind-differs",
                          shown + (file.folder ? ": a file on the device, a folder in the base"
                                               : ": a folder on the device, a file in the base")});
    } else if (!file.folder && FileMd5(host) != file.md5) {
      findings.push_back({shown, "base-file-differs", shown + ": the device's file differs from the base's"});
    }
  }
  return findings;
}

}  // namespace tools
