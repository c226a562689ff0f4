// What a host finds in the library: the exported names, the version texts.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "me_api.h"

namespace {

const char* const kModelExchangeExports[] = {
    "Pelvarin_fmiGetVersion",
    "Pelvarin_fmiSetDebugLogging",
    "Pelvarin_fmiGetReal",
    "Pelvarin_fmiGetInteger",
    "Pelvarin_fmiGetBoolean",
    "Pelvarin_fmiGetString",
    "Pelvarin_fmiSetReal",
    "Pelvarin_fmiSetInteger",
    "Pelvarin_fmiSetBoolean",
    "Pelvarin_fmiSetString",
    "Pelvarin_fmiGetModelTypesPlatform",
    "Pelvarin_fmiInstantiateModel",
    "Pelvarin_fmiFreeModelInstance",
    "Pelvarin_fmiSetTime",
    "Pelvarin_fmiSetContinuousStates",
    "Pelvarin_fmiInitialize",
    "Pelvarin_fmiEventUpdate",
    "Pelvarin_fmiTerminate",
    "Pelvarin_fmiGetStateValueReferences",
    "Pelvarin_fmiGetNominalContinuousStates",
    "Pelvarin_fmiCompletedIntegratorStep",
    "Pelvarin_fmiGetDerivatives",
    "Pelvarin_fmiGetEventIndicators",
    "Pelvarin_fmiGetContinuousStates",
};

const char* const kOtherExports[] = {
    "Pelvarin_fmiGetTypesPlatform",         "Pelvarin_fmiInstantiateSlave",
    "Pelvarin_fmiFreeSlaveInstance",        "Pelvarin_fmiInitializeSlave",
    "Pelvarin_fmiTerminateSlave",           "Pelvarin_fmiResetSlave",
    "Pelvarin_fmiSetRealInputDerivatives",  "Pelvarin_fmiGetRealOutputDerivatives",
    "Pelvarin_fmiDoStep",                   "Pelvarin_fmiCancelStep",
    "Pelvarin_fmiGetStatus",                "Pelvarin_fmiGetRealStatus",
    "Pelvarin_fmiGetIntegerStatus",         "Pelvarin_fmiGetBooleanStatus",
    "Pelvarin_fmiGetStringStatus",          "setTimerCounterCB",
};

// The 39 FMI names and the runtime's timer hook.
static_assert(std::size(kModelExchangeExports) + std::size(kOtherExports) == 40);

// Symbols that the linker itself defines in every shared library.
const char* const kLinkerSymbols[] = {"_init", "_fini", "_edata", "_end", "__bss_start"};

// The library file's sections and symbols, read as a loader would.
struct ElfFile {
  std::vector<char> bytes;
  Elf64_Ehdr header{};
  bool ok = false;

  explicit ElfFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes.size() < sizeof header) return;
    memcpy(&header, bytes.data(), sizeof header);
    ok = memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == ELFCLASS64;
  }

  Elf64_Shdr section(size_t i) const {
    Elf64_Shdr s;
    memcpy(&s, bytes.data() + header.e_shoff + i * header.e_shentsize, sizeof s);
    return s;
  }

  std::string section_name(const Elf64_Shdr& s) const {
    return bytes.data() + section(header.e_shstrndx).sh_offset + s.sh_name;
  }

  // Size of the named section; -1 when there is none.
  long section_size(const std::string& name) const {
    for (size_t i = 0; i < header.e_shnum; ++i)
      if (section_name(section(i)) == name) return static_cast<long>(section(i).sh_size);
    return -1;
  }

  // Names of the defined symbols of every table of the given type; with
  // globalOnly, only the global and weak ones.
  std::vector<std::string> symbols(Elf64_Word type, bool globalOnly) const {
    std::vector<std::string> names;
    for (size_t i = 0; i < header.e_shnum; ++i) {
      Elf64_Shdr table = section(i);
      if (table.sh_type != type) continue;
      Elf64_Shdr strings = section(table.sh_link);
      for (size_t k = 0; k < table.sh_size / sizeof(Elf64_Sym); ++k) {
        Elf64_Sym sym;
        memcpy(&sym, bytes.data() + table.sh_offset + k * sizeof(Elf64_Sym), sizeof sym);
        if (sym.st_shndx == SHN_UNDEF || sym.st_name == 0) continue;
        int binding = ELF64_ST_BIND(sym.st_info);
        if (globalOnly && binding != STB_GLOBAL && binding != STB_WEAK) continue;
        names.push_back(bytes.data() + strings.sh_offset + sym.st_name);
      }
    }
    return names;
  }
};

}  // namespace

TEST(Exports, TheLibraryDefinesNoNameBeyondItsExports) {
  std::set<std::string> allowed(std::begin(kModelExchangeExports), std::end(kModelExchangeExports));
  allowed.insert(std::begin(kOtherExports), std::end(kOtherExports));
  allowed.insert(std::begin(kLinkerSymbols), std::end(kLinkerSymbols));

  ElfFile elf(PELVARIN_LIBRARY_PATH);
  ASSERT_TRUE(elf.ok);
  std::vector<std::string> names = elf.symbols(SHT_DYNSYM, true);
  ASSERT_FALSE(names.empty());
  std::set<std::string> found(names.begin(), names.end());
  for (const std::string& name : names) EXPECT_TRUE(allowed.count(name)) << "exported: " << name;
  for (const char* name : kModelExchangeExports) EXPECT_TRUE(found.count(name)) << "missing: " << name;
  for (const char* name : kOtherExports) EXPECT_TRUE(found.count(name)) << "missing: " << name;
}


TEST(Exports, EveryModelExchangeFunctionIsFoundByNameAndNoBareName) {
  host::Library lib;
  for (const char* name : kModelExchangeExports) {
    EXPECT_NE(host_tools::find_symbol(lib.handle(), name), nullptr) << name;
    EXPECT_EQ(host_tools::find_symbol(lib.handle(), name + strlen("Pelvarin_")), nullptr) << name;
  }
  EXPECT_EQ(host_tools::find_symbol(lib.handle(), "fmi_log"), nullptr);
  EXPECT_EQ(host_tools::find_symbol(lib.handle(), "current_instance"), nullptr);
}

TEST(Exports, VersionAndPlatformNeedNoInstance) {
  me::Api api;
  EXPECT_STREQ(api.fmiGetVersion(), "1.0");
  EXPECT_STREQ(api.fmiGetModelTypesPlatform(), "standard32");
  EXPECT_TRUE(host::record().logs.empty());
}

TEST(Exports, GuidHasTheModelDescriptionForm) {
  const std::string guid = PELVARIN_GUID;
  ASSERT_EQ(guid.size(), 38u);
  EXPECT_EQ(guid.front(), '{');
  EXPECT_EQ(guid.back(), '}');
  for (size_t i = 1; i < 37; ++i) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      EXPECT_EQ(guid[i], '-') << i;
    } else {
      EXPECT_TRUE((guid[i] >= '0' && guid[i] <= '9') || (guid[i] >= 'a' && guid[i] <= 'f')) << i;
    }
  }
}

// Loading and unloading the library run none of its own code: no static
// constructor or destructor of ours sits in the start-up tables.
TEST(Exports, LoadingRunsNoCodeOfOurs) {
  ElfFile elf(PELVARIN_LIBRARY_PATH);
  ASSERT_TRUE(elf.ok);
  std::vector<std::string> all = elf.symbols(SHT_SYMTAB, false);
  ASSERT_FALSE(all.empty()) << "the library has no symbol table to inspect";
  for (const std::string& name : all) {
    EXPECT_NE(name.rfind("_GLOBAL__sub_I_", 0), 0u) << "static constructor: " << name;
    EXPECT_NE(name.rfind("_GLOBAL__sub_D_", 0), 0u) << "static destructor: " << name;
  }
#if !defined(__SANITIZE_ADDRESS__)
  // Only the toolchain's own entry (frame_dummy, __do_global_dtors_aux);
  // sanitizer builds add their module constructors.
  EXPECT_LE(elf.section_size(".init_array"), 8);
  EXPECT_LE(elf.section_size(".fini_array"), 8);
#endif
}
