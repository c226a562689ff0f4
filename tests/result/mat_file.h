// Reads MAT level-4 files back from their layout: a plain sequence of
// matrices, each a header of five little-endian int32 (type, mrows, ncols,
// imagf, namlen), the name with its NUL, and mrows*ncols elements column by
// column. And a scratch directory that a test works in.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Bytes of expected files: little-endian words and matrix headers.
#define B4(u)                                                                                                 \
  static_cast<unsigned char>(u), static_cast<unsigned char>((u) >> 8), static_cast<unsigned char>((u) >> 16), \
      static_cast<unsigned char>((u) >> 24)
#define B8(u) B4(static_cast<std::uint32_t>(u)), B4(static_cast<std::uint32_t>((u) >> 32))
#define HEADER(type, mrows, ncols, namlen) B4(type), B4(mrows), B4(ncols), B4(0), B4(namlen)

namespace mat4 {

using Bytes = std::vector<unsigned char>;

struct Matrix {
  std::int32_t type = 0;
  std::int32_t mrows = 0;
  std::int32_t ncols = 0;
  std::string name;
  Bytes data;

  // Elements as stored (column-major), converted to double.
  std::vector<double> values() const {
    std::vector<double> out;
    const size_t size = element_size(type);
    for (size_t i = 0; i + size <= data.size(); i += size) {
      const unsigned char* e = data.data() + i;
      switch ((type / 10) % 10) {
        case 0: { double v; memcpy(&v, e, 8); out.push_back(v); break; }
        case 1: { float v; memcpy(&v, e, 4); out.push_back(v); break; }
        case 2: { std::int32_t v; memcpy(&v, e, 4); out.push_back(v); break; }
        default: out.push_back(*e); break;
      }
    }
    return out;
  }
  // Stored column c of a text matrix as characters.
  std::string column(int c) const {
    return std::string(reinterpret_cast<const char*>(data.data()) + static_cast<size_t>(c) * mrows,
                       static_cast<size_t>(mrows));
  }

  // Row r of a text matrix stored as is: up to its NUL.
  std::string row_text(int r) const {
    std::string text;
    for (int j = 0; j < ncols; ++j) {
      const char ch = static_cast<char>(data[static_cast<size_t>(r) + static_cast<size_t>(mrows) * j]);
      if (ch == '\0') break;
      text += ch;
    }
    return text;
  }

  static size_t element_size(std::int32_t type) {
    switch ((type / 10) % 10) {
      case 0: return 8;
      case 1: case 2: return 4;
      case 3: case 4: return 2;
      default: return 1;
    }
  }
};

inline std::int32_t int32_at(const Bytes& b, size_t at) {
  std::uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = (v << 8) | b[at + static_cast<size_t>(k)];
  return static_cast<std::int32_t>(v);
}

// The matrices of a file; false (with the reason) when its bytes are not a
// whole number of well-formed matrices.
inline bool parse(const Bytes& bytes, std::vector<Matrix>* out, std::string* why) {
  out->clear();
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 20) return *why = "truncated header", false;
    Matrix m;
    m.type = int32_at(bytes, at);
    m.mrows = int32_at(bytes, at + 4);
    m.ncols = int32_at(bytes, at + 8);
    const std::int32_t imagf = int32_at(bytes, at + 12);
    const std::int32_t namlen = int32_at(bytes, at + 16);
    at += 20;
    if (m.type < 0 || m.type >= 1000 || (m.type / 100) % 10 != 0 || m.type % 10 > 1) return *why = "bad type", false;
    if (imagf != 0 || m.mrows < 0 || m.ncols < 0 || namlen < 1) return *why = "bad header", false;
    if (bytes.size() - at < static_cast<size_t>(namlen)) return *why = "truncated name", false;
    if (bytes[at + static_cast<size_t>(namlen) - 1] != 0) return *why = "name without NUL", false;
    m.name.assign(reinterpret_cast<const char*>(bytes.data()) + at, static_cast<size_t>(namlen) - 1);
    at += static_cast<size_t>(namlen);
    const size_t size = static_cast<size_t>(m.mrows) * static_cast<size_t>(m.ncols) * Matrix::element_size(m.type);
    if (bytes.size() - at < size) return *why = "truncated data of " + m.name, false;
    m.data.assign(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + size));
    at += size;
    out->push_back(m);
  }
  return true;
}

inline Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string read_text(const std::string& path) {
  Bytes b = read_file(path);
  return std::string(b.begin(), b.end());
}

inline const Matrix* find(const std::vector<Matrix>& matrices, const std::string& name) {
  for (const Matrix& m : matrices)
    if (m.name == name) return &m;
  return nullptr;
}

// The "data_2" times of a result file; fails the test when the file does
// not parse.
inline std::vector<double> data2_times(const std::string& path) {
  std::vector<Matrix> matrices;
  std::string why;
  EXPECT_TRUE(parse(read_file(path), &matrices, &why)) << path << ": " << why;
  const Matrix* d = find(matrices, "data_2");
  EXPECT_NE(nullptr, d) << path;
  if (d == nullptr) return {};
  EXPECT_EQ(10, d->type);
  EXPECT_EQ(1, d->mrows);
  return d->values();
}

inline bool exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace mat4

// A fresh directory that the test runs in and that goes away with it.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char pattern[] = "/tmp/pelvarin_result_XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      ADD_FAILURE() << "mkdtemp failed";
      return;
    }
    path_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ignored))
      names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  std::string path_;
  std::filesystem::path previous_;
};
