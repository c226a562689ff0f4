// The built FMU archives as a host meets them: the names in the archive's
// central directory, the archive unpacked into a directory of its own, and
// its model description read by an XML parser.
#pragma once

#include <expat.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fmu {

struct Archive {
  const char* kind;  // "me" or "cs"
  std::string path;
};

inline std::vector<Archive> archives() {
  return {{"me", PELVARIN_BINARY_DIR "/Pelvarin_me.fmu"}, {"cs", PELVARIN_BINARY_DIR "/Pelvarin_cs.fmu"}};
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::uint32_t little_endian(const std::string& bytes, size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// The entry names of a zip archive, from its central directory; empty with a
// test failure when the archive has none to read.
inline std::vector<std::string> zip_entry_names(const std::string& zip) {
  const size_t kEndRecord = 22;
  std::vector<std::string> names;
  size_t end = std::string::npos;
  for (size_t at = zip.size() >= kEndRecord ? zip.size() - kEndRecord + 1 : 0; at-- > 0;) {
    if (little_endian(zip, at, 4) == 0x06054b50u) {
      end = at;
      break;
    }
  }
  if (end == std::string::npos) {
    ADD_FAILURE() << "no end of central directory record";
    return names;
  }
  const std::uint32_t count = little_endian(zip, end + 10, 2);
  size_t at = little_endian(zip, end + 16, 4);
  for (std::uint32_t k = 0; k < count; ++k) {
    if (at + 46 > end || little_endian(zip, at, 4) != 0x02014b50u) {
      ADD_FAILURE() << "central directory entry " << k << " is broken";
      return names;
    }
    const size_t name_length = little_endian(zip, at + 28, 2);
    const size_t rest = little_endian(zip, at + 30, 2) + little_endian(zip, at + 32, 2);
    names.push_back(zip.substr(at + 46, name_length));
    at += 46 + name_length + rest;
  }
  return names;
}

// The archive unpacked into a fresh directory, removed again at the end.
class Unpacked {
 public:
  explicit Unpacked(const std::string& archive) {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelvarin_fmu_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "no temporary directory";
      return;
    }
    dir_ = pattern;
    const std::string command = "cd '" + dir_ + "' && '" PELVARIN_CMAKE_COMMAND "' -E tar xf '" + archive + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
  ~Unpacked() {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  Unpacked(const Unpacked&) = delete;
  Unpacked& operator=(const Unpacked&) = delete;

  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  std::string library() const { return file("binaries/linux64/Pelvarin.so"); }
  std::string description() const { return read_file(file("modelDescription.xml")); }

 private:
  std::string dir_;
};

struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::vector<Element> children;

  bool has(const std::string& attribute) const { return attributes.count(attribute) != 0; }
  std::string operator[](const std::string& attribute) const {
    auto it = attributes.find(attribute);
    return it == attributes.end() ? std::string() : it->second;
  }
  const Element* child(const std::string& child_name) const {
    for (const Element& c : children)
      if (c.name == child_name) return &c;
    return nullptr;
  }
};

inline bool operator==(const Element& a, const Element& b) {
  return a.name == b.name && a.attributes == b.attributes && a.children == b.children;
}

// Parses a whole document; on malformed XML `error` says where.
inline bool parse_xml(const std::string& text, Element* root, std::string* error) {
  struct Builder {
    Element root;
    std::vector<Element*> open;
  } builder;
  std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate("UTF-8"), XML_ParserFree);
  XML_SetUserData(parser.get(), &builder);
  XML_SetElementHandler(
      parser.get(),
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        Builder* b = static_cast<Builder*>(data);
        Element* e = &b->root;
        if (!b->open.empty()) {
          b->open.back()->children.emplace_back();
          e = &b->open.back()->children.back();
        }
        e->name = name;
        for (const XML_Char** a = attributes; *a != nullptr; a += 2) e->attributes[a[0]] = a[1];
        b->open.push_back(e);
      },
      [](void* data, const XML_Char*) { static_cast<Builder*>(data)->open.pop_back(); });
  if (XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), 1) != XML_STATUS_OK) {
    std::ostringstream where;
    where << XML_ErrorString(XML_GetErrorCode(parser.get())) << " at line "
          << XML_GetCurrentLineNumber(parser.get());
    *error = where.str();
    return false;
  }
  *root = std::move(builder.root);
  return true;
}

}  // namespace fmu
